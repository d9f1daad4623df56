// Sources from the build setting, and the session of each kind.
#include "update/sources/SourceSessions.h"

#include "update/sources/FolderSession.h"
#include "update/sources/FtpSession.h"
#include "update/sources/HttpSession.h"

#include <cstdlib>

#ifndef QV_UPDATE_SOURCES
#define QV_UPDATE_SOURCES L"ftp://update.quorvel.invalid:5301"
#endif

std::vector<UpdateSource> BuildUpdateSources() {
    std::wstring text = QV_UPDATE_SOURCES;
#ifdef QV_TEST_UPDATE_SOURCES
    if (const wchar_t* test = _wgetenv(L"QV_TEST_UPDATE_SOURCES")) text = test;
#endif
    // The build writes its list separator as '|'.
    for (wchar_t& c : text) c = c == L'|' ? L';' : c;
    std::vector<UpdateSource> sources;
    ParseUpdateSources(text, sources);  // the build checked the setting; a bad one gives none
    return sources;
}

std::unique_ptr<ISourceSession> MakeSourceSession(const UpdateSource& source, const std::atomic<bool>* stop) {
    switch (source.kind) {
    case SourceKind::Ftp: return MakeFtpSession(stop);
    case SourceKind::Https: return MakeHttpSession(source, stop);
    case SourceKind::Folder: return MakeFolderSession(source, stop);
    }
    return MakeFtpSession(stop);
}

SourceConnectionSettings ConnectionOf(const UpdateSource& source) {
    if (source.kind == SourceKind::Ftp) {
        SourceConnectionSettings settings = UpdateServerSettings(source.host);
        settings.port = source.port;
        return settings;
    }
    SourceConnectionSettings settings;
    settings.host = source.host;
    settings.port = source.port;
    return settings;
}
