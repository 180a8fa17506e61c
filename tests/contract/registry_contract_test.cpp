// Registry behaviour the key-tree and value removal and the install-folder lookup rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cleanup/registry.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "tests/contract/world.h"

namespace {

using contract::World;

class RegistryContract : public ::testing::Test {
 protected:
  // Creates root\path (and its parents) and returns a handle with all rights.
  qm::unique_hkey Create(const std::string& path, HKEY root = HKEY_CURRENT_USER) {
    qm::unique_hkey key;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, key.put(), nullptr))
        << path;
    return key;
  }
  LONG Open(const std::string& path, REGSAM rights, qm::unique_hkey& key,
            HKEY root = HKEY_CURRENT_USER) {
    return RegOpenKeyExA(root, path.c_str(), 0, rights, key.put());
  }
  void SetString(HKEY key, const char* name, const std::string& text) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(text.c_str()),
                                            static_cast<DWORD>(text.size() + 1)));
  }
  std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD length = sizeof(name);
      const LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) {
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, rc);
        return names;
      }
      EXPECT_EQ(std::string(name).size(), length) << "the length excludes the zero";
      names.push_back(name);
    }
  }

  World world;
  const std::string base = world.KeyPath();
};

// ---- opening and names

TEST_F(RegistryContract, OpeningAMissingKeyAnswers2AndLeavesNoHandle) {
  qm::unique_hkey key;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(base + "\\Missing", KEY_READ, key));
  EXPECT_FALSE(key);
}

TEST_F(RegistryContract, NamesCompareWithoutCaseAndKeepTheirCase) {
  Create(base + "\\MixedCase\\Inner");
  qm::unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, Open(base + "\\mixedcase\\INNER", KEY_READ, key));
  qm::unique_hkey parent;
  ASSERT_EQ(ERROR_SUCCESS, Open(base, KEY_READ, parent));
  EXPECT_EQ(std::vector<std::string>{"MixedCase"}, SubKeys(parent.get()));
}

TEST_F(RegistryContract, ClassesRootShowsTheMachineClassesKey) {
  const std::string name = world.UniqueName("QmContractClass");
  world.RemoveAtEnd(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\" + name);
  Create("SOFTWARE\\Classes\\" + name + "\\shell", HKEY_LOCAL_MACHINE);
  qm::unique_hkey key;
  EXPECT_EQ(ERROR_SUCCESS, Open(name + "\\shell", KEY_READ, key, HKEY_CLASSES_ROOT));
}

// ---- enumeration

TEST_F(RegistryContract, SubKeysEnumerateAlphabeticallyWithoutRegardToCase) {
  auto key = Create(base);
  for (const char* name : {"beta", "Alpha", "gamma", "DELTA"}) Create(base + "\\" + name);
  EXPECT_EQ((std::vector<std::string>{"Alpha", "beta", "DELTA", "gamma"}), SubKeys(key.get()));
}

TEST_F(RegistryContract, AKeyWithoutSubKeysAnswers259AtIndexZero) {
  auto key = Create(base);
  char name[256];
  DWORD length = sizeof(name);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryContract, IndexZeroNamesTheNextRemainingSubKeyAfterEachDeletion) {
  auto key = Create(base);
  for (const char* name : {"c", "a", "b"}) Create(base + "\\" + name);
  std::vector<std::string> seen;
  for (;;) {
    char name[256];
    DWORD length = sizeof(name);
    const LONG rc = RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(ERROR_SUCCESS, rc);
    seen.push_back(name);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key.get(), name));
    ASSERT_LE(seen.size(), 3u);
  }
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), seen);
}

TEST_F(RegistryContract, AShortNameBufferAnswers234) {
  auto key = Create(base);
  Create(base + "\\ElevenChars");
  char name[11];  // room for the name but not for its zero
  DWORD length = sizeof(name);
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(sizeof(name), length) << "the length is left as it was";
  char fits[12];
  length = sizeof(fits);
  EXPECT_EQ(ERROR_SUCCESS,
            RegEnumKeyExA(key.get(), 0, fits, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(11u, length);
}

TEST_F(RegistryContract, EnumeratingThroughAHandleWithoutTheEnumerateRightIsDenied) {
  Create(base + "\\Child");
  qm::unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, Open(base, KEY_QUERY_VALUE, key));
  char name[256];
  DWORD length = sizeof(name);
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
}

// ---- deletion

TEST_F(RegistryContract, DeletingAKeyThatStillHasSubKeysIsRefused) {
  Create(base + "\\Parent\\Child");
  qm::unique_hkey root;
  ASSERT_EQ(ERROR_SUCCESS, Open(base, KEY_ALL_ACCESS, root));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(root.get(), "Parent"));
  qm::unique_hkey child;
  EXPECT_EQ(ERROR_SUCCESS, Open(base + "\\Parent\\Child", KEY_READ, child));
}

