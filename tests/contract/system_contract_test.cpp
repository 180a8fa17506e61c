// Error texts, the version record, the per-thread last error, the shutdown privilege and the
// record layouts the program's fixed sizes assume.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "cleanup/install_folder.h"
#include "cleanup/security.h"
#include "platform/raii.h"
#include "platform/system_library.h"
#include "platform/text.h"
#include "tests/contract/world.h"

namespace {

using contract::World;

// The records keep Windows' layouts for the build's pointer size.
static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record the program sizes as 148");
static_assert(sizeof(SERVICE_STATUS) == 28, "the status record the component zero-fills");
static_assert(sizeof(PROCESSENTRY32) == (sizeof(void*) == 8 ? 304 : 296), "Toolhelp process record");
static_assert(sizeof(MODULEENTRY32) == (sizeof(void*) == 8 ? 568 : 548), "Toolhelp module record");
static_assert(sizeof(ENUM_SERVICE_STATUSA) == (sizeof(void*) == 8 ? 48 : 36), "enumeration record");
static_assert(offsetof(PROCESSENTRY32, th32ProcessID) == 8, "process id after size and usage");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(HANDLE) == sizeof(void*), "sizes");

class SystemContract : public ::testing::Test {
 protected:
  std::string Text(DWORD code) {
    char buffer[1024] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buffer, sizeof(buffer), nullptr);
    return buffer;
  }
  World world;
};

// ---- error texts

TEST_F(SystemContract, TheErrorTextsTheProgramShowsEndWithALineBreak) {
  for (DWORD code : {0u, 2u, 3u, 5u, 6u, 32u, 87u, 120u, 126u, 145u, 206u, 234u, 259u, 1010u,
                     1018u, 1051u, 1052u, 1060u, 1061u, 1062u, 1072u, 1300u}) {
    const std::string text = Text(code);
    ASSERT_GT(text.size(), 2u) << code;
    EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << code;
    EXPECT_EQ(std::string::npos, text.substr(0, text.size() - 2).find_first_of("\r\n")) << code;
  }
}

TEST_F(SystemContract, ErrorTextsAreTheSystemsEnglishSentences) {
  // Wine's message table has texts of its own ("Access denied."); the simulation follows
  // Windows' English sentences, which only a Windows system can confirm.
  if (!World::Simulated()) GTEST_SKIP() << "Wine's error texts differ from Windows'";
  EXPECT_EQ("Access is denied.\r\n", Text(5));
  EXPECT_EQ("The specified service does not exist as an installed service.\r\n", Text(1060));
  EXPECT_EQ("The service has not been started.\r\n", Text(1062));
  EXPECT_EQ("The system cannot find the file specified.\r\n", Text(2));
}

TEST_F(SystemContract, ACodeWithoutTextGivesNothing) {
  char buffer[64] = {};
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               0x2A5F0F0Fu, 0, buffer, sizeof(buffer), nullptr));
  EXPECT_STREQ("", buffer);
}

// ---- last error

TEST_F(SystemContract, TheLastErrorBelongsToTheThread) {
  // Creating and joining a thread make system calls of their own on this thread, so the
  // comparison happens while the other thread is parked, with plain memory operations only.
  std::atomic<int> step{0};
  DWORD other = 0;
  std::thread worker([&] {
    while (step.load() != 1) {
    }
    SetLastError(5);
    other = GetLastError();
    step.store(2);
    while (step.load() != 3) {
    }
  });
  SetLastError(1060);
  step.store(1);
  while (step.load() != 2) {
  }
  const DWORD mine = GetLastError();
  step.store(3);
  worker.join();
  EXPECT_EQ(5u, other);
  EXPECT_EQ(1060u, mine);
}

// ---- version

TEST_F(SystemContract, TheVersionRecordOf148BytesReportsTheNtFamily) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = 148;
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), version.dwPlatformId);
  EXPECT_GE(version.dwMajorVersion, 5u);
}

TEST_F(SystemContract, AWrongRecordSizeIsRefusedWith122) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = 0;
  EXPECT_FALSE(GetVersionExA(&version));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

