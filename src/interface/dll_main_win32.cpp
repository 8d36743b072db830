// Entry point of vrel.dll (built into the DLL only, not the static
// library). Loading the library does nothing: nothing is read or allocated
// until VrelInit.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}
