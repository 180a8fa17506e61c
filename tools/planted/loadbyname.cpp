// qmloadbyname LIBRARY: loads LIBRARY by the name given (e.g. "psapi.dll"), as a program that
// trusts the search order does. Exits 0 when it loaded, 1 when not, 2 without an argument.
#include "platform/raii.h"
#include "platform/win32/win32.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const qm::unique_library library(::LoadLibraryA(argv[1]));
  return library ? 0 : 1;
}