// ---- text

TEST_F(SystemContract, CharUpperBuffUpperCasesWindows1252Letters) {
  char text[] = " /reboot_auto caf\xE9 \xF1 1";
  EXPECT_EQ(sizeof(text) - 1, CharUpperBuffA(text, sizeof(text) - 1));
  EXPECT_STREQ(" /REBOOT_AUTO CAF\xC9 \xD1 1", text);
}

// Install folders are compared as the system upper-cases names (CharUpperBuffW): letters
// beyond Latin-1 fold too, in place and one for one, and a sharp s stays itself.
TEST_F(SystemContract, TheInstallFolderCheckFoldsLettersAsTheSystemDoes) {
  const std::u16string lower = u"a\u0161\u00ff\u00e9\u03b1\u03c9\u0436\u0451\u00df i";
  const std::u16string upper = u"A\u0160\u0178\u00c9\u0391\u03a9\u0416\u0401\u00df I";
  EXPECT_EQ(qm::WString(upper.begin(), upper.end()),
            cleanup::FoldCase(qm::WString(lower.begin(), lower.end())));
}

// ---- restart privilege

TEST_F(SystemContract, EnablingTheShutdownPrivilegeSucceedsWithLastErrorZero) {
  qm::unique_kernel token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()));
  TOKEN_PRIVILEGES privileges{};
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  SetLastError(1234);
  EXPECT_TRUE(AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(0u, GetLastError()) << "the program judges the outcome by the last error";
}

}  // namespace

// ---- the ANSI code page

namespace text_cases {
struct Conversion {
  char16_t unit;
  const char* bestFit;  // what the narrow functions make of it
  const char* exact;    // with WC_NO_BEST_FIT_CHARS, as the log writes it
};
// Full-width forms that best-fit turns into path syntax, a letter with no 1252 form, and two
// that 1252 holds.
const Conversion kConversions[] = {
    {0xFF3C, "\\", "?"}, {0xFF0F, "/", "?"}, {0xFF0E, ".", "?"}, {0xFF1F, "?", "?"},
    {0xFF0A, "*", "?"},  {0xFF1A, ":", "?"}, {0x0416, "?", "?"}, {0x00FA, "\xFA", "\xFA"},
    {0x20AC, "\x80", "\x80"}};
}  // namespace text_cases

namespace {

TEST_F(SystemContract, TheAnsiCodePageBestFitsFullWidthFormsAndTheLogFormDoesNot) {
  for (const auto& c : text_cases::kConversions) {
    const qm::WString wide{c.unit};
    char buffer[8] = {};
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), 1, buffer, sizeof buffer, nullptr,
                                      nullptr);
    EXPECT_EQ(std::string(c.bestFit), std::string(buffer, n > 0 ? n : 0)) << int(c.unit);
    EXPECT_EQ(std::string(c.exact), qm::Narrow(wide)) << int(c.unit);
  }
  // Bytes of the program's own come back as they were.
  const std::string own = "C:\\Documents and Settings\\Men\xFA Inicio\\\x80";
  EXPECT_EQ(own, qm::Narrow(qm::Widen(own)));
  EXPECT_TRUE(qm::HoldsInCodePage(qm::Widen(own)));
  EXPECT_FALSE(qm::HoldsInCodePage(qm::WString{0xFF3C}));
}

// Why the log and the plan's texts name code page 1252 rather than CP_ACP: with Windows'
// system-wide UTF-8 option the ANSI code page is 65001, which refuses a default character (so
// no name could be logged with '?') and reads the plan's byte 0xFA as no character at all;
// code page 1251 reads it as another letter.
TEST_F(SystemContract, OtherCodePagesReadTheProgramsOwnBytesAsOtherText) {
  const qm::WString u_acute{0x00FA};
  char bytes[8] = {};
  const int converted = WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u_acute.data(), 1,
                                            bytes, sizeof bytes, "?", nullptr);
  if (World::Simulated()) {
    // Windows refuses a default character with UTF-8 (87), as documented; Wine 8 converts.
    EXPECT_EQ(0, converted);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  }
  struct Read {
    UINT codePage;
    WCHAR unit;
  } const reads[] = {{CP_UTF8, 0xFFFD}, {1251, 0x044A}, {1252, 0x00FA}};
  for (const Read& r : reads) {
    WCHAR wide[4] = {};
    EXPECT_EQ(1, MultiByteToWideChar(r.codePage, 0, "\xFA", 1, wide, 4)) << r.codePage;
    EXPECT_EQ(r.unit, wide[0]) << r.codePage;
  }
}

