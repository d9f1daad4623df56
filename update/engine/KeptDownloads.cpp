// The kept downloads' folder: its records read back as hostile input, its bytes opened without
// following links, and everything else in it removed.
#include "update/engine/KeptDownloads.h"

#include <shlobj.h>

namespace {

const wchar_t kKeptFolder[] = L"\\QuorvelDownloader\\Kept";
const wchar_t kBytesSuffix[] = L".partial";
const wchar_t kRecordSuffix[] = L".record";

int64_t NowSeconds() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return UnixSecondsOf(now);
}

int64_t SizeOf(const CFile& file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file.Handle(), &size) ? size.QuadPart : -1;
}

// The record's bytes, at most one more than a record may hold; false when there is no plain file.
bool ReadRecord(const CHeldFolder& folder, const std::wstring& name, std::vector<uint8_t>& bytes) {
    CFile file;
    if (!folder.Open(name, FileOpen::Resume, file)) return false;
    bytes.resize(kMaxKeptRecordBytes + 1);
    DWORD got = 0;
    if (!::ReadFile(file.Handle(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return false;
    bytes.resize(got);
    return true;
}

bool CopyBytes(const CFile& from, CFile& to) {
    std::vector<uint8_t> block(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(from.Handle(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return false;
        if (got == 0) return true;
        if (!to.Write(block.data(), got)) return false;
    }
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

bool CKeptDownloads::Open(FolderVerdict& verdict) {
    verdict = FolderVerdict::Held;
    const std::wstring folder = KeptDownloadsFolder();
    if (folder.empty()) return false;
    // Nothing to keep and no folder yet: nothing to make or sweep.
    if (m_offers.empty() && ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    verdict = m_folder.Open(folder, FolderDemand::MadePrivate).verdict;
    if (verdict != FolderVerdict::Held) return false;
    std::vector<std::wstring> keep;
    for (const KeptOffer& offer : m_offers) {
        int64_t bytes = 0;
        if (Judge(offer, bytes) != KeptVerdict::GoOn) continue;
        keep.push_back(BytesName(offer));
        keep.push_back(RecordName(offer));
    }
    m_folder.RemoveAllBut(keep);
    return !m_offers.empty();
}

const KeptOffer* CKeptDownloads::OfferFor(const std::wstring& localPath) const {
    if (!m_folder.IsOpen()) return nullptr;
    const std::wstring name = FileNameOf(localPath);
    for (const KeptOffer& offer : m_offers)
        if (offer.localName == name) return &offer;
    return nullptr;
}

KeptVerdict CKeptDownloads::Judge(const KeptOffer& offer, int64_t& bytes) const {
    std::vector<uint8_t> text;
    std::optional<KeptRecord> record;
    if (ReadRecord(m_folder, RecordName(offer), text)) record = ParseKeptRecord(text.data(), text.size());
    CFile file;
    bytes = m_folder.Open(BytesName(offer), FileOpen::Resume, file) ? SizeOf(file) : -1;
    return JudgeKept(record, offer, bytes, NowSeconds());
}

bool CKeptDownloads::Resume(const KeptOffer& offer, CFile& file, int64_t& bytes) {
    file.Close();
    if (Judge(offer, bytes) != KeptVerdict::GoOn) {
        Discard(offer);
        return false;
    }
    // Judged with the file closed: it is judged again as held, should it have changed meanwhile.
    if (bytes <= 0 || !m_folder.Open(BytesName(offer), FileOpen::Resume, file) || SizeOf(file) != bytes) {
        file.Close();
        return false;
    }
    return true;
}

bool CKeptDownloads::Begin(const KeptOffer& offer, CFile& file) {
    const std::string record = FormatKeptRecord(offer, NowSeconds());
    CFile out;
    if (!m_folder.Create(RecordName(offer), out) || !out.Write(record.data(), static_cast<DWORD>(record.size())) ||
        !out.Close()) {
        Discard(offer);
        return false;
    }
    return m_folder.Create(BytesName(offer), file);
}

bool CKeptDownloads::Deliver(const KeptOffer& offer, const CHeldFolder& to, const std::wstring& name) {
    CFile bytes;
    bool moved = to.Remove(name) && m_folder.Open(BytesName(offer), FileOpen::Resume, bytes);
    if (moved && !bytes.MoveTo(to.Handle(), name)) {
        // Another volume: the bytes are copied into a file made anew there.
        CFile copy;
        moved = bytes.LastError() == ERROR_NOT_SAME_DEVICE && to.Create(name, copy) && CopyBytes(bytes, copy) &&
                copy.Close();
        if (!moved) to.Remove(name);
    }
    bytes.Close();
    Discard(offer);
    return moved;
}

void CKeptDownloads::Discard(const KeptOffer& offer) {
    m_folder.Remove(BytesName(offer));
    m_folder.Remove(RecordName(offer));
}

std::wstring CKeptDownloads::BytesName(const KeptOffer& offer) { return offer.localName + kBytesSuffix; }

std::wstring CKeptDownloads::RecordName(const KeptOffer& offer) { return offer.localName + kRecordSuffix; }
