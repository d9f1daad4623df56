// The platform's standard prompt for a proxy's user name and password, shown over the window.
#pragma once

#include "framework/Win32.h"

#include <string>

// Asks for the credentials of the proxy `proxy` ("host:port"), which the prompt names; nothing is
// stored on disk. False when the user cancelled or the prompt is not available.
bool PromptProxyCredentials(HWND owner, const std::wstring& proxy, std::wstring& user, std::wstring& password);
