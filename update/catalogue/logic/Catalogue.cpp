// Server folder, offered row and safe-name rules of the update catalogue.
#include "update/catalogue/logic/Catalogue.h"

#include "update/release/logic/ReleaseRules.h"

#include <algorithm>

namespace {

struct CodeEntry {
    const wchar_t* code;
    const wchar_t* edition;
    const wchar_t* channel;
};

constexpr CodeEntry kCodes[] = {
    {L"KSC", L"KESTRA", L"Center"},  {L"KSF", L"KESTRA", L"Factory"}, {L"LUC", L"LUMOR", L"Center"},
    {L"LUF", L"LUMOR", L"Factory"},  {L"PVC", L"PARVEN", L"Center"},  {L"PVF", L"PARVEN", L"Factory"},
    {L"SOC", L"SOLIA", L"Center"},   {L"SOF", L"SOLIA", L"Factory"},  {L"TRC", L"TREVON", L"Center"},
    {L"TRF", L"TREVON", L"Factory"}, {L"ULC", L"ULMARIS", L"Center"}, {L"ULF", L"ULMARIS", L"Factory"},
    {L"VDC", L"VEDRIX", L"Center"},  {L"VDF", L"VEDRIX", L"Factory"}, {L"MBI", L"MBI", L"Center"},
    {L"MBF", L"MBI", L"Factory"},    {L"BMS", L"BMS", L"BMS"},
};

const wchar_t kSoftware[] = L"Software";

const CodeEntry* FindCode(const std::wstring& editionSource) {
    const std::wstring code = EditionCode(editionSource);
    for (const CodeEntry& entry : kCodes) {
        if (code == entry.code) return &entry;
    }
    return nullptr;
}

wchar_t UpperChar(wchar_t c) {
    const unsigned long u = static_cast<unsigned long>(c);
    if (u >= 'a' && u <= 'z') return static_cast<wchar_t>(u - 0x20);
    if (u < 0x80) return c;
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<wchar_t>(u - 0x20);
    if (u == 0xFF) return static_cast<wchar_t>(0x178);
    if (u == 0x131) return L'I';
    if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) {
        return static_cast<wchar_t>((u & 1) ? u - 1 : u);
    }
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) {
        return static_cast<wchar_t>((u & 1) ? u : u - 1);
    }
    if (u == 0x3C2) return static_cast<wchar_t>(0x3A3);
    if ((u >= 0x3B1 && u <= 0x3CB)) return static_cast<wchar_t>(u - 0x20);
    if (u >= 0x430 && u <= 0x44F) return static_cast<wchar_t>(u - 0x20);
    if (u >= 0x450 && u <= 0x45F) return static_cast<wchar_t>(u - 0x50);
    if (u >= 0xFF41 && u <= 0xFF5A) return static_cast<wchar_t>(u - 0x20);
    return c;
}

bool IsReservedDeviceName(const std::wstring& name) {
    // Windows maps these names to devices whatever extension follows and ignores trailing spaces
    // before it, so the base name is compared up to the first "." without those spaces.
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    base = ToUpperPath(base);
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (base == device) return true;
    }
    if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
        const wchar_t digit = base[3];
        // Windows also reserves the superscript digits 1 to 3.
        return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

}  // namespace

SourceConnectionSettings UpdateServerSettings(const std::wstring& host) {
    return SourceConnectionSettings{host, kUpdateUser, kUpdatePassword, kUpdatePort};
}

std::wstring ToUpperPath(const std::wstring& text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) c = UpperChar(c);
    return upper;
}

std::wstring EditionSourceFromFileTitle(const std::wstring& fileTitle) {
    static const std::wstring kProgramName = L"QuorvelDownloader";
    std::wstring out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = fileTitle.find(kProgramName, pos);
        if (hit == std::wstring::npos) break;
        out.append(fileTitle, pos, hit - pos);
        pos = hit + kProgramName.size();
    }
    out.append(fileTitle, pos, std::wstring::npos);
    return out;
}

std::wstring EditionCode(const std::wstring& editionSource) {
    return ToUpperPath(editionSource.substr(0, editionSource.find(L'.')));
}

std::wstring EditionFolderOf(const std::wstring& editionSource) {
    const CodeEntry* entry = FindCode(editionSource);
    return entry ? entry->edition : L"";
}

std::wstring ChannelFolderOf(const std::wstring& editionSource) {
    const CodeEntry* entry = FindCode(editionSource);
    return entry ? entry->channel : L"";
}

std::wstring OemFolderOf(const std::wstring& editionSource) {
    return EditionCode(editionSource).empty() ? L"" : L"OEM";
}

std::wstring TestSuffix(bool testMarkerPresent) { return testMarkerPresent ? L"Test" : L""; }

std::wstring ListingServerFolder(const std::wstring& editionSource, bool testMarkerPresent) {
    const std::wstring oem = OemFolderOf(editionSource);
    const std::wstring tail = kSoftware + TestSuffix(testMarkerPresent);
    if (oem.empty()) return L"\\" + tail;
    return L"\\" + oem + L"\\" + EditionFolderOf(editionSource) + L"\\" + ChannelFolderOf(editionSource) + L"\\" + tail;
}

std::wstring DownloadServerFolder(const std::wstring& editionSource, bool testMarkerPresent) {
    // The download form is the listing form without its leading backslash, plus a trailing one.
    return ListingServerFolder(editionSource, testMarkerPresent).substr(1) + L"\\";
}

