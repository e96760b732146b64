// A DLL that asks Windows for a path's attributes and the C runtime for an
// environment value in the ANSI code page, as the plug-in must not: the PE check
// is shown to refuse it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        return GetFileAttributesA("BrackenfoldConfig.ini") != INVALID_FILE_ATTRIBUTES ||
               std::getenv("LOCALAPPDATA") != nullptr || TRUE;
    }
    return TRUE;
}
