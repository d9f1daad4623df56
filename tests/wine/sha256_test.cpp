// The SHA-256 digest on the platform's provider: published vectors, a long input fed in uneven pieces,
// and the digest of a file read through its handle.
#include "system/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

const char kEmpty[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
// One million times "a" (FIPS 180-2 appendix B.3): longer than any read buffer of the file digest.
const char kMillionA[] = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

std::wstring Wide(const char* hex) { return std::wstring(hex, hex + std::char_traits<char>::length(hex)); }

std::wstring HexOf(const std::string& bytes) {
    Sha256Digest digest{};
    EXPECT_TRUE(CSha256::Of(bytes.data(), bytes.size(), digest));
    return ToHex(digest);
}

TEST(Sha256, KnownVectors) {
    EXPECT_EQ(HexOf(""), Wide(kEmpty));
    EXPECT_EQ(HexOf("abc"), Wide(kAbc));
    EXPECT_EQ(HexOf(std::string(1000000, 'a')), Wide(kMillionA));
}

TEST(Sha256, PiecesGiveTheOneShotDigestAndFinishStartsAgain) {
    const std::string input(1000000, 'a');
    CSha256 sha;
    ASSERT_TRUE(sha.IsValid());
    // Uneven pieces that straddle the 64-byte blocks, the 30720-byte download blocks and 64 KiB.
    size_t done = 0;
    for (size_t piece = 1; done < input.size(); piece = piece * 7 % 70001 + 1) {
        const size_t n = std::min(piece, input.size() - done);
        ASSERT_TRUE(sha.Update(input.data() + done, n));
        done += n;
    }
    Sha256Digest digest{};
    ASSERT_TRUE(sha.Finish(digest));
    EXPECT_EQ(ToHex(digest), Wide(kMillionA));

    ASSERT_TRUE(sha.Update("abc", 3));
    ASSERT_TRUE(sha.Finish(digest));
    EXPECT_EQ(ToHex(digest), Wide(kAbc));
}

TEST(Sha256, OfFileReadsTheWholeFileFromItsFirstByte) {
    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(::GetTempFileNameW(folder, L"sha", 0, path), 0u);
    HANDLE file = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::unique_ptr<void, decltype(&::CloseHandle)> closer(file, &::CloseHandle);
    const std::string content(1000000, 'a');
    DWORD written = 0;
    // Written in two parts; the handle's position is then at the end, as after a download.
    EXPECT_TRUE(::WriteFile(file, content.data(), 300000, &written, nullptr));
    EXPECT_TRUE(::WriteFile(file, content.data() + 300000, 700000, &written, nullptr));

    Sha256Digest digest{};
    EXPECT_TRUE(CSha256::OfFile(file, digest));
    EXPECT_EQ(ToHex(digest), Wide(kMillionA));

    // An empty file has the empty digest.
    LARGE_INTEGER zero{};
    ASSERT_TRUE(::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file));
    EXPECT_TRUE(CSha256::OfFile(file, digest));
    EXPECT_EQ(ToHex(digest), Wide(kEmpty));
}

}  // namespace
