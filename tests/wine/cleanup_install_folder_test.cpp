// The install-folder check against the shell folders a real system reports.
#include <gtest/gtest.h>

#include "cleanup/install_folder.h"
#include "cleanup/plan.h"

namespace {

TEST(WineInstallFolder, EveryReportedShellFolderAndProfileIsRefused) {
  const cleanup::ShellFolders shell = cleanup::MachineShellFolders();
  const qm::WString windows = cleanup::ReadWindowsDirectory();
  const qm::WString fallback = qm::Widen(cleanup::DefaultInstallDir);
  ASSERT_GE(shell.folders.size(), 10u) << "SHGetFolderPathW reported too little";
  ASSERT_GE(shell.profileRoots.size(), 2u) << "no ProfilesDirectory or no account's profile";
  for (const qm::WString& folder : shell.folders)
    EXPECT_EQ(cleanup::CheckedInstallDir(folder, windows, shell), fallback) << qm::Narrow(folder);
  const qm::WString profiles = shell.profileRoots.front();
  EXPECT_EQ(profiles.find(WCHAR('%')), qm::WString::npos) << "not expanded";
  for (const char* inside : {"", "\\Public", "\\Default", "\\Anyone", "\\Public\\Tev\\"})
    EXPECT_EQ(cleanup::CheckedInstallDir(profiles + qm::Widen(inside), windows, shell), fallback)
        << qm::Narrow(profiles) << inside;
  const qm::WString product = qm::Widen("C:\\Program Files\\Brantivo\\Tev32\\");
  EXPECT_EQ(cleanup::CheckedInstallDir(product, windows, shell), product);
}

}  // namespace
