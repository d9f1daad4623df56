// The minimal window program again, importing the same system DLLs as QuorvelDownloader.exe: the
// start-up benchmark's second baseline, which shows what loading those DLLs costs by itself.
#include "tests/tools/MinimalWindow.cpp"

#include <bcrypt.h>
#include <commctrl.h>
#include <lm.h>
#include <mmsystem.h>
#include <shlobj.h>
#include <wininet.h>
#include <wintrust.h>

// Referenced, never called: importing a DLL is what is being measured.
extern "C" {
const void* const volatile g_programImports[] = {
    reinterpret_cast<const void*>(&InitCommonControlsEx),
    reinterpret_cast<const void*>(&GetStockObject),
    reinterpret_cast<const void*>(&GradientFill),
    reinterpret_cast<const void*>(&NetApiBufferFree),
    reinterpret_cast<const void*>(&SHGetSpecialFolderPathW),
    reinterpret_cast<const void*>(&GetFileVersionInfoSizeW),
    reinterpret_cast<const void*>(&InternetCloseHandle),
    reinterpret_cast<const void*>(&timeGetTime),
    reinterpret_cast<const void*>(&BCryptHashData),
    reinterpret_cast<const void*>(&WinVerifyTrust),
};
}
