// A module that does nothing, for the alias tests: copied into directories with long paths and
// loaded from there, it stands for the plug-in installed in them.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
