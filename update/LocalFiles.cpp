// The download worker's local files and the timer resolution of a download.
#include "update/LocalFiles.h"

#include "system/PrivateFolder.h"

#include <algorithm>

#include <mmsystem.h>

void CLocalFiles::CreateFolderTree(const std::wstring& folder) {
    // Not held when it cannot be made private: then no file is created in it.
    OpenPrivateFolder(folder, m_folder);
}

bool CLocalFiles::Create(const std::wstring& path) {
    Forget(path);
    Sha256Digest discarded;
    m_digest.Finish(discarded);  // a fresh digest for the new file
    m_bWriteFailed = false;
    m_strOpenPath = path;
    // Only into the work folder as created and held: a link planted in its place is not written
    // through.
    return m_folder.IsOpen() && m_file.OpenForWriting(path);
}

bool CLocalFiles::Write(const unsigned char* data, int count) {
    const bool ok = count >= 0 && m_file.Write(data, static_cast<DWORD>(count)) &&
                    m_digest.Update(data, static_cast<size_t>(count));
    m_bWriteFailed = m_bWriteFailed || !ok;
    return ok;
}

void CLocalFiles::Close() {
    if (!m_file.IsOpen()) return;
    const bool closed = m_file.Close();
    DownloadedFile file{m_strOpenPath, {}};
    if (closed && !m_bWriteFailed && m_digest.Finish(file.digest)) m_vecWritten.push_back(std::move(file));
    m_strOpenPath.clear();
}

void CLocalFiles::Delete(const std::wstring& path) {
    Forget(path);
    CFile::Remove(path);
}

void CLocalFiles::Forget(const std::wstring& path) {
    m_vecWritten.erase(std::remove_if(m_vecWritten.begin(), m_vecWritten.end(),
                                      [&](const DownloadedFile& f) { return f.path == path; }),
                       m_vecWritten.end());
}

CTimerResolution::CTimerResolution() { m_ok = ::timeBeginPeriod(1) == TIMERR_NOERROR; }

CTimerResolution::~CTimerResolution() {
    if (m_ok) ::timeEndPeriod(1);
}
