// The run's first line in the diagnostics log: what program, on what Windows, started how.
#include "app/StartUpLog.h"

#include "framework/Win32.h"
#include "resources/Version.h"
#include "system/DiagnosticsLog.h"
#include "system/EnvironmentProbes.h"
#include "update/catalogue/UpdateCatalogue.h"
#include "update/catalogue/logic/Catalogue.h"

namespace {

// The build number of Windows, which tells Windows 11 (22000 on) from Windows 10; 0 when unknown.
DWORD WindowsBuild() {
    using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto getVersion =
        ntdll ? reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    return getVersion && getVersion(&info) == 0 ? info.dwBuildNumber : 0;
}

}  // namespace

void LogStartUp(const char* mode) {
    DWORD major = 0, minor = 0;
    const bool known = probes::GetWindowsVersion(major, minor);
    std::wstring bitness = L"unknown";
    probes::DetectWindowsBitness(bitness);
    const std::wstring fileTitle = probes::GetModuleFileTitle();
    wchar_t language[8];
    swprintf(language, 8, L"0x%04X", static_cast<unsigned>(::GetUserDefaultUILanguage()));
    LogEvent("start", {{"version", QV_VERSION_TEXT},
                       {"program", fileTitle},
                       {"edition", EditionCode(EditionSourceFromFileTitle(fileTitle))},
                       {"channel", CUpdateCatalogue::GetTestSuffix().empty() ? "release" : "test"},
                       {"windows", known ? std::to_wstring(major) + L"." + std::to_wstring(minor) : L"unknown"},
                       {"windows_build", WindowsBuild()},
                       {"bitness", bitness},
                       {"ui_language", language},
                       {"mode", mode}});
}
