/* Pallix-VirtualDevice.dll: the exports live in the portable core; the .def file names them. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
