// UTF-8 and wide strings (UTF-16 units where wchar_t is 2 bytes, code points where it is 4), both
// ways, without the platform's converters so that the rules are the same everywhere.
#pragma once

#include <string>

// Converts UTF-8 bytes to a wide string (UTF-16 units where wchar_t is 2 bytes, code points where
// it is 4). Malformed sequences become U+FFFD, as MultiByteToWideChar does without
// MB_ERR_INVALID_CHARS. The whole input is converted; a caller that mirrors the resource loader
// cuts the bytes at the first zero byte first.
std::wstring Utf8ToWide(const std::string& bytes);
// Converts a wide string to UTF-8. A surrogate pair is joined whatever the width of wchar_t; a lone
// surrogate or a value past U+10FFFF becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);
