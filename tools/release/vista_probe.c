/* A program that imports a function Windows 2000, XP and 2003 lack (GetTickCount64, Vista
   and later): the import check must refuse it, naming the function. */
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main(void) { return (int)(GetTickCount64() & 1); }
