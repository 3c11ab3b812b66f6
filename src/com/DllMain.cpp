// DllMain and DllCanUnloadNow: the module's life as the loader and COM see it.
#include "Module.h"
#include <windows.h>
#include <ole2.h>

// S_OK when no object of the server is alive and no class-factory lock is held.
STDAPI DllCanUnloadNow() {
    if (rud::module::LiveCount() != 0) return S_FALSE;
    rud::module::ReleaseTypeLibrary();
    return S_OK;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        // At process exit (reserved non-null) oleaut32 may already be gone: the cached library
        // is abandoned with the process instead of being released into a torn-down run time.
        if (reserved) rud::module::AbandonTypeLibrary();
        else rud::module::ReleaseTypeLibrary();
    }
    return TRUE;
}
