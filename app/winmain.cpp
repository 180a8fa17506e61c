// Process entry of the Windows program. The service binding is made here, before the main
// routine and before any window exists; the arguments the system passes are not used (the
// main window reads the command line itself).
#include "app/quelmark.h"
#include "ntservice/advapi32.h"
#include "platform/win32/win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Advapi32::Binding binding;
  ui::Application app;
  return QuelmarkMain(app);
}
