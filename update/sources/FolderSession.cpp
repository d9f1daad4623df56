#include "update/sources/FolderSession.h"

#include <cwchar>
#include <utility>

#include "system/DiagnosticsLog.h"
#include "update/sources/SourceListing.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/FtpPaths.h"

namespace {

constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

// The listing's search handle, closed with the scope.
class CFindHandle {
public:
    explicit CFindHandle(HANDLE find) : m_hFind(find) {}
    ~CFindHandle() {
        if (IsOpen()) ::FindClose(m_hFind);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    bool IsOpen() const { return m_hFind != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_hFind; }

private:
    HANDLE m_hFind;
};

std::wstring LastComponent(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace

CFolderSession::CFolderSession(UpdateSource source, const std::atomic<bool>* stop)
    : m_source(std::move(source)), m_pStop(stop) {}

std::wstring CFolderSession::PathOf(const std::wstring& name) const {
    std::wstring path = m_source.basePath;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + name;
}

ConnectResult CFolderSession::Connect(const SourceConnectionSettings&) {
    Disconnect();
    m_failure = SourceFailure::None;
    if (m_source.basePath.empty() || !m_folder.OpenFolder(m_source.basePath)) {
        const DWORD error = m_source.basePath.empty() ? ERROR_PATH_NOT_FOUND : m_folder.LastError();
        LogPlatformError("folder.open-failed", error, {{"folder", m_source.basePath}});
        m_strLastError = FormatSessionError(L"FOLDER OPEN ERROR!!", error);
        m_failure = SourceFailure::Unreachable;
        return ConnectResult::Unreachable;
    }
    return ConnectResult::Connected;
}

int CFolderSession::ListFiles(const std::wstring&, std::vector<RemoteEntry>& files, const std::wstring& extension) {
    if (!m_folder.IsOpen()) {
        m_strLastError = FormatSessionError(L"FILE FIND ERROR!!!!", ERROR_INVALID_HANDLE);
        return kSessionError;
    }
    const std::wstring search = PathOf(BuildFtpSearchPath(L"", extension));
    WIN32_FIND_DATAW found = {};
    CFindHandle find(::FindFirstFileW(search.c_str(), &found));
    if (!find.IsOpen()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
            m_strLastError = L"ERROR NO FILE!!";
            return kSessionFailed;
        }
        LogPlatformError("folder.list-failed", error, {{"search", search}});
        m_strLastError = FormatSessionError(L"FILE FIND ERROR!!!!", error);
        return kSessionError;
    }

    return CollectListing(
        found, [&find](WIN32_FIND_DATAW& next) { return ::FindNextFileW(find.Get(), &next) != FALSE; },
        [](const WIN32_FIND_DATAW& entry) { return (entry.dwFileAttributes & kNotPlain) == 0; }, files,
        "folder.list-unusable", search, m_strLastError);
}

SourceOpen CFolderSession::OpenEntry(const std::wstring& path, CFile& file) {
    const SourceOpen outcome = OpenPlainEntry(path, file);
    m_failure = outcome == SourceOpen::Done      ? SourceFailure::None
                : outcome == SourceOpen::Refused ? SourceFailure::Refused
                                                 : SourceFailure::Unreachable;
    return outcome;
}

SourceOpen CFolderSession::OpenPlainEntry(const std::wstring& path, CFile& file) {
    const std::wstring name = LastComponent(path);
    if (!IsSafeLocalFileName(name)) {
        LogEvent("folder.unsafe-name", {{"name", name}});
        m_strLastError = L"UNSAFE FILE NAME";
        return SourceOpen::Refused;
    }
    if (!m_folder.IsOpen()) return SourceOpen::LineFault;
    const std::wstring local = PathOf(name);
    if (!file.OpenForReading(local)) {
        const DWORD error = file.LastError();
        LogPlatformError("folder.open-file-failed", error, {{"file", local}});
        m_strLastError = FormatSessionError(L"FILE OPEN ERROR!!", error);
        // A folder opened as a file fails with "access denied": it is refused like a missing file.
        const DWORD attributes = ::GetFileAttributesW(local.c_str());
        const bool notPlain = attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNotPlain);
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return missing || notPlain ? SourceOpen::Refused : SourceOpen::LineFault;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Handle(), &info)) {
        m_strLastError = FormatSessionError(L"FILE OPEN ERROR!!", ::GetLastError());
        file.Close();
        return SourceOpen::LineFault;
    }
    // The path is asked too: some systems open what a link points to even when told not to.
    if ((info.dwFileAttributes & kNotPlain) || CFile::IsLink(local)) {
        LogEvent("folder.not-a-plain-file", {{"file", local}});
        m_strLastError = FormatSessionError(L"FILE OPEN ERROR!!", ERROR_CANT_ACCESS_FILE);
        file.Close();
        return SourceOpen::Refused;
    }
    return SourceOpen::Done;
}

