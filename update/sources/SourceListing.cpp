#include "update/sources/SourceListing.h"

#include <cwchar>

#include "system/DiagnosticsLog.h"

int CollectListing(WIN32_FIND_DATAW& found, const std::function<bool(WIN32_FIND_DATAW&)>& next,
                   const std::function<bool(const WIN32_FIND_DATAW&)>& keep, std::vector<RemoteEntry>& files,
                   const char* event, const std::wstring& search, std::wstring& lastError) {
    int count = 0;
    do {
        if (!keep(found)) continue;
        if (count == kMaxListedEntries) {
            LogEvent(event, {{"search", search}, {"reason", "too-many-entries"}});
            files.erase(files.end() - count, files.end());
            lastError = L"LISTING TOO LARGE";
            return kSessionError;
        }
        RemoteEntry info;
        info.size = ListedFileSize(found.nFileSizeHigh, found.nFileSizeLow);
        // A name that fills the whole field is cut to the 259 characters a path may hold.
        info.name.assign(found.cFileName, wcsnlen(found.cFileName, MAX_PATH - 1));
        files.push_back(info);
        ++count;
    } while (next(found));
    if (count == 0) lastError = L"ERROR NO FILE!!";
    return count;
}