// ---- shell folders and the profiles folder

qm::WString W(const std::u16string& text) { return qm::WString(text.begin(), text.end()); }

// Both worlds' profile paths are ASCII; Wine's drive letter and folder names differ in case.
qm::WString UpperAscii(qm::WString text) {
  for (WCHAR& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<WCHAR>(c - 'a' + 'A');
  return text;
}

using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

class ShellFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    shell32 = qm::LoadSystemLibrary("shell32.dll");
    ASSERT_TRUE(shell32);
    const FARPROC entry = GetProcAddress(shell32.get(), "SHGetFolderPathW");
    ASSERT_NE(nullptr, entry);
    getFolderPath = reinterpret_cast<GetFolderPathFn>(reinterpret_cast<void (*)()>(entry));
  }
  // The folder, or empty when the shell reports none.
  qm::WString Folder(int csidl) {
    WCHAR path[MAX_PATH] = {};
    const HRESULT hr = getFolderPath(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return SUCCEEDED(hr) && hr == S_OK ? qm::WString(path) : qm::WString();
  }
  World world;
  qm::unique_library shell32;
  GetFolderPathFn getFolderPath = nullptr;
};

// The folders the install-folder check refuses; every system has them.
constexpr int kMachineAndUserFolders[] = {
    CSIDL_PROGRAM_FILES,    CSIDL_PROGRAM_FILES_COMMON, CSIDL_COMMON_APPDATA,
    CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,        CSIDL_COMMON_DOCUMENTS,
    CSIDL_PERSONAL,         CSIDL_DESKTOPDIRECTORY,     CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_STARTMENU,        CSIDL_COMMON_STARTMENU,     CSIDL_PROGRAMS,
    CSIDL_COMMON_PROGRAMS,  CSIDL_PROFILE,              CSIDL_WINDOWS,
    CSIDL_SYSTEM};

TEST_F(ShellFolders, EachMachineAndUserFolderIsAFullDrivePath) {
  for (int csidl : kMachineAndUserFolders) {
    const qm::WString path = Folder(csidl);
    ASSERT_GT(path.size(), 3u) << "CSIDL " << csidl;
    EXPECT_EQ(W(u":\\"), path.substr(1, 2)) << "CSIDL " << csidl;
    EXPECT_NE(W(u"\\"), path.substr(path.size() - 1)) << "CSIDL " << csidl;
  }
}

TEST_F(ShellFolders, TheWindowsFolderIsTheOneGetWindowsDirectoryReports) {
  WCHAR windows[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  EXPECT_EQ(qm::WString(windows), Folder(CSIDL_WINDOWS));
}

TEST_F(ShellFolders, TheProfilesFolderExpandsToTheParentOfTheUsersProfile) {
  qm::unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          W(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList").c_str(),
                          0, KEY_QUERY_VALUE, key.put()));
  WCHAR stored[MAX_PATH] = {};
  DWORD size = sizeof(stored), type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), W(u"ProfilesDirectory").c_str(), nullptr,
                                            &type, reinterpret_cast<BYTE*>(stored), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
  // Windows keeps the drive as "%SystemDrive%"; Wine stores the expanded "C:\\users" (still
  // REG_EXPAND_SZ), so the program must expand the value either way.
  if (World::Simulated()) {
    EXPECT_EQ(0u, qm::WString(stored).find(W(u"%SystemDrive%\\")));
  }
  WCHAR expanded[MAX_PATH] = {};
  const DWORD needed = ExpandEnvironmentStringsW(stored, expanded, MAX_PATH);
  ASSERT_GT(needed, 0u);
  EXPECT_EQ(qm::WString(expanded).size() + 1, needed) << "the count includes the zero";
  const qm::WString profile = Folder(CSIDL_PROFILE);
  const qm::WString parent = profile.substr(0, profile.find_last_of(W(u"\\")));
  EXPECT_EQ(UpperAscii(parent), UpperAscii(expanded))
      << "the profile folder lies directly inside the profiles folder";
}