TEST_F(RegistryContract, DeletingAKeyTakesItsValuesAlong) {
  {
    auto key = Create(base + "\\WithValues");
    SetString(key.get(), "One", "1");
    SetString(key.get(), "", "default");
  }
  qm::unique_hkey root;
  ASSERT_EQ(ERROR_SUCCESS, Open(base, KEY_ALL_ACCESS, root));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root.get(), "WithValues"));
  qm::unique_hkey gone;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(base + "\\WithValues", KEY_READ, gone));
  Create(base + "\\WithValues");
  qm::unique_hkey again;
  ASSERT_EQ(ERROR_SUCCESS, Open(base + "\\WithValues", KEY_READ, again));
  DWORD size = 0;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(again.get(), "One", nullptr, nullptr, nullptr, &size));
}

TEST_F(RegistryContract, DeletingAMissingKeyAnswers2) {
  auto key = Create(base);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(key.get(), "Missing"));
}

TEST_F(RegistryContract, AHandleToADeletedKeyAnswers1018) {
  auto parent = Create(base);
  auto doomed = Create(base + "\\Doomed");
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent.get(), "Doomed"));
  char name[256];
  DWORD length = sizeof(name);
  EXPECT_EQ(ERROR_KEY_DELETED,
            RegEnumKeyExA(doomed.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
  DWORD size = 0;
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed.get(), "x", nullptr, nullptr, nullptr, &size));
}

TEST_F(RegistryContract, DeletingAValueAnswers0ThenMissingAnswers2) {
  auto key = Create(base);
  SetString(key.get(), "Run", "x.exe");
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key.get(), "RUN"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key.get(), "Run"));
}

// ---- values

TEST_F(RegistryContract, AStringValueComesBackWithItsTypeAndZero) {
  auto key = Create(base);
  SetString(key.get(), "DirInstall", "C:\\Program Files\\Prod\\");
  char buffer[260] = {};
  DWORD size = sizeof(buffer), type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.get(), "dirinstall", nullptr, &type,
                                            reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(sizeof("C:\\Program Files\\Prod\\"), size);
  EXPECT_STREQ("C:\\Program Files\\Prod\\", buffer);
}

TEST_F(RegistryContract, AShortValueBufferAnswers234WithTheNeededSizeAndWritesNothingPastIt) {
  auto key = Create(base);
  const std::string text(300, 'v');
  SetString(key.get(), "Long", text);
  char buffer[264];
  std::memset(buffer, '#', sizeof(buffer));
  DWORD size = 260;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key.get(), "Long", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(301u, size);
  EXPECT_EQ(std::string(4, '#'), std::string(buffer + 260, 4));
}

TEST_F(RegistryContract, ANullBufferAsksForTheSize) {
  auto key = Create(base);
  const DWORD number = 0x12345678;
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), "N", 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&number), sizeof(number)));
  DWORD size = 0, type = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.get(), "N", nullptr, &type, nullptr, &size));
  EXPECT_EQ(4u, size);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
}

TEST_F(RegistryContract, QueryingAMissingValueAnswers2) {
  auto key = Create(base);
  char buffer[16];
  DWORD size = sizeof(buffer);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key.get(), "Absent", nullptr, nullptr,
                                                   reinterpret_cast<BYTE*>(buffer), &size));
}

TEST_F(RegistryContract, QueryingThroughAHandleWithoutTheQueryRightIsDenied) {
  {
    auto key = Create(base);
    SetString(key.get(), "V", "x");
  }
  qm::unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, Open(base, DELETE | KEY_ENUMERATE_SUB_KEYS, key));
  char buffer[16];
  DWORD size = sizeof(buffer);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(key.get(), "V", nullptr, nullptr,
                                                  reinterpret_cast<BYTE*>(buffer), &size));
}

