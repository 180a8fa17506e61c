// Key tree and value removal and the install-folder read, over the simulated registry.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "cleanup/pump.h"
#include "cleanup/registry.h"
#include "tests/bytes.h"
#include "platform/sim/machine.h"

namespace {

using regbytes::DeleteTree;
using regbytes::DeleteValue;
using regbytes::ReadString;

const char* const kTree = "SOFTWARE\\Brantivo\\TEV32";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    cleanup::SetMessagePump([this] { ++pumps; });
  }
  void TearDown() override {
    cleanup::SetMessagePump(nullptr);
    EXPECT_EQ(machine.OpenKeyHandles(), 0);
  }
  sim::Machine machine;
  int pumps = 0;
};

TEST_F(Registry, ThreeLevelTreeGoesWithItsValuesPumpingOncePerPass) {
  machine.SetString(HKEY_LOCAL_MACHINE, std::string(kTree) + "\\Level1\\Level2", "v", "x");
  machine.SetString(HKEY_LOCAL_MACHINE, kTree, "DirInstall", "C:\\X\\");
  machine.CreateKey(HKEY_LOCAL_MACHINE, std::string(kTree) + "\\Other");
  EXPECT_EQ(DeleteTree(HKEY_LOCAL_MACHINE, kTree), 0);
  EXPECT_FALSE(machine.KeyExists(HKEY_LOCAL_MACHINE, kTree));
  EXPECT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo"));
  // Four keys: one pass per key and one per child found.
  EXPECT_EQ(pumps, 7);
}

TEST_F(Registry, DeepestKeysGoFirst) {
  const std::string tree = std::string(kTree) + "\\A";
  machine.CreateKey(HKEY_LOCAL_MACHINE, tree + "\\B\\C");
  machine.DenyKeyDelete(HKEY_LOCAL_MACHINE, tree + "\\B");
  EXPECT_EQ(DeleteTree(HKEY_LOCAL_MACHINE, tree), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(machine.KeyExists(HKEY_LOCAL_MACHINE, tree + "\\B\\C"));
  EXPECT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, tree + "\\B"));
}

