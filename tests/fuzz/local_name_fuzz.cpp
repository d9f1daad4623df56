// Fuzzes the rules that decide whether a listed name may be written into the work folder and what
// it is called there: a safe name must stay one file directly inside the work folder.
//
// Input: length-prefixed names until the input ends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/engine/logic/DownloadLogic.h"

namespace {

// What Windows would make of the name as one path component: not empty, no separator, no drive
// or stream colon, not a "." or ".." step, no trailing dot or space (which Windows strips, so
// that "..." would turn into a parent step).
bool IsSingleComponent(const std::wstring& name) {
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) return false;
    if (name == L"." || name == L"..") return false;
    return name.back() != L'.' && name.back() != L' ';
}

// Whether Windows would open a device for the name: a device name, whatever follows its first
// "." and whatever spaces stand before that ".", in any letter case (dotless i included).
bool NamesDevice(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    base.erase(base.find_last_not_of(L' ') + 1);
    for (wchar_t& c : base) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if (c == L'\x131') c = L'I';
    }
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (base == device) return true;
    }
    const bool port = base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0);
    return port && std::wstring(L"123456789\xB9\xB2\xB3").find(base[3]) != std::wstring::npos;
}

void CheckName(const std::wstring& name) {
    const bool safe = IsSafeLocalFileName(name);
    const std::wstring local = LocalNameOf(name);
    FUZZ_CHECK(local.size() == name.size());
    FUZZ_CHECK(ToUpperPath(local) == local);
    // The hand-off finds a setup program by its saved name: the two forms of the one rule agree.
    if (IsSetupProgramName(name)) FUZZ_CHECK(IsSavedSetupProgram(local));
    if (!safe) return;

    FUZZ_CHECK(name.size() <= 255);
    FUZZ_CHECK(IsSingleComponent(name));
    FUZZ_CHECK(!NamesDevice(name));
    FUZZ_CHECK(IsSingleComponent(local));
    // Upper case and the ".CIF" swap keep a safe name safe.
    FUZZ_CHECK(IsSafeLocalFileName(local));
    for (wchar_t c : local) FUZZ_CHECK(static_cast<uint32_t>(c) >= 0x20);

    const std::wstring folder = kWorkFolder;
    const std::wstring path = folder + L"\\" + local;
    FUZZ_CHECK(path.compare(0, folder.size(), folder) == 0);
    FUZZ_CHECK(path.find_last_of(L"\\/") == folder.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    do {
        CheckName(in.Wide());
    } while (!in.Empty());
    return 0;
}