// One copy at a time rests on this: a second creation of a named mutex answers with a handle
// and ERROR_ALREADY_EXISTS while the first lives, and the name is free once it is closed.
TEST_F(SystemContract, ASecondMutexCreationSeesTheFirstUntilItCloses) {
  const std::string name = "Global\\Quelmark.contract." + std::to_string(GetCurrentProcessId());
  qm::unique_kernel first(CreateMutexA(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(first);
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  qm::unique_kernel second(CreateMutexA(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(second);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  second.reset();
  first.reset();
  qm::unique_kernel again(CreateMutexA(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(again);
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

// A mutex of the lock's name met again by a create without attributes (every right asked),
// as the lock meets an existing one: the lock's own, owned by Administrators with SYSTEM and
// Administrators alone on its list, answers with a handle and 183, its owner showing a copy;
// one whose list refuses everyone refuses even its creator (5), and gives no handle.
TEST_F(SystemContract, AMutexMetAgainByNameAnswersAsItsOwnerAndListAllow) {
  cleanup::AdministratorsOnly lock(MUTEX_ALL_ACCESS);
  ASSERT_NE(lock.Descriptor(), nullptr);
  std::vector<DWORD> empty(sizeof(ACL) / sizeof(DWORD) + 1);
  SECURITY_DESCRIPTOR denyAll{};
  ASSERT_TRUE(InitializeAcl(reinterpret_cast<PACL>(empty.data()),
                            static_cast<DWORD>(empty.size() * sizeof(DWORD)), ACL_REVISION));
  ASSERT_TRUE(InitializeSecurityDescriptor(&denyAll, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&denyAll, TRUE, reinterpret_cast<PACL>(empty.data()),
                                        FALSE));
  const struct {
    PSECURITY_DESCRIPTOR security;
    DWORD again;  // the last error of the second create
  } held[] = {{lock.Descriptor(), ERROR_ALREADY_EXISTS}, {&denyAll, ERROR_ACCESS_DENIED}};
  for (const auto& row : held) {
    const std::string name = world.UniqueName("QmLock");
    SECURITY_ATTRIBUTES attributes{sizeof attributes, row.security, FALSE};
    SetLastError(0);
    qm::unique_kernel first(CreateMutexA(&attributes, FALSE, name.c_str()));
    ASSERT_TRUE(first) << GetLastError();
    EXPECT_EQ(0u, GetLastError());
    SetLastError(0);
    qm::unique_kernel again(CreateMutexA(nullptr, FALSE, name.c_str()));
    EXPECT_EQ(row.again, GetLastError());
    ASSERT_EQ(row.again == ERROR_ALREADY_EXISTS, static_cast<bool>(again));
    if (!again) continue;
    EXPECT_TRUE(cleanup::OwnedByAdministrators(first.get()));
    EXPECT_TRUE(cleanup::OwnedByAdministrators(again.get()));
    const cleanup::SecurityInfo read(first.get(), SE_KERNEL_OBJECT,
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    ASSERT_TRUE(read && read.Dacl() != nullptr);
    ASSERT_EQ(2u, read.Dacl()->AceCount);
    for (DWORD i = 0; i < 2; ++i) {
      LPVOID entry = nullptr;
      ASSERT_TRUE(GetAce(read.Dacl(), i, &entry));
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
      EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType);
      EXPECT_EQ(static_cast<DWORD>(MUTEX_ALL_ACCESS), allowed->Mask);
    }
  }
}

}  // namespace
