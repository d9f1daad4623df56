// Fuzzes the reading of a PE file's signature: the DOS header's pointer, the certificate-table
// entry of the optional header and the soundness of the table it names, on whole file images.
// Whatever the bytes, nothing is read outside them, and a table found sound ends the file, is
// 8-byte aligned and starts with a DER SEQUENCE.
//
// Input: the file image itself.
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "update/handoff/logic/PeCertificateTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t headers = PeHeadersOffset(data, size);
    if (headers == 0 || headers >= size) return 0;
    const PeSignatureLocation at = FindPeSignature(data + headers, size - headers);
    if (!at.DeclaresSignature()) return 0;
    FUZZ_CHECK(at.isPe);
    if (at.offset > size || at.size > size - at.offset) return 0;
    if (!CertificateTableIsSound(at, size, data + at.offset, at.size)) return 0;
    FUZZ_CHECK(uint64_t{at.offset} + at.size == size);
    FUZZ_CHECK(at.size % 8 == 0 && at.size >= 8 + 2);
    FUZZ_CHECK(data[at.offset + 8] == 0x30);
    return 0;
}
