// SHA-256 through the platform's CNG provider: a running digest fed piece by piece.
#pragma once

#include "framework/Win32.h"

#include <array>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // False once the provider has failed; the digest is then never valid.
    bool IsValid() const { return m_hHash != nullptr; }
    bool Update(const void* data, size_t size);
    // The digest of everything fed so far; the object starts again empty. False on failure.
    bool Finish(Sha256Digest& digest);

    // The digest of one block of bytes.
    static bool Of(const void* data, size_t size, Sha256Digest& digest);
    // The digest of an open file's whole content, read from its first byte through the handle.
    static bool OfFile(HANDLE file, Sha256Digest& digest);

private:
    void Open();
    void Release();
    void* m_hAlgorithm = nullptr;  // BCRYPT_ALG_HANDLE
    void* m_hHash = nullptr;       // BCRYPT_HASH_HANDLE
};

// Lower-case hexadecimal, 64 characters.
std::wstring ToHex(const Sha256Digest& digest);
