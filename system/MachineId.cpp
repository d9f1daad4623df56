// The machine GUID, read from the registry's native view.
#include "system/MachineId.h"

#include "framework/Handle.h"
#include "system/logic/ProbePaths.h"

std::wstring ReadMachineId() {
    CRegKey key;
    const REGSAM view =
        LookupsOf(sizeof(void*) * 8, std::wstring()).machineIdView == RegistryView::Native ? KEY_WOW64_64KEY
                                                                                            : KEY_WOW64_32KEY;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_QUERY_VALUE | view,
                        key.Out()) != ERROR_SUCCESS)
        return std::wstring();
    // A GUID is 36 characters; a longer value is no machine GUID.
    wchar_t text[64] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.Get(), L"MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    std::wstring id(text, size / sizeof(wchar_t));
    while (!id.empty() && id.back() == L'\0') id.pop_back();
    return id;
}
