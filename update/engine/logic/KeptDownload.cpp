// The kept download's record and the rule for going on from its bytes.
#include "update/engine/logic/KeptDownload.h"

#include "system/logic/Utf8.h"

namespace {

const char kHeader[] = "QuorvelDownloader kept 1";
const char kHex[] = "0123456789abcdef";

// Decimal digits only, no sign, no leading zero, not above INT64_MAX.
bool ParseCount(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > static_cast<uint64_t>(INT64_MAX)) return false;
    value = static_cast<int64_t>(v);
    return true;
}

// Lower-case only, as written: another spelling is not a record of ours.
bool ParseDigest(const std::string& text, std::array<uint8_t, 32>& digest) {
    if (text.size() != 64) return false;
    for (size_t i = 0; i < 64; ++i) {
        const char c = text[i];
        const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0) return false;
        digest[i / 2] = static_cast<uint8_t>(i % 2 ? (digest[i / 2] | v) : v << 4);
    }
    return true;
}

// A value holds no control character: nothing in it can pass for another line.
bool IsPlainValue(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

// The next line's value after "key "; false when the line is not that key's.
bool TakeLine(const std::string& text, size_t& pos, const std::string& key, std::string& value) {
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.compare(0, key.size() + 1, key + " ") != 0) return false;
    value = line.substr(key.size() + 1);
    return IsPlainValue(value);
}

}  // namespace

std::vector<KeptOffer> KeptOffersOf(const DownloadRequest& request) {
    std::vector<KeptOffer> offers;
    const ReleaseStatement* statement = request.release.statement.get();
    if (!statement) return offers;
    for (const RemoteEntry& item : request.items) {
        const std::wstring name = item.name;
        const ReleaseFile* file = statement->Find(name);
        if (!file || file->size != item.size || !IsSafeLocalFileName(name)) continue;
        offers.push_back(KeptOffer{statement->edition, name, LocalNameOf(name), file->size, file->sha256});
    }
    return offers;
}

std::string FormatKeptRecord(const KeptOffer& offer, int64_t since) {
    std::string digest;
    for (uint8_t b : offer.sha256) {
        digest += kHex[b >> 4];
        digest += kHex[b & 15];
    }
    return std::string(kHeader) + "\nedition " + WideToUtf8(offer.edition) + "\nname " + WideToUtf8(offer.name) +
           "\nsize " + std::to_string(offer.size) + "\nsha256 " + digest + "\nsince " + std::to_string(since) + "\n";
}

std::optional<KeptRecord> ParseKeptRecord(const uint8_t* data, size_t size) {
    if (!data || size > kMaxKeptRecordBytes) return std::nullopt;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string header = std::string(kHeader) + "\n";
    if (text.compare(0, header.size(), header) != 0) return std::nullopt;
    size_t pos = header.size();
    KeptRecord record;
    std::string sizeText, digest, since;
    if (!TakeLine(text, pos, "edition", record.edition) || !TakeLine(text, pos, "name", record.name) ||
        !TakeLine(text, pos, "size", sizeText) || !TakeLine(text, pos, "sha256", digest) ||
        !TakeLine(text, pos, "since", since) || pos != text.size())
        return std::nullopt;
    if (!ParseCount(sizeText, record.size) || !ParseDigest(digest, record.sha256) || !ParseCount(since, record.since))
        return std::nullopt;
    return record;
}

KeptVerdict JudgeKept(const std::optional<KeptRecord>& record, const KeptOffer& offer, int64_t keptBytes, int64_t now) {
    if (!record) return KeptVerdict::Discard;
    const bool same = record->edition == WideToUtf8(offer.edition) && record->name == WideToUtf8(offer.name) &&
                      record->size == offer.size && record->sha256 == offer.sha256;
    const bool fresh = record->since - now <= kKeptClockSlackSeconds && now - record->since <= kKeptMaxAgeSeconds;
    const bool fits = keptBytes >= 0 && keptBytes <= offer.size;
    return same && fresh && fits ? KeptVerdict::GoOn : KeptVerdict::Discard;
}
