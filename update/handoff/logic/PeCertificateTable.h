// Where a PE file keeps its Authenticode signature (the certificate table, data directory 4) and
// whether that table holds nothing the signature does not cover. Pure: no Win32 types.
#pragma once

#include <cstddef>
#include <cstdint>

// The certificate table as the PE headers declare it.
struct PeSignatureLocation {
    bool isPe = false;
    uint32_t offset = 0;  // file offset of the table; 0 with size 0 when the file declares none
    uint32_t size = 0;
    bool DeclaresSignature() const { return offset != 0 || size != 0; }
};

// The offset of the PE headers named by the DOS header (its first 64 bytes); 0 when the bytes do
// not begin with "MZ".
uint32_t PeHeadersOffset(const uint8_t* dosHeader, size_t size);
// Reads the certificate-table entry from the bytes found at the PE headers' offset.
PeSignatureLocation FindPeSignature(const uint8_t* peHeaders, size_t size);

// The largest certificate table read to check it; a real signature is a few kilobytes.
constexpr uint32_t kMaxCertificateTableSize = 1u << 20;

// The signature's digest leaves out the certificate table, so bytes hidden there would change the
// file without changing its signature. A sound table ends at the end of the file and is one entry
// (WIN_CERTIFICATE: length, revision, type, then the DER signature) whose length is the DER
// signature's own plus the header, padded to 8 bytes at most. `table` holds the table's bytes.
bool CertificateTableIsSound(const PeSignatureLocation& location, uint64_t fileSize, const uint8_t* table,
                             size_t tableSize);
