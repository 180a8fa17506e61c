// What a staged installation consists of: the product as the cleanup plan knows it, and the
// bystanders around it that a cleanup must leave exactly as they were.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "tools/stage/winops.h"

namespace qmstage {

struct RootKey {
  HKEY handle;
  const char* display;  // "HKEY_CLASSES_ROOT\" ...: the form the cleanup log shows
};

struct KeyPath {
  RootKey root;
  std::string path;
};

struct StagedFile {
  std::string path;  // full path
  DWORD attributes;
};

// Machine-dependent locations, derived as the cleanup derives them.
struct Locations {
  std::string windows_dir;    // "C:\windows"
  std::string install_dir;    // "<Program Files>\Brantivo\Tev32\", in this process's view
  std::vector<std::string> product_dirs;  // the four folders, each ending with "\"
  std::string driver_file;
};
Locations LocateFolders();

extern const RootKey kClassesRoot, kLocalMachine, kCurrentUser;
extern const char kRunKey[];
extern const char kSharedDllsKey[];
extern const char kServiceName[];

// The product.
std::vector<KeyPath> ProductKeyTrees();  // the 27 trees in plan order
std::vector<std::string> ProductRunValues();
std::vector<std::string> ProductSharedDllValues(const Locations& where);
std::vector<std::string> ProductProcessNames();
// Files of the four folders (the fake programs are copied separately) and the driver file.
std::vector<StagedFile> ProductDataFiles(const Locations& where);
std::vector<std::string> ProductEmptyDirs(const Locations& where);

// The bystanders.
struct BystanderKey {
  KeyPath key;
  bool recurse;  // false: the key's own values only (its sub-keys belong to others)
};
struct BystanderValue {
  KeyPath key;
  RegValue value;
};
std::vector<BystanderKey> BystanderKeys();
std::vector<BystanderValue> BystanderValues(const Locations& where);
std::vector<StagedFile> BystanderFiles(const Locations& where);
std::vector<std::string> BystanderFolders(const Locations& where);  // digested as trees
std::string BystanderProgramDir(const Locations& where);            // ends with "\"
extern const char kBystanderProcess[];  // always running
extern const char kHolderProcess[];     // holds a product file open, when asked to
extern const char kBystanderService[];

}  // namespace qmstage
