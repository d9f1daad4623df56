// Reading a small remote file (the release statement and its signature) whole into memory over any
// session. Pure: no Win32 types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/sources/logic/SourceSession.h"

// Opens, reads and closes `path`; false, with `bytes` empty, when it cannot be opened or read, gives
// more than `limit` bytes, or stalls longer than `timeoutMs` between blocks.
bool ReadSmallFile(ISourceSession& session, const std::wstring& path, size_t limit, std::vector<uint8_t>& bytes,
                   uint32_t timeoutMs);
