// Loading the text table from the program's "TEXT" resource, and the language choice.
#include "system/LocalText.h"

#include "system/logic/TextTable.h"
#include "framework/Win32.h"
#include "resources/resource.h"

#include <vector>

int LanguageIndex = 0;
CLocalText g_localText;

void CLocalText::Load() {
    RemoveAll();
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_TEXT_TABLE), L"TEXT");
    HGLOBAL data = info ? ::LoadResource(module, info) : nullptr;
    const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    const DWORD size = info ? ::SizeofResource(module, info) : 0;
    if (!bytes || size == 0) return;

    // The text ends at the first zero byte, so the copy carries one of its own.
    std::vector<char> buffer(bytes, bytes + size);
    buffer.push_back('\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, buffer.data(), -1, nullptr, 0);
    if (length <= 0) return;
    std::wstring text(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, buffer.data(), -1, &text[0], length);
    text.resize(static_cast<size_t>(length - 1));

    for (std::wstring& entry : ParseTextTable(text, LanguageIndex)) Add(std::move(entry));
}

void ChooseLanguageFromUserInterface() { LanguageIndex = LanguageIndexFromUiLanguage(::GetUserDefaultUILanguage()); }

void ChooseLanguageFromSystemDefault() {
    LanguageIndex = LanguageIndexFromSystemPrimaryLanguage(PRIMARYLANGID(::GetSystemDefaultLangID()));
}