// The install folder's key may carry an access list that refuses writing: an open for
// reading only still succeeds, and the engine's read asks for nothing more.
TEST_F(RegistryContract, AKeyThatRefusesWritingOpensForReadingOnly) {
  {
    auto key = Create(base);
    SetString(key.get(), "DirInstall", "D:\\Apps\\Tev");
  }
  ASSERT_TRUE(world.GrantReadingOnly(HKEY_CURRENT_USER, base));
  qm::unique_hkey key;
  EXPECT_EQ(ERROR_ACCESS_DENIED, Open(base, KEY_ALL_ACCESS, key));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Open(base, KEY_SET_VALUE, key));
  EXPECT_EQ(ERROR_SUCCESS, Open(base, KEY_READ, key));
  EXPECT_EQ("D:\\Apps\\Tev", qm::Narrow(cleanup::ReadRegistryString(
                                 HKEY_CURRENT_USER, qm::Widen(base), qm::Widen("DirInstall"))));
}

// ---- names the code page cannot hold

qm::WString W(const std::u16string& text) { return qm::WString(text.begin(), text.end()); }

// Key names as the registry holds them, as RegEnumKeyExA shows them with the code page's
// best-fit mapping, and whether RegOpenKeyExA finds the key by the shown name.
struct KeyName {
  std::u16string wide;
  std::string shown;
  LONG openByShown;
};
const KeyName kKeyNames[] = {
    {u"\u0416\u0443\u043A", "???", ERROR_FILE_NOT_FOUND},         // Cyrillic
    {u"..\uFF3Cx", "..\\x", ERROR_FILE_NOT_FOUND},                // full-width reverse solidus
    {u"Caf\u00E9", "Caf\xE9", ERROR_SUCCESS},                     // held by the code page
};

TEST_F(RegistryContract, AKeyNameBeyondTheCodePageIsOpenedAndDeletedOnlyByItsWideForm) {
  auto parent = Create(base);
  for (const KeyName& name : kKeyNames) {
    qm::unique_hkey child;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(parent.get(), W(name.wide).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, child.put(), nullptr))
        << name.shown;
    child.reset();
    EXPECT_EQ(std::vector<std::string>{name.shown}, SubKeys(parent.get()));
    EXPECT_EQ(name.openByShown, Open(base + "\\" + name.shown, KEY_READ, child)) << name.shown;
    child.reset();
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(parent.get(), W(name.wide).c_str(), 0, KEY_READ, child.put()))
        << name.shown;
    child.reset();
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(parent.get(), W(name.wide).c_str())) << name.shown;
    EXPECT_TRUE(SubKeys(parent.get()).empty()) << name.shown;
  }
}

TEST_F(RegistryContract, AValueNameBeyondTheCodePageIsEnumeratedAsQuestionMarks) {
  auto key = Create(base);
  const qm::WString name = W(u"\u0416\u0443\u043A");
  const qm::WString data = W(u"x");
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(data.c_str()),
                                          static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR))));
  char shown[16] = {};
  DWORD length = sizeof(shown);
  ASSERT_EQ(ERROR_SUCCESS,
            RegEnumValueA(key.get(), 0, shown, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("???", shown);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key.get(), shown));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key.get(), name.c_str()));
  length = sizeof(shown);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumValueA(key.get(), 0, shown, &length, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryContract, StringDataIsHeldInUtf16AndConvertedForTheAnsiFunctions) {
  auto key = Create(base);
  SetString(key.get(), "V", "Caf\xE9");
  WCHAR wide[8] = {};
  DWORD size = sizeof(wide), type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), W(u"V").c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(wide), &size));
  EXPECT_EQ(10u, size) << "four characters and the zero, two bytes each";
  EXPECT_EQ(W(u"Caf\u00E9"), qm::WString(wide));
  char narrow[8] = {};
  size = sizeof(narrow);
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.get(), "V", nullptr, &type,
                                            reinterpret_cast<BYTE*>(narrow), &size));
  EXPECT_EQ(5u, size);
  EXPECT_STREQ("Caf\xE9", narrow);
}

}  // namespace
