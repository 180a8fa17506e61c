// The registry operations against a real registry: staged key trees under HKEY_CURRENT_USER.
#include <gtest/gtest.h>

#include "cleanup/registry.h"
#include "tests/bytes.h"
#include "platform/raii.h"

namespace {

const std::string kBase = "Software\\QuelmarkWineTest";

void WriteKey(const std::string& path, const std::string& value = {}, DWORD type = REG_SZ,
              const std::string& data = {}) {
  qm::unique_hkey key;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
            ERROR_SUCCESS)
      << path;
  if (!value.empty()) {
    ASSERT_EQ(::RegSetValueExA(key.get(), value.c_str(), 0, type,
                               reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
}

bool KeyExists(const std::string& path) {
  qm::unique_hkey key;
  const LONG code = ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put());
  return code != ERROR_FILE_NOT_FOUND;
}

// A key that nobody may open: an empty access list.
void DenyEveryone(const std::string& path) {
  qm::unique_hkey key;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, key.put()),
            ERROR_SUCCESS);
  SECURITY_DESCRIPTOR descriptor;
  ACL acl;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::InitializeAcl(&acl, sizeof acl, ACL_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE));
  ASSERT_EQ(::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
}

TEST(WineRegistry, DeletesThreeLevelTreeWithValues) {
  const std::string tree = kBase + "\\Tree";
  WriteKey(tree + "\\A\\B\\C", "leaf", REG_SZ, std::string("x\0", 2));
  WriteKey(tree + "\\A\\B2", "n", REG_DWORD, std::string(4, '\1'));
  WriteKey(tree + "\\Z", "", REG_SZ);
  WriteKey(tree, "top", REG_SZ, std::string("v\0", 2));
  EXPECT_EQ(regbytes::DeleteTree(HKEY_CURRENT_USER, tree), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(tree));
  EXPECT_TRUE(KeyExists(kBase));
}

TEST(WineRegistry, AbsentKeyAndEmptyPath) {
  EXPECT_EQ(regbytes::DeleteTree(HKEY_CURRENT_USER, kBase + "\\NotThere"),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(regbytes::DeleteTree(HKEY_CURRENT_USER, ""), ERROR_BADKEY);
}

TEST(WineRegistry, DeniedKeyInTheMiddleStopsWithItsCode) {
  const std::string tree = kBase + "\\Denied";
  WriteKey(tree + "\\A\\Inner");
  WriteKey(tree + "\\B");
  DenyEveryone(tree + "\\A");
  EXPECT_EQ(regbytes::DeleteTree(HKEY_CURRENT_USER, tree), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(KeyExists(tree));
  EXPECT_TRUE(KeyExists(tree + "\\B"));
}

TEST(WineRegistry, DeletesValuesAndTellsAbsentValueFromAbsentKey) {
  const std::string key = kBase + "\\Values";
  WriteKey(key, "TEV32PP", REG_SZ, std::string("p\0", 2));
  EXPECT_EQ(regbytes::DeleteValue(HKEY_CURRENT_USER, key, "TEV32PP"), 0);
  EXPECT_EQ(regbytes::DeleteValue(HKEY_CURRENT_USER, key, "TEV32PP"), 1);
  EXPECT_EQ(regbytes::DeleteValue(HKEY_CURRENT_USER, key + "\\Nope", "TEV32PP"), 2);
}

TEST(WineRegistry, ReadsWholeStringsOfStringTypesOnly) {
  const std::string key = kBase + "\\Read";
  const std::string longText = "C:\\" + std::string(400, 'L') + "\\";
  WriteKey(key, "Long", REG_SZ, longText + '\0');
  WriteKey(key, "Expand", REG_EXPAND_SZ, std::string("D:\\Apps\\\0tail\0", 14));
  WriteKey(key, "Number", REG_DWORD, std::string("ABCD", 4));
  WriteKey(key, "Bytes", REG_BINARY, std::string("C:\\X\\", 5));
  EXPECT_EQ(regbytes::ReadString(HKEY_CURRENT_USER, key, "Long"), longText);
  EXPECT_EQ(regbytes::ReadString(HKEY_CURRENT_USER, key, "Expand"), "D:\\Apps\\");
  EXPECT_EQ(regbytes::ReadString(HKEY_CURRENT_USER, key, "Number"), "");
  EXPECT_EQ(regbytes::ReadString(HKEY_CURRENT_USER, key, "Bytes"), "");
  EXPECT_EQ(regbytes::ReadString(HKEY_CURRENT_USER, key, "Missing"), "");
  EXPECT_EQ(regbytes::ReadString(HKEY_CURRENT_USER, key + "\\Nope", "Long"), "");
}

TEST(WineRegistry, SubKeysWithNamesTheCodePageLacksGoWithTheirTree) {
  const std::string tree = kBase + "\\Foreign";
  WriteKey(tree + "\\Plain");
  const WCHAR slash[] = {'a', 0xFF3C, 'b', 0};
  const WCHAR cyrillic[] = {0x0416, 0x0416, 0};
  for (const WCHAR* name : {slash, cyrillic}) {
    const qm::WString path = qm::Widen(tree + "\\") + name + qm::Widen("\\Inner");
    qm::unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(regbytes::DeleteTree(HKEY_CURRENT_USER, tree), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(tree));
  EXPECT_EQ(cleanup::QueryRegistryKey(HKEY_CURRENT_USER, qm::Widen(tree)), ERROR_FILE_NOT_FOUND);
}

}  // namespace