std::wstring OfferedRowTitle(const std::wstring& editionSource) {
    const std::wstring edition = EditionFolderOf(editionSource);
    if (edition.empty()) return L"Talvix-Main";
    return edition + L"-" + ChannelFolderOf(editionSource);
}

std::wstring VersionTextOf(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot < 6) return name.substr(0, 6);
    return name.substr(dot - 6, 6);
}

std::wstring OfferedExtensionOf(const std::wstring& name) {
    const size_t underscore = name.rfind(L'_');
    const std::wstring field = underscore == std::wstring::npos ? name : name.substr(underscore + 1);
    const size_t dot = field.rfind(L'.');
    if (dot == std::wstring::npos) return field.substr(0, 3);
    return field.substr(dot + 1, 3);
}

bool IsSafeLocalFileName(const std::wstring& name) {
    if (name.empty() || name.size() > 255) return false;
    if (name == L"." || name == L"..") return false;
    for (wchar_t c : name) {
        if (static_cast<unsigned long>(c) < 0x20) return false;
        switch (c) {
        case L'<':
        case L'>':
        case L':':
        case L'"':
        case L'/':
        case L'\\':
        case L'|':
        case L'?':
        case L'*': return false;
        default: break;
        }
    }
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsReservedDeviceName(name);
}

static bool EndsWith(const std::wstring& text, const wchar_t* tail) {
    const size_t n = std::char_traits<wchar_t>::length(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// A name that passes the extension rule but does not end in ".exe" (such as "a_exec" or
// "X_250101.exeX") could be downloaded but never launched, and the run would end as if it had
// installed: such a name is no setup program.
bool IsSetupProgramName(const std::wstring& listedName) {
    return OfferedExtensionOf(listedName) == L"exe" && EndsWith(listedName, L".exe");
}

bool IsSavedSetupProgram(const std::wstring& savedPath) { return EndsWith(savedPath, L".EXE"); }

// Windows opens and launches paths of at most 259 characters. Saved in the work folder (the doubled
// separator before the name collapses), a longer name could be downloaded on some systems but
// never launched, so it is not offered either.
static bool FitsWorkFolder(const std::wstring& name) {
    return std::char_traits<wchar_t>::length(kWorkFolder) + name.size() <= kMaxPathLength;
}

NotOffered WhyNotOffered(const std::wstring& name) {
    if (!IsSafeLocalFileName(name)) return NotOffered::UnsafeName;
    if (!IsSetupProgramName(name)) return NotOffered::NotASetupProgram;
    if (!FitsWorkFolder(name)) return NotOffered::PathTooLong;
    return NotOffered::Offerable;
}

NotOffered WhyNotOffered(const RemoteEntry& file, const ReleaseStatement* release) {
    const std::wstring name = file.name;
    const NotOffered why = WhyNotOffered(name);
    if (why != NotOffered::Offerable || !release) return why;
    switch (JudgeListedFile(*release, name, file.size)) {
    case ReleaseListing::Named: return NotOffered::Offerable;
    case ReleaseListing::NotNamed: return NotOffered::NotInRelease;
    case ReleaseListing::SizeDiffers: return NotOffered::SizeDiffers;
    }
    return NotOffered::NotInRelease;
}

OfferedFile FindOfferedFile(const std::vector<RemoteEntry>& files, const ReleaseStatement* release) {
    int chosen = -1;
    const ReleaseFile* chosenEntry = nullptr;
    for (size_t i = 0; i < files.size(); ++i) {
        if (WhyNotOffered(files[i], release) != NotOffered::Offerable) continue;
        // Without a statement the server's order decides; with one, the newest version it names.
        const ReleaseFile* entry = release ? release->Find(files[i].name) : nullptr;
        if (chosen < 0 || (entry && chosenEntry && chosenEntry->version < entry->version)) {
            chosen = static_cast<int>(i);
            chosenEntry = entry;
        }
        if (!release) break;
    }
    if (chosen < 0) return OfferedFile{};
    const std::wstring name = files[static_cast<size_t>(chosen)].name;
    return OfferedFile{chosen, chosenEntry ? FormatFourPartVersionW(chosenEntry->version) : VersionTextOf(name)};
}

ReleaseOffer JudgeReleaseOffer(const std::vector<RemoteEntry>& files, const ReleaseStatement& release,
                               const std::optional<FourPartVersion>& installed) {
    ReleaseOffer offer;
    for (const ReleaseFile& file : release.files) {
        if (WhyNotOffered(file.name) != NotOffered::Offerable) continue;
        if (!offer.newest || offer.newest->version < file.version) offer.newest = &file;
    }
    if (!offer.newest || (installed && !(*installed < offer.newest->version))) return offer;
    const OfferedFile offered = FindOfferedFile(files, &release);
    const ReleaseFile* chosen =
        offered.index < 0 ? nullptr : release.Find(files[static_cast<size_t>(offered.index)].name);
    if (chosen && chosen->version == offer.newest->version) {
        offer.held = ReleaseHeld::Offered;
        return offer;
    }
    const bool listed = std::any_of(files.begin(), files.end(),
                                    [&](const RemoteEntry& file) { return file.name == offer.newest->name; });
    offer.held = listed ? ReleaseHeld::SizeDiffers : ReleaseHeld::NotListed;
    return offer;
}

const char* ReleaseHeldName(ReleaseHeld held) {
    switch (held) {
    case ReleaseHeld::Offered: return "offered";
    case ReleaseHeld::NotNeeded: return "not-needed";
    case ReleaseHeld::NotListed: return "not-listed";
    case ReleaseHeld::SizeDiffers: return "size-differs";
    }
    return "unknown";
}
