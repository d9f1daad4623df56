// The kept downloads' folder: its records read back as hostile input, its bytes opened without
// following links, and everything else in it removed.
#include "update/engine/KeptDownloads.h"

#include "system/PrivateFolder.h"

#include <shlobj.h>

namespace {

const wchar_t kKeptFolder[] = L"\\QuorvelDownloader\\Kept\\";
const wchar_t kBytesSuffix[] = L".partial";
const wchar_t kRecordSuffix[] = L".record";

int64_t NowSeconds() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const int64_t ticks = static_cast<int64_t>(ULARGE_INTEGER{{now.dwLowDateTime, now.dwHighDateTime}}.QuadPart);
    return ticks / 10000000 - 11644473600LL;  // 100 ns since 1601 to seconds since 1970
}

int64_t SizeOf(const CFile& file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file.Handle(), &size) ? size.QuadPart : -1;
}

// The record's bytes, at most one more than a record may hold; false when there is no plain file.
bool ReadRecord(const std::wstring& path, std::vector<uint8_t>& bytes) {
    CFile file;
    if (!file.OpenForResuming(path)) return false;
    bytes.resize(kMaxKeptRecordBytes + 1);
    DWORD got = 0;
    if (!::ReadFile(file.Handle(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return false;
    bytes.resize(got);
    return true;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::wstring KeptDownloadsFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) || !folder[0])
        return std::wstring();
    return folder + std::wstring(kKeptFolder);
}

bool CKeptDownloads::Open() {
    const std::wstring folder = KeptDownloadsFolder();
    if (folder.empty()) return false;
    // Nothing to keep and no folder yet: nothing to make or sweep.
    if (m_offers.empty() && ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    if (!OpenPrivateFolder(folder, m_folder)) return false;
    m_strFolder = folder;
    std::vector<std::wstring> keep;
    for (const KeptOffer& offer : m_offers) {
        int64_t bytes = 0;
        if (Judge(offer, bytes) != KeptVerdict::GoOn) continue;
        keep.push_back(BytesPath(offer));
        keep.push_back(RecordPath(offer));
    }
    RemoveAllBut(m_strFolder, keep);
    return !m_offers.empty();
}

const KeptOffer* CKeptDownloads::OfferFor(const std::wstring& localPath) const {
    if (m_strFolder.empty()) return nullptr;
    const std::wstring name = FileNameOf(localPath);
    for (const KeptOffer& offer : m_offers)
        if (offer.localName == name) return &offer;
    return nullptr;
}

KeptVerdict CKeptDownloads::Judge(const KeptOffer& offer, int64_t& bytes) const {
    std::vector<uint8_t> text;
    std::optional<KeptRecord> record;
    if (ReadRecord(RecordPath(offer), text)) record = ParseKeptRecord(text.data(), text.size());
    CFile file;
    bytes = file.OpenForResuming(BytesPath(offer)) ? SizeOf(file) : -1;
    return JudgeKept(record, offer, bytes, NowSeconds());
}

bool CKeptDownloads::Resume(const KeptOffer& offer, CFile& file, int64_t& bytes) {
    file.Close();
    if (Judge(offer, bytes) != KeptVerdict::GoOn) {
        Discard(offer);
        return false;
    }
    // Judged with the file closed: it is judged again as held, should it have changed meanwhile.
    if (bytes <= 0 || !file.OpenForResuming(BytesPath(offer)) || SizeOf(file) != bytes) {
        file.Close();
        return false;
    }
    return true;
}

bool CKeptDownloads::Begin(const KeptOffer& offer, CFile& file) {
    const std::string record = FormatKeptRecord(offer, NowSeconds());
    CFile out;
    if (!out.OpenForWriting(RecordPath(offer)) || !out.Write(record.data(), static_cast<DWORD>(record.size())) ||
        !out.Close()) {
        Discard(offer);
        return false;
    }
    return file.OpenForWriting(BytesPath(offer));
}

bool CKeptDownloads::Deliver(const KeptOffer& offer, const std::wstring& path) {
    const bool moved =
        ::MoveFileExW(BytesPath(offer).c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != FALSE;
    Discard(offer);
    return moved;
}

void CKeptDownloads::Discard(const KeptOffer& offer) {
    CFile::Remove(BytesPath(offer));
    CFile::Remove(RecordPath(offer));
}

std::wstring CKeptDownloads::BytesPath(const KeptOffer& offer) const {
    return m_strFolder + offer.localName + kBytesSuffix;
}

std::wstring CKeptDownloads::RecordPath(const KeptOffer& offer) const {
    return m_strFolder + offer.localName + kRecordSuffix;
}
