// The PE headers' certificate-table entry and the soundness of the table itself.
#include "update/handoff/logic/PeCertificateTable.h"

#include <algorithm>

namespace {
uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

constexpr size_t kEntryHeaderSize = 8;  // dwLength, wRevision, wCertificateType

// The length of the DER SEQUENCE at the start of `der` (tag and length bytes included), or 0 when
// it is not one with a definite length of at most four bytes.
uint64_t DerSequenceLength(const uint8_t* der, size_t size) {
    if (size < 2 || der[0] != 0x30) return 0;
    if (der[1] < 0x80) return 2u + der[1];
    const size_t lengthBytes = der[1] & 0x7Fu;
    if (lengthBytes == 0 || lengthBytes > 4 || size < 2 + lengthBytes) return 0;
    uint64_t length = 0;
    for (size_t i = 0; i < lengthBytes; ++i) length = length << 8 | der[2 + i];
    return 2 + lengthBytes + length;
}
}  // namespace

uint32_t PeHeadersOffset(const uint8_t* dosHeader, size_t size) {
    if (size < 0x40 || dosHeader[0] != 'M' || dosHeader[1] != 'Z') return 0;
    return ReadLe32(dosHeader + 0x3C);
}

PeSignatureLocation FindPeSignature(const uint8_t* peHeaders, size_t size) {
    PeSignatureLocation none;
    // "PE\0\0", the 20-byte file header, then the optional header.
    if (size < 24 + 2 || peHeaders[0] != 'P' || peHeaders[1] != 'E' || peHeaders[2] != 0 || peHeaders[3] != 0)
        return none;
    const uint8_t* optional = peHeaders + 24;
    const size_t optionalSize = std::min<size_t>(size - 24, ReadLe16(peHeaders + 20));
    const uint16_t magic = ReadLe16(optional);
    size_t countAt, directoriesAt;
    if (magic == 0x10B) {
        countAt = 92;
        directoriesAt = 96;
    } else if (magic == 0x20B) {
        countAt = 108;
        directoriesAt = 112;
    } else {
        return none;
    }
    PeSignatureLocation found;
    found.isPe = true;
    if (optionalSize < countAt + 4 || ReadLe32(optional + countAt) <= 4) return found;
    const size_t entry = directoriesAt + 4 * 8;
    if (optionalSize < entry + 8) return found;
    found.offset = ReadLe32(optional + entry);
    found.size = ReadLe32(optional + entry + 4);
    return found;
}

bool CertificateTableIsSound(const PeSignatureLocation& location, uint64_t fileSize, const uint8_t* table,
                             size_t tableSize) {
    if (!location.isPe || !location.DeclaresSignature() || tableSize != location.size) return false;
    if (uint64_t{location.offset} + location.size != fileSize) return false;
    if (tableSize < kEntryHeaderSize) return false;
    const uint32_t entryLength = ReadLe32(table);
    const uint64_t der = DerSequenceLength(table + kEntryHeaderSize, tableSize - kEntryHeaderSize);
    if (der == 0) return false;
    const uint64_t exact = kEntryHeaderSize + der;
    const uint64_t padded = (exact + 7) / 8 * 8;
    // One entry, its declared length no shorter than the signature and padded by alignment only,
    // filling the table to its end.
    return entryLength >= exact && entryLength <= padded && (uint64_t{entryLength} + 7) / 8 * 8 == tableSize;
}
