// Which install folders may be emptied recursively.
#include <gtest/gtest.h>

#include <string>

#include "cleanup/install_folder.h"

namespace {

using cleanup::CheckedInstallDir;

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

}  // namespace
