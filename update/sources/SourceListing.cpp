#include "update/sources/SourceListing.h"

#include <cwchar>

#include "system/DiagnosticsLog.h"

int CollectListing(WIN32_FIND_DATAW& found, const std::function<bool(WIN32_FIND_DATAW&)>& next,
                   const std::function<bool(const WIN32_FIND_DATAW&)>& keep, std::vector<FTP_FILE_INFO>& files,
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
        FTP_FILE_INFO info;
        info.dwFileSize = ListedFileSize(found.nFileSizeHigh, found.nFileSizeLow);
        info.SetName(std::wstring(found.cFileName, wcsnlen(found.cFileName, MAX_PATH)));
        files.push_back(info);
        ++count;
    } while (next(found));
    if (count == 0) lastError = L"ERROR NO FILE!!";
    return count;
}
