// The log's texts and the log file.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cleanup/log.h"
#include "cleanup/run.h"
#include "platform/exception.h"
#include "platform/sim/machine.h"
#include "tests/unit/cleanup_fakes.h"

namespace {

using cleanup::Outcome;

struct Expect {
  int code;
  const char* line;  // null: no line
  bool failure;
};

TEST(LogTexts, HeadersAreWordsBlankAndFullStops) {
  EXPECT_EQ(std::string(cleanup::ServicesHeader), "Sobre los Servicios " + std::string(60, '.'));
  EXPECT_EQ(std::string(cleanup::ProcessesHeader), "Sobre los Procesos " + std::string(61, '.'));
  EXPECT_EQ(std::string(cleanup::RegistryHeader),
            "Sobre las llaves del registro " + std::string(47, '.'));
  EXPECT_EQ(std::string(cleanup::FilesHeader), "Ficheros Eliminados " + std::string(57, '.'));
}

TEST(LogTexts, ProcessLines) {
  const Expect table[] = {
      {0, "  El proceso P.exe se finaliz\xF3 correctamente", false},
      {603, "  El proceso P.exe no estaba corriendo", false},
      {604, "  Insuficientes permisos para finalizar el proceso P.exe", true},
      {605,
       "  No se pudo cargar la librer\xED"
       "a PSAPI.DLL para finalizar el proceso P.exe",
       true},
      {606, "  El proceso P.exe no se pudo finalizar por razones desconocidas", true},
      {632, "  El nombre del proceso P.exe no es v\xE1lido", true},
      {700, "  No se pudo obtener la direcci\xF3n del proceso P.exe desde PSAPI.DLL", true},
      {701, "  No se pudo obtener la lista de  procesos activos para finalizar el proceso P.exe",
       true},
      {702,
       "  No se pudo cargar la librer\xED"
       "a KERNEL32.DLL para finalizar el proceso P.exe",
       true},
      {703, "  No se pudo obtener la direcci\xF3n del proceso P.exe desde KERNEL32.DLL", true},
      {704, "  CreateToolhelp32Snapshot fall\xF3 para el proceso P.exe", true},
      {602, "  Error desconocido al tratar el proceso P.exe", true},
      {607, "  Error desconocido al tratar el proceso P.exe", true},
  };
  for (const Expect& e : table) {
    const Outcome o =
        cleanup::ProcessOutcome("P.exe", static_cast<cleanup::ProcessResult>(e.code));
    EXPECT_EQ(o.line.value_or("<none>"), e.line) << e.code;
    EXPECT_EQ(o.failure, e.failure) << e.code;
  }
}

class LogFile : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(machine.OpenKernelHandles(), 0); }
  const std::string path = "C:\\WINDOWS\\Temp\\Quelmark.log";
  sim::Machine machine;
  test::NoHost host;
  test::NoServices services;
  cleanup::CleanupRun run{host, services};
};

TEST_F(LogFile, EveryLineEndsWithCrLfAsSingleBytes) {
  run.WindowsDir = qm::Widen("C:\\WINDOWS");
  run.LogList = {cleanup::ServicesHeader, " ", "  El proceso A.exe se finaliz\xF3 correctamente",
                 "  C:\\WINDOWS\\system32\\drivers\\TEVF.sys'...FALLO"};
  run.WriteLogFile();
  EXPECT_EQ(machine.FileContent(path),
            std::string(cleanup::ServicesHeader) + "\r\n" + " \r\n" +
                "  El proceso A.exe se finaliz\xF3 correctamente\r\n" +
                "  C:\\WINDOWS\\system32\\drivers\\TEVF.sys'...FALLO\r\n");
  EXPECT_NE(machine.FileContent(path).find(std::string("\n \r\n", 4)), std::string::npos);
}

TEST_F(LogFile, AnEarlierLogIsReplacedWhole) {
  machine.MakeFile(path, std::string(5000, 'o'));
  run.WindowsDir = qm::Widen("C:\\WINDOWS");
  run.LogList = {"x"};
  run.WriteLogFile();
  EXPECT_EQ(machine.FileContent(path), "x\r\n");
}

TEST_F(LogFile, APlantedLinkIsReplacedNotFollowed) {
  machine.MakeFile("C:\\boot.ini", "[boot loader]");
  machine.MakeLink(path, "C:\\boot.ini", false);
  run.WindowsDir = qm::Widen("C:\\WINDOWS");
  run.LogList = {"x"};
  run.WriteLogFile();
  EXPECT_EQ(machine.FileContent("C:\\boot.ini"), "[boot loader]");
  EXPECT_EQ(machine.Attributes(path) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(machine.FileContent(path), "x\r\n");
}

// Whatever a user plants at the log's name, or links to the new file, the log is written to
// a file of its own or not at all.
TEST(LogFileLinks, TheLogIsNeverWrittenThroughALink) {
  const std::string log = "C:\\WINDOWS\\Temp\\Quelmark.log";
  const std::string system = "C:\\WINDOWS\\system32\\";
  auto link = [](const std::string& name, const std::string& existing) {
    return CreateHardLinkW(qm::Widen(name).c_str(), qm::Widen(existing).c_str(), nullptr);
  };
  struct Row {
    const char* what;
    std::function<void(sim::Machine&)> plant;
    bool written;
  };
  const Row rows[] = {
      {"a mount point aimed at a missing system file",
       [&](sim::Machine& m) { m.MakeLink(log, system + "evil.dll", true); }, false},
      {"a hard link to a bystander's file",
       [&](sim::Machine& m) {
         m.MakeFile(system + "config.sys", "bystander");
         link(log, system + "config.sys");
       },
       true},
      {"a second name given to the new file before it is written",
       [&](sim::Machine& m) {
         m.OnCreated(qm::Widen(log), [&] { link(system + "copy.log", log); });
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    sim::Machine machine;
    row.plant(machine);
    bool raised = false;
    try {
      cleanup::WriteLogLines(qm::Widen(log), {"x"});
    } catch (const EFCreateError& e) {
      raised = true;
      EXPECT_EQ(e.Message(), "Cannot create file " + log);
    }
    EXPECT_EQ(raised, !row.written);
    EXPECT_FALSE(machine.PathExists(system + "evil.dll"));
    EXPECT_EQ(machine.FileContent(system + "config.sys"), row.written ? "bystander" : "");
    EXPECT_EQ(machine.FileContent(system + "copy.log"), "");
    EXPECT_EQ(machine.FileContent(log), row.written ? "x\r\n" : "");
    if (row.written) {
      EXPECT_EQ(machine.LinkCount(log), 1);
    }
    EXPECT_EQ(machine.OpenKernelHandles(), 0);
  }
}

TEST_F(LogFile, MissingTempFolderRaisesCannotCreateFile) {
  machine.MakeDirectory("D:\\WIN");
  run.WindowsDir = qm::Widen("D:\\WIN");
  run.LogList = {"x"};
  try {
    run.WriteLogFile();
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file D:\\WIN\\Temp\\Quelmark.log");
  }
  EXPECT_FALSE(machine.PathExists("D:\\WIN\\Temp"));
}

TEST_F(LogFile, ALogThatCannotBeRemovedIsNotWrittenThrough) {
  machine.MakeFile(path, "old");
  machine.HoldOpen(path);
  run.WindowsDir = qm::Widen("C:\\WINDOWS");
  run.LogList = {"x"};
  EXPECT_THROW(run.WriteLogFile(), EFCreateError);
  EXPECT_EQ(machine.FileContent(path), "old");
}

}  // namespace