int64_t CFolderSession::RemoteFileSize(const std::wstring& path) {
    CFile file;
    if (OpenEntry(path, file) != SourceOpen::Done) return -1;
    LARGE_INTEGER size = {};
    return ::GetFileSizeEx(file.Handle(), &size) ? size.QuadPart : -1;
}

SourceOpen CFolderSession::RestartAt(int64_t offset) {
    return m_offset.Set(offset) ? SourceOpen::Done : SourceOpen::Refused;
}

SourceOpen CFolderSession::OpenFile(const std::wstring& path) {
    const int64_t offset = m_offset.Take();
    m_file.Close();
    const SourceOpen opened = OpenEntry(path, m_file);
    if (opened != SourceOpen::Done) return opened;
    LARGE_INTEGER at = {};
    at.QuadPart = offset;
    if (offset > 0 && !::SetFilePointerEx(m_file.Handle(), at, nullptr, FILE_BEGIN)) {
        m_strLastError = FormatSessionError(L"FILE SEEK ERROR!!", ::GetLastError());
        m_failure = SourceFailure::Unreachable;
        m_file.Close();
        return SourceOpen::LineFault;
    }
    return SourceOpen::Done;
}

// A plain ReadFile with no reader thread: `timeoutMs` is not applied, so a share that stops
// answering holds the worker until the system gives up on it. A local source is worth that. The
// session's deadline is kept between reads.
SourceRead CFolderSession::Read(void* buffer, int count, int& got, uint32_t) {
    got = 0;
    if (!m_file.IsOpen() || count < 0) return SourceRead::Failed;
    if (m_pStop && m_pStop->load()) return SourceRead::Stopped;
    if (m_deadlineTick != 0 && ::GetTickCount64() >= m_deadlineTick) {
        m_strLastError = FormatSessionError(L"FILE READ ERROR!!", ERROR_TIMEOUT);
        m_failure = SourceFailure::Unreachable;
        return SourceRead::TimedOut;
    }
    DWORD read = 0;
    if (!::ReadFile(m_file.Handle(), buffer, static_cast<DWORD>(count), &read, nullptr)) {
        const DWORD error = ::GetLastError();
        LogPlatformError("folder.read-failed", error);
        m_strLastError = FormatSessionError(L"FILE READ ERROR!!", error);
        m_failure = SourceFailure::Unreachable;
        return SourceRead::Failed;
    }
    got = static_cast<int>(read);
    return SourceRead::Data;
}

int CFolderSession::CloseFile() {
    if (!m_file.IsOpen()) return kSessionSuccess;
    if (!m_file.Close()) {
        m_strLastError = FormatSessionError(L"FILE CLOSE ERROR!!", ::GetLastError());
        return kSessionFailed;
    }
    return kSessionSuccess;
}

void CFolderSession::Disconnect() {
    m_file.Close();
    m_folder.Close();
    m_offset.Take();
}

std::unique_ptr<ISourceSession> MakeFolderSession(const UpdateSource& source, const std::atomic<bool>* stop) {
    return std::make_unique<CFolderSession>(source, stop);
}
