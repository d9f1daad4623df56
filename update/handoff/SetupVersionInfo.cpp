// The setup program's version through the platform's version resource functions.
#include "update/handoff/SetupVersionInfo.h"

#include "framework/Win32.h"

#include <vector>

std::optional<FourPartVersion> ReadSetupVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::nullopt;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
        return std::nullopt;
    if (fixed->dwProductVersionMS != 0 || fixed->dwProductVersionLS != 0)
        return FourPartVersion::FromFixed(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    return FourPartVersion::FromFixed(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}
