// Runs a program inside the prefix and writes its full exit status to a file: Wine hands a
// Windows program's status to the unix side cut to 8 bits (1605 reads as 69).
//
//   qmexit.exe OUTFILE PROGRAM [ARGUMENTS...]
//
// The program's command line is PROGRAM and the arguments, each separated by one blank and
// quoted when it holds a blank. OUTFILE receives the status as decimal digits; qmexit.exe
// ends with 0, or 2 when the program could not be started.
#include <cstdio>
#include <string>

#include "platform/raii.h"

namespace {

std::string Quoted(const char* arg) {
  const std::string a = arg;
  return a.find(' ') == std::string::npos ? a : "\"" + a + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string commandLine = Quoted(argv[2]);
  for (int i = 3; i < argc; ++i) commandLine += " " + Quoted(argv[i]);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
    return 2;
  qm::unique_kernel process(info.hProcess);
  qm::unique_kernel thread(info.hThread);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD status = 0;
  ::GetExitCodeProcess(process.get(), &status);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 2;
  std::fprintf(out, "%lu", static_cast<unsigned long>(status));
  std::fclose(out);
  return 0;
}
