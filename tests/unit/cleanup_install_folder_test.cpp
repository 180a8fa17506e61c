// Which install folders may be emptied recursively.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "cleanup/install_folder.h"
#include "platform/sim/machine.h"

namespace {

// The check as the run makes it, on the bytes of the tests' tables.
std::string CheckedInstallDir(const std::string& read, const std::string& windows,
                              const cleanup::ShellFolders& shell = {}) {
  return qm::Narrow(cleanup::CheckedInstallDir(qm::Widen(read), qm::Widen(windows), shell));
}

const char* const kWindows = "C:\\WINDOWS";
const char* const kDefault = "C:\\Program Files\\Brantivo\\Tev32\\";

// The check looks at the machine's folders to follow links: a fresh one has none.
class InstallFolder : public ::testing::Test {
 protected:
  sim::Machine machine;
};

TEST_F(InstallFolder, UsableFoldersGetOneTrailingBackslash) {
  EXPECT_EQ(CheckedInstallDir("D:\\Apps\\Antivirus", kWindows), "D:\\Apps\\Antivirus\\");
  EXPECT_EQ(CheckedInstallDir("D:\\Apps\\Antivirus\\", kWindows), "D:\\Apps\\Antivirus\\");
  EXPECT_EQ(CheckedInstallDir("c:\\Program Files\\Brantivo\\Tev32", kWindows),
            "c:\\Program Files\\Brantivo\\Tev32\\");
  EXPECT_EQ(CheckedInstallDir("E:\\Tev", kWindows), "E:\\Tev\\");
  EXPECT_EQ(CheckedInstallDir("C:\\Archivos de programa\\Men\xFA", kWindows),
            "C:\\Archivos de programa\\Men\xFA\\");
  EXPECT_EQ(CheckedInstallDir("C:\\WINDOWSX\\Tev", kWindows), "C:\\WINDOWSX\\Tev\\");
  EXPECT_EQ(CheckedInstallDir("C:\\Program Files\\Tev", kWindows), "C:\\Program Files\\Tev\\");
}

TEST_F(InstallFolder, EmptyOrUnsafeTextsGiveTheDefault) {
  const char* const unsafe[] = {
      "",
      "C:\\",
      "C:",
      "C",
      "Tev32\\",
      "Program Files\\Tev32",
      "\\Program Files\\Tev32\\",
      "\\\\server\\share\\Tev32\\",
      "\\\\?\\C:\\Tev32\\",
      "\\\\.\\C:\\Tev32\\",
      "1:\\Tev32\\",
      "C:Tev32\\",
      "C:/Tev32/",
      "C:\\Tev32/..\\",
      "C:\\Apps\\.\\",
      "C:\\Apps\\..\\",
      "C:\\Apps\\..\\Tev32\\",
      "C:\\.\\Apps",
      "C:\\Apps\\*\\",
      "C:\\Apps\\Tev?2\\",
      "C:\\Apps\\\\Tev32\\",
      "C:\\Apps\\Tev32\\\\",
      "C:\\Apps:stream\\",
      "C:\\WINDOWS",
      "c:\\windows\\",
      "C:\\WINDOWS\\system32\\",
      "C:\\Windows\\Temp\\Tev32",
      "C:\\WINDOWS.\\",
      "C:\\WINDOWS \\system32",
      "C:\\PROGRA~1\\",
      "C:\\Program Files",
      "c:\\program files\\",
      "D:\\Program Files (x86)\\",
      "C:\\Documents and Settings\\",
      "E:\\Users",
      "C:\\ProgramData\\",
      "D:\\Windows\\",
      "C:\\WINNT\\",
      // Program Files as a Spanish-language system names it.
      "C:\\Archivos de programa\\",
      "c:\\ARCHIVOS DE PROGRAMA",
      "D:\\Archivos de programa (x86)\\",
  };
  for (const char* text : unsafe) EXPECT_EQ(CheckedInstallDir(text, kWindows), kDefault) << text;
}

TEST_F(InstallFolder, TheWindowsDirectoryAndItsAncestorsWhereverItLies) {
  const char* const windows = "E:\\Sistemas\\WinXP";
  EXPECT_EQ(CheckedInstallDir("E:\\Sistemas", windows), kDefault);
  EXPECT_EQ(CheckedInstallDir("e:\\sistemas\\winxp\\", windows), kDefault);
  EXPECT_EQ(CheckedInstallDir("E:\\Sistemas\\WinXP\\Tev", windows), kDefault);
  EXPECT_EQ(CheckedInstallDir("E:\\Sistemas\\Tev", windows), "E:\\Sistemas\\Tev\\");
}

// Shell folders as a Windows XP and a Windows 11 machine report them.
cleanup::ShellFolders Shell(std::initializer_list<const char*> folders, const char* profiles) {
  cleanup::ShellFolders shell;
  for (const char* folder : folders) shell.folders.push_back(qm::Widen(folder));
  shell.profileRoots.push_back(qm::Widen(profiles));
  return shell;
}

TEST_F(InstallFolder, ShellFoldersTheirAncestorsAndProfilesAreRefused) {
  const cleanup::ShellFolders xp = Shell(
      {"C:\\Program Files", "C:\\Program Files\\Common Files",
       "C:\\Documents and Settings\\All Users\\Datos de programa",
       "C:\\Documents and Settings\\ana\\Datos de programa",
       "C:\\Documents and Settings\\ana\\Configuraci\xF3n local\\Datos de programa",
       "C:\\Documents and Settings\\All Users\\Documentos", "D:\\Mis documentos",
       "C:\\Documents and Settings\\ana\\Escritorio",
       "C:\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas",
       "C:\\Documents and Settings\\ana", "C:\\WINDOWS", "C:\\WINDOWS\\system32"},
      "C:\\Documents and Settings");
  const cleanup::ShellFolders w11 = Shell(
      {"C:\\Program Files", "C:\\Program Files (x86)", "C:\\Program Files\\Common Files",
       "C:\\Program Files (x86)\\Common Files", "C:\\ProgramData", "C:\\Users\\ana\\AppData\\Roaming",
       "C:\\Users\\ana\\AppData\\Local", "C:\\Users\\Public\\Documents",
       "E:\\Datos\\ana\\Documents", "C:\\Users\\ana\\Desktop", "C:\\Users\\Public\\Desktop",
       "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "C:\\Users\\ana"},
      "C:\\Users");
  struct Case {
    const cleanup::ShellFolders& shell;
    const char* folder;
  };
  const Case refused[] = {
      {xp, "C:\\Program Files\\Common Files\\"},
      {xp, "c:\\program files\\common files"},
      {xp, "C:\\Documents and Settings\\All Users"},
      {xp, "C:\\Documents and Settings\\ALL USERS\\Datos de programa"},
      {xp, "C:\\Documents and Settings\\ana\\Configuraci\xD3n local"},  // capital O acute folds to small
      {xp, "C:\\Documents and Settings\\Default User"},
      {xp, "C:\\Documents and Settings\\ana\\Escritorio\\"},
      {xp, "D:\\Mis documentos"},
      {xp, "C:\\Documents and Settings\\All Users\\Men\xDA Inicio"},
      {xp, "C:\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas"},
      {w11, "C:\\ProgramData"},
      {w11, "C:\\Users\\Public"},
      {w11, "C:\\Users\\Public\\Documents"},
      {w11, "c:\\users\\ana\\appdata"},
      {w11, "C:\\Users\\ana\\AppData\\Local\\"},
      {w11, "E:\\Datos"},
      {w11, "E:\\Datos\\ana"},
      {w11, "C:\\Program Files (x86)\\Common Files"},
      {w11, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu"},
      {w11, "C:\\Users\\Default"},
      // Anywhere below a profile: the profile belongs to its user.
      {xp, "C:\\Documents and Settings\\ana\\Escritorio\\Tev32"},
      {xp, "C:\\Documents and Settings\\ana\\Mis documentos"},
      {w11, "C:\\Users\\Public\\Documents\\Tev"},
  };
  for (const Case& c : refused)
    EXPECT_EQ(CheckedInstallDir(c.folder, "C:\\WINDOWS", c.shell), kDefault) << c.folder;
  const Case accepted[] = {
      {xp, "C:\\Program Files\\Brantivo\\Tev32"},
      {xp, "D:\\Mis documentos\\Tev"},  // below a shell folder outside every profile
      {w11, "C:\\Program Files\\Brantivo\\Tev32\\"},
      {w11, "C:\\ProgramData\\Brantivo\\Tev32"},
      {w11, "E:\\Datos2"},
      {w11, "C:\\Users2\\ana"},
  };
  for (const Case& c : accepted) {
    const std::string folder = c.folder;
    EXPECT_EQ(CheckedInstallDir(folder, "C:\\WINDOWS", c.shell),
              folder.back() == '\\' ? folder : folder + "\\")
        << c.folder;
  }
}

// ---- where the folder leads, and whose profiles

struct Judged {
  std::u16string folder;
  bool accepted;
};

// The check on wide names, against the Windows folder C:\WINDOWS.
void ExpectJudged(const std::vector<Judged>& cases, const cleanup::ShellFolders& shell) {
  for (const Judged& c : cases) {
    const std::u16string expected = c.accepted ? c.folder + u"\\" : qm::Widen(kDefault);
    EXPECT_EQ(cleanup::CheckedInstallDir(c.folder, u"C:\\WINDOWS", shell), expected)
        << qm::Narrow(c.folder);
  }
}

// Links Windows ships (Vista's old profiles folder, Spanish Program Files) and links a user
// could plant: each folder is judged where Windows would take it.
TEST_F(InstallFolder, FoldersAreJudgedWhereTheirLinksLead) {
  machine.MakeDirectoryW(u"C:\\Users\\Ana\\Documents");
  machine.MakeDirectoryW(u"C:\\Program Files\\Brantivo\\Tev32");
  machine.MakeDirectoryW(u"C:\\Datos\\Tev");
  machine.MakeLinkW(u"C:\\Documents and Settings", u"C:\\Users");
  machine.MakeLinkW(u"C:\\Archivos de programa", u"C:\\Program Files");
  machine.MakeLinkW(u"D:\\Apps", u"C:\\WINDOWS\\system32");
  machine.MakeSymbolicLinkW(u"C:\\Datos\\Sube", u"..\\WINDOWS", true);
  machine.MakeSymbolicLinkW(u"C:\\Datos\\Hermano", u"..\\Datos\\Tev", true);
  machine.MakeSymbolicLinkW(u"E:\\Cadena", u"D:\\Apps", false);
  machine.MakeLinkW(u"C:\\Bucle\\A", u"C:\\Bucle\\B");
  machine.MakeLinkW(u"C:\\Bucle\\B", u"C:\\Bucle\\A");
  for (const char16_t* odd : {u"C:\\Volumen", u"C:\\Otra", u"C:\\Cortada", u"C:\\Cerrada"})
    machine.MakeLinkW(odd, u"C:\\Datos");
  machine.SetReparseData(u"C:\\Volumen", sim::ReparseBytes(IO_REPARSE_TAG_MOUNT_POINT,
                                                           u"\\??\\Volume{5a17c0de-1}\\", u""));
  machine.SetReparseData(u"C:\\Otra", sim::ReparseBytes(0x8000001B, u"\\??\\C:\\Datos", u""));
  const std::string whole =
      sim::ReparseBytes(IO_REPARSE_TAG_MOUNT_POINT, u"\\??\\C:\\Datos", u"C:\\Datos");
  machine.SetReparseData(u"C:\\Cortada", whole.substr(0, 24));
  machine.FailReparseRead(u"C:\\Cerrada", ERROR_ACCESS_DENIED);
  cleanup::ShellFolders vista;
  vista.folders = {u"C:\\Program Files", u"C:\\Users\\Ana", u"C:\\Users\\Ana\\Documents"};
  vista.profileRoots = {u"C:\\Users"};
  ExpectJudged({{u"C:\\Documents and Settings\\Ana", false},
                {u"C:\\Documents and Settings\\Ana\\Documents\\Tev", false},
                {u"D:\\Apps\\Tev", false},         // a junction into the Windows folder
                {u"C:\\Datos\\Sube\\Tev", false},  // a relative link there
                {u"E:\\Cadena\\Tev", false},       // a link to that junction
                {u"C:\\Bucle\\A\\Tev", false},     // links that lead round for ever
                {u"C:\\Volumen\\Tev", false},      // a volume with no drive letter to judge
                {u"C:\\Otra\\Tev", false},         // a reparse point that is no link
                {u"C:\\Cortada\\Tev", false},      // data cut short
                {u"C:\\Cerrada\\Tev", false},      // data that cannot be read
                {u"C:\\Archivos de programa\\Brantivo\\Tev32", true},
                {u"C:\\Datos\\Hermano", true},
                {u"C:\\Datos\\Hermano\\Nueva\\Tev", true},  // below it nothing exists yet
                {u"C:\\Program Files\\Brantivo\\Tev32", true}},
               vista);
}

// As SYSTEM the shell reports SYSTEM's own folders: the users' profiles come from the
// ProfileList, wherever they lie.
TEST_F(InstallFolder, EveryAccountsProfileIsRefusedWhoeverRuns) {
  const std::u16string own = u"C:\\WINDOWS\\system32\\config\\systemprofile";
  machine.SetShellFolder(CSIDL_PROFILE, own);
  machine.SetShellFolder(CSIDL_PERSONAL, own + u"\\Mis documentos");
  machine.SetShellFolder(CSIDL_DESKTOPDIRECTORY, own + u"\\Escritorio");
  machine.AddProfile(u"S-1-5-21-1-2-3-1004", u"D:\\Perfiles\\Ana");
  machine.AddProfile(u"S-1-5-21-1-2-3-1005", u"%SystemDrive%\\Documents and Settings\\Juan");
  machine.AddProfile(u"S-1-5-21-1-2-3-1006", u"E:\\Tom\u00e1\u0161");
  // The profiles folder moved to another drive, its old name left behind as a junction.
  machine.SetProfilesDirectory(u"%SystemDrive%\\Users");
  machine.MakeDirectoryW(u"F:\\Usuarios\\Luis");
  machine.MakeLinkW(u"C:\\Users", u"F:\\Usuarios");
  ExpectJudged({{u"D:\\Perfiles\\Ana\\Mis documentos", false},
                {u"d:\\perfiles\\ana", false},
                {u"D:\\Perfiles", false},
                {u"C:\\Documents and Settings\\Juan\\Escritorio\\Tev", false},
                {u"F:\\Usuarios\\Luis\\Tev", false},
                {u"C:\\Users\\Luis", false},
                {u"e:\\TOM\u00c1\u0160\\Tev", false},  // folded as the system folds it
                {u"D:\\Perfiles2\\Tev", true},
                {u"F:\\Apps\\Tev", true},
                {u"C:\\Program Files\\Brantivo\\Tev32", true}},
               cleanup::MachineShellFolders());
}

}  // namespace
