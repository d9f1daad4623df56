// Rewrites the version resource of an executable, so a test can give each copy of a program its
// own translation and FileVersion text.
//
//   SetVersionInfo <exe> <language hex> <code page hex> <FileVersion text>
//
// Exit code 0 on success, 1 for wrong arguments, 2 when the file could not be updated.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void AppendWord(Bytes& bytes, uint16_t word) {
    bytes.push_back(static_cast<uint8_t>(word & 0xFF));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
}

void AppendText(Bytes& bytes, const std::wstring& text) {
    for (wchar_t c : text) AppendWord(bytes, static_cast<uint16_t>(c));
    AppendWord(bytes, 0);
}

void Align(Bytes& bytes) {
    while (bytes.size() % 4) bytes.push_back(0);
}

// One block of a version resource: header, key, value, children, each aligned to 4 bytes.
Bytes Block(const std::wstring& key, uint16_t type, const Bytes& value, uint16_t valueLength,
            const std::vector<Bytes>& children = {}) {
    Bytes bytes(6, 0);
    AppendText(bytes, key);
    Align(bytes);
    bytes.insert(bytes.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Align(bytes);
        bytes.insert(bytes.end(), child.begin(), child.end());
    }
    const uint16_t length = static_cast<uint16_t>(bytes.size());
    bytes[0] = length & 0xFF;
    bytes[1] = length >> 8;
    bytes[2] = valueLength & 0xFF;
    bytes[3] = valueLength >> 8;
    bytes[4] = static_cast<uint8_t>(type);
    return bytes;
}

Bytes StringValue(const std::wstring& key, const std::wstring& text) {
    Bytes value;
    AppendText(value, text);
    return Block(key, 1, value, static_cast<uint16_t>(text.size() + 1));
}

Bytes VersionResource(uint16_t language, uint16_t codePage, const std::wstring& fileVersion) {
    unsigned parts[4] = {};
    swscanf(fileVersion.c_str(), L"%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = (parts[0] << 16) | (parts[1] & 0xFFFF);
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = (parts[2] << 16) | (parts[3] & 0xFFFF);
    fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&fixed);

    wchar_t tableKey[9];
    swprintf(tableKey, 9, L"%04x%04x", language, codePage);
    const Bytes table = Block(tableKey, 1, {}, 0,
                              {StringValue(L"FileDescription", L"TALVIX stand-in for tests"),
                               StringValue(L"FileVersion", fileVersion), StringValue(L"ProductName", L"TALVIX")});
    Bytes translation;
    AppendWord(translation, language);
    AppendWord(translation, codePage);
    return Block(L"VS_VERSION_INFO", 0, Bytes(raw, raw + sizeof fixed), sizeof fixed,
                 {Block(L"StringFileInfo", 1, {}, 0, {table}),
                  Block(L"VarFileInfo", 1, {}, 0, {Block(L"Translation", 0, translation, 4)})});
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        fwprintf(stderr, L"usage: SetVersionInfo <exe> <language hex> <code page hex> <FileVersion>\n");
        return 1;
    }
    const std::wstring exe = argv[1];

    std::vector<WORD> languages;
    if (HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        EnumResourceLanguagesW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        FreeLibrary(module);
    }

    HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
    if (!update) {
        fwprintf(stderr, L"cannot open %ls (error %lu)\n", exe.c_str(), GetLastError());
        return 2;
    }
    const uint16_t language = static_cast<uint16_t>(wcstoul(argv[2], nullptr, 16));
    const uint16_t codePage = static_cast<uint16_t>(wcstoul(argv[3], nullptr, 16));
    Bytes resource = VersionResource(language, codePage, argv[4]);
    // Replaced in place (Wine does not delete resources): readers go by the translation inside,
    // not by the resource's language.
    const WORD resourceLanguage = languages.empty() ? language : languages.front();
    const bool ok = UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), resourceLanguage,
                                    resource.data(), static_cast<DWORD>(resource.size())) != FALSE;
    if (!EndUpdateResourceW(update, !ok) || !ok) {
        fwprintf(stderr, L"cannot update %ls (error %lu)\n", exe.c_str(), GetLastError());
        return 2;
    }
    return 0;
}
