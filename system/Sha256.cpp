// SHA-256 through CNG (BCrypt*).
#include "system/Sha256.h"

#include <bcrypt.h>

#include <vector>

CSha256::CSha256() { Open(); }

CSha256::~CSha256() { Release(); }

void CSha256::Open() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return;
    m_hAlgorithm = algorithm;
    BCRYPT_HASH_HANDLE hash = nullptr;
    // With no object buffer given, the provider allocates and frees the hash object itself.
    if (BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) m_hHash = hash;
}

void CSha256::Release() {
    if (m_hHash) ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_hHash));
    if (m_hAlgorithm) ::BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(m_hAlgorithm), 0);
    m_hHash = nullptr;
    m_hAlgorithm = nullptr;
}

bool CSha256::Update(const void* data, size_t size) {
    const auto* bytes = static_cast<const UCHAR*>(data);
    while (IsValid() && size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(
                ::BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_hHash), const_cast<UCHAR*>(bytes), piece, 0))) {
            Release();
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return IsValid();
}

bool CSha256::Finish(Sha256Digest& digest) {
    const bool ok = IsValid() && BCRYPT_SUCCESS(::BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_hHash),
                                                                   digest.data(), digest.size(), 0));
    Release();
    if (ok) Open();
    return ok;
}

bool CSha256::Of(const void* data, size_t size, Sha256Digest& digest) {
    CSha256 sha;
    return sha.Update(data, size) && sha.Finish(digest);
}

bool CSha256::OfFile(HANDLE file, Sha256Digest& digest) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    CSha256 sha;
    std::vector<BYTE> buffer(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) break;
        if (!sha.Update(buffer.data(), got)) return false;
    }
    return sha.Finish(digest);
}

std::wstring ToHex(const Sha256Digest& digest) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(digest.size() * 2);
    for (uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}