TEST_F(Registry, DeniedKeyInTheMiddleStopsEverythingWithItsCode) {
  machine.CreateKey(HKEY_CURRENT_USER, "Software\\T\\A");
  machine.CreateKey(HKEY_CURRENT_USER, "Software\\T\\M\\Inner");
  machine.CreateKey(HKEY_CURRENT_USER, "Software\\T\\Z");
  machine.DenyKeyOpen(HKEY_CURRENT_USER, "Software\\T\\M");
  EXPECT_EQ(DeleteTree(HKEY_CURRENT_USER, "Software\\T"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(machine.KeyExists(HKEY_CURRENT_USER, "Software\\T\\A"));
  EXPECT_TRUE(machine.KeyExists(HKEY_CURRENT_USER, "Software\\T\\M\\Inner"));
  EXPECT_TRUE(machine.KeyExists(HKEY_CURRENT_USER, "Software\\T\\Z"));
}

TEST_F(Registry, AbsentTreeAndEmptyPathTouchNothing) {
  EXPECT_EQ(DeleteTree(HKEY_CLASSES_ROOT, ".tev121"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(DeleteTree(HKEY_CURRENT_USER, ""), ERROR_BADKEY);
  EXPECT_TRUE(machine.KeyExists(HKEY_CURRENT_USER, "Software"));
  EXPECT_EQ(pumps, 0);
}

// Names that the ANSI functions would list as '?' or with a best-fit separator.
qm::WString Name(std::initializer_list<unsigned> codes) {
  qm::WString name;
  for (const unsigned code : codes) name += static_cast<WCHAR>(code);
  return name;
}

TEST_F(Registry, SubKeysTheCodePageCannotHoldGoWithTheirTree) {
  const qm::WString tree = qm::Widen(kTree);
  const qm::WString sep = qm::Widen("\\");
  const qm::WString names[] = {Name({0x0416, 0x0416}), Name({'a', 0xFF3C, 'b'}),
                               Name({0x4E2D, 0xFF1F}), Name({'?', '?'})};
  for (const qm::WString& name : names) machine.CreateKeyW(HKEY_LOCAL_MACHINE, tree + sep + name + sep + name);
  machine.SetStringW(HKEY_LOCAL_MACHINE, tree + sep + names[0], names[1], names[2]);
  EXPECT_EQ(cleanup::DeleteRegistryKeyTree(HKEY_LOCAL_MACHINE, tree), cleanup::KeyTreeResult::Deleted);
  EXPECT_FALSE(machine.KeyExistsW(HKEY_LOCAL_MACHINE, tree));
  EXPECT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo"));
}

TEST_F(Registry, ValuesAndKeysTheCodePageCannotHoldAreFoundAndDeleted) {
  const qm::WString key = qm::Widen(std::string(kTree) + "\\") + Name({0x0416});
  const qm::WString value = Name({'C', ':', 0xFF3C, 0x4E2D});
  machine.SetStringW(HKEY_LOCAL_MACHINE, key, value, qm::Widen("1"));
  EXPECT_EQ(cleanup::QueryRegistryKey(HKEY_LOCAL_MACHINE, key), ERROR_SUCCESS);
  EXPECT_EQ(cleanup::QueryRegistryValue(HKEY_LOCAL_MACHINE, key, value), ERROR_SUCCESS);
  EXPECT_EQ(cleanup::DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, value),
            cleanup::ValueResult::Deleted);
  EXPECT_FALSE(machine.ValueExistsW(HKEY_LOCAL_MACHINE, key, value));
  EXPECT_EQ(cleanup::QueryRegistryValue(HKEY_LOCAL_MACHINE, key, value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(cleanup::QueryRegistryKey(HKEY_LOCAL_MACHINE, key + Name({'x'})), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ClassesRootKeysAreTheMachineClasses) {
  machine.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{X}\\InprocServer32", "",
                    "a.dll");
  EXPECT_EQ(DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{X}"), 0);
  EXPECT_FALSE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{X}"));
  EXPECT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID"));
}

TEST_F(Registry, ValueResults) {
  const char* run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  machine.SetString(HKEY_LOCAL_MACHINE, run, "TEV32PP", "x");
  machine.SetString(HKEY_LOCAL_MACHINE, run, "Keep", "y");
  EXPECT_EQ(DeleteValue(HKEY_LOCAL_MACHINE, run, "TEV32PP"), 0);
  EXPECT_FALSE(machine.ValueExists(HKEY_LOCAL_MACHINE, run, "TEV32PP"));
  EXPECT_TRUE(machine.ValueExists(HKEY_LOCAL_MACHINE, run, "Keep"));
  EXPECT_EQ(DeleteValue(HKEY_LOCAL_MACHINE, run, "TEV32PP"), 1);
  EXPECT_EQ(DeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", "TEV32PP"), 2);
  machine.DenyKeyOpen(HKEY_LOCAL_MACHINE, run);
  EXPECT_EQ(DeleteValue(HKEY_LOCAL_MACHINE, run, "Keep"), 2);
  EXPECT_EQ(pumps, 0);
}

TEST_F(Registry, ReadsStringsWholeAndOnlyStrings) {
  const std::string longFolder = "D:\\" + std::string(300, 'q') + "\\";
  machine.SetString(HKEY_LOCAL_MACHINE, kTree, "Long", longFolder);
  machine.SetValue(HKEY_LOCAL_MACHINE, kTree, "Expand", REG_EXPAND_SZ,
                   std::string("%X%\\A\0junk\0", 11));
  machine.SetValue(HKEY_LOCAL_MACHINE, kTree, "Unterminated", REG_SZ, "C:\\Apps");
  machine.SetDword(HKEY_LOCAL_MACHINE, kTree, "Number", 0x5C3A43);  // "C:\" as bytes
  machine.SetValue(HKEY_LOCAL_MACHINE, kTree, "Binary", REG_BINARY, "C:\\Apps\\");
  machine.SetValue(HKEY_LOCAL_MACHINE, kTree, "Multi", REG_MULTI_SZ, std::string("C:\\A\0\0", 6));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Long"), longFolder);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Expand"), "%X%\\A");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Unterminated"), "C:\\Apps");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Number"), "");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Binary"), "");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Multi"), "");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Absent"), "");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Absent", "Long"), "");
  machine.DenyKeyOpen(HKEY_LOCAL_MACHINE, kTree);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kTree, "Long"), "");
}

}  // namespace
