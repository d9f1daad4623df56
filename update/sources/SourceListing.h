// The listing of a source's folder, read the same way for every kind that lists (the FTP server, a
// local folder): plain entries only, at most kMaxListedEntries of them.
#pragma once

#include "framework/Win32.h"

#include <functional>
#include <string>
#include <vector>

#include "update/sources/logic/SourceSession.h"

// Reads a search from its first entry `found` on, through `next` (false: no more), appending the
// entries `keep` accepts to `files`. The number appended (0: none, with "ERROR NO FILE!!" in
// `lastError`), or kSessionError when the folder holds more than can be used: then nothing is appended
// and `event` is logged with `search`.
int CollectListing(WIN32_FIND_DATAW& found, const std::function<bool(WIN32_FIND_DATAW&)>& next,
                   const std::function<bool(const WIN32_FIND_DATAW&)>& keep, std::vector<RemoteEntry>& files,
                   const char* event, const std::wstring& search, std::wstring& lastError);
