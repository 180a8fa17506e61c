// Which install folders may be emptied recursively.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "cleanup/install_folder.h"

namespace {

// The check as the run makes it, on the bytes of the tests' tables.
std::string CheckedInstallDir(const std::string& read, const std::string& windows,
                              const cleanup::ShellFolders& shell = {}) {
  return qm::Narrow(cleanup::CheckedInstallDir(qm::Widen(read), qm::Widen(windows), shell));
}

const char* const kWindows = "C:\\WINDOWS";
const char* const kDefault = "C:\\Program Files\\Brantivo\\Tev32\\";

TEST(InstallFolder, UsableFoldersGetOneTrailingBackslash) {
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

TEST(InstallFolder, EmptyOrUnsafeTextsGiveTheDefault) {
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

TEST(InstallFolder, TheWindowsDirectoryAndItsAncestorsWhereverItLies) {
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

TEST(InstallFolder, ShellFoldersTheirAncestorsAndProfilesAreRefused) {
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
  };
  for (const Case& c : refused)
    EXPECT_EQ(CheckedInstallDir(c.folder, "C:\\WINDOWS", c.shell), kDefault) << c.folder;
  const Case accepted[] = {
      {xp, "C:\\Program Files\\Brantivo\\Tev32"},
      {xp, "C:\\Documents and Settings\\ana\\Escritorio\\Tev32"},
      {xp, "D:\\Mis documentos\\Tev"},
      {xp, "C:\\Documents and Settings\\ana\\Mis documentos"},  // not reported: no rule
      {w11, "C:\\Program Files\\Brantivo\\Tev32\\"},
      {w11, "C:\\ProgramData\\Brantivo\\Tev32"},
      {w11, "C:\\Users\\Public\\Documents\\Tev"},
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

}  // namespace
