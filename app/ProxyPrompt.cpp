// CredUIPromptForCredentialsW, looked up in System32's credui.dll when first needed (no DLL beside
// the program is ever loaded), asked never to keep what the user types.
#include "app/ProxyPrompt.h"

#include <wincred.h>

#include <vector>

namespace {
using PromptFn = DWORD(WINAPI*)(PCREDUI_INFOW, PCWSTR, PCtxtHandle, DWORD, PWSTR, ULONG, PWSTR, ULONG, BOOL*, DWORD);

PromptFn PromptFunction() {
    static const PromptFn prompt = [] {
        const HMODULE credui = ::LoadLibraryExW(L"credui.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return credui ? reinterpret_cast<PromptFn>(
                            reinterpret_cast<void*>(::GetProcAddress(credui, "CredUIPromptForCredentialsW")))
                      : nullptr;
    }();
    return prompt;
}
}  // namespace

bool PromptProxyCredentials(HWND owner, const std::wstring& proxy, std::wstring& user, std::wstring& password) {
    const PromptFn prompt = PromptFunction();
    if (!prompt) return false;
    CREDUI_INFOW info{};
    info.cbSize = sizeof info;
    info.hwndParent = owner;
    const std::wstring message = L"The proxy server " + proxy + L" asks for a user name and password.";
    info.pszMessageText = message.c_str();
    info.pszCaptionText = L"Proxy server";
    std::vector<wchar_t> name(CREDUI_MAX_USERNAME_LENGTH + 1, L'\0');
    std::vector<wchar_t> secret(CREDUI_MAX_PASSWORD_LENGTH + 1, L'\0');
    BOOL save = FALSE;
    const DWORD flags = CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_DO_NOT_PERSIST | CREDUI_FLAGS_ALWAYS_SHOW_UI |
                        CREDUI_FLAGS_EXCLUDE_CERTIFICATES;
    const DWORD result = prompt(&info, proxy.c_str(), nullptr, 0, name.data(), static_cast<ULONG>(name.size()),
                                secret.data(), static_cast<ULONG>(secret.size()), &save, flags);
    if (result == NO_ERROR) {
        user = name.data();
        password = secret.data();
        // Wine's prompt puts the target's name in front of what was typed ("host\user"); the user
        // typed no such domain, and a proxy's Basic authentication would refuse it.
        const std::wstring typedAfter = proxy + L"\\";
        if (user.compare(0, typedAfter.size(), typedAfter) == 0) user.erase(0, typedAfter.size());
    }
    ::SecureZeroMemory(secret.data(), secret.size() * sizeof(wchar_t));
    return result == NO_ERROR && !user.empty();
}
