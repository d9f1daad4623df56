// The accepted statement serials in the user's part of the registry.
#include "update/release/ReleaseSerials.h"

#include "framework/Handle.h"
#include "update/release/logic/ReleaseRules.h"

uint64_t HighestAcceptedSerial(const CertFingerprint& publisher, const std::wstring& edition) {
    uint64_t serial = 0;
    DWORD size = sizeof serial;
    if (::RegGetValueW(HKEY_CURRENT_USER, SerialKeyOf(publisher).c_str(), edition.c_str(), RRF_RT_REG_QWORD, nullptr,
                       &serial, &size) != ERROR_SUCCESS)
        return 0;
    return serial;
}

bool RecordAcceptedSerial(const CertFingerprint& publisher, const std::wstring& edition, uint64_t serial) {
    if (serial <= HighestAcceptedSerial(publisher, edition)) return true;
    CRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, SerialKeyOf(publisher).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.Get(), edition.c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&serial),
                            sizeof serial) == ERROR_SUCCESS;
}
