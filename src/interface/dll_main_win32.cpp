// Entry point of vrel.dll. Loading the library only records its module
// instance; nothing is read or allocated until VrelInit.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace vrel {

// The module instance of the loaded library; null until the loader attaches
// the library to a process.
HINSTANCE moduleInstance = nullptr;

} // namespace vrel

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        vrel::moduleInstance = instance;
    }
    return TRUE;
}
