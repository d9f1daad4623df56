// The proxy credentials the user gave this run, each kept for the proxy that asked for them and
// handed to no other: in memory only, never on disk.
#pragma once

#include <string>

// Keeps `user` and `password` for `proxy` (as the system's proxy setting names it).
void RememberProxyCredentials(const std::wstring& proxy, const std::wstring& user, const std::wstring& password);
// The credentials given for `proxy`; false when none were.
bool ProxyCredentialsFor(const std::wstring& proxy, std::wstring& user, std::wstring& password);
