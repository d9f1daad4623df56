// Benchmark of the signature check before the launch:
//   BenchSignature FILE RUNS
// opens FILE as the hand-off does (read, shared for reading only), then times RUNS rounds of the
// program's signature check and, for comparison, of the SHA-256 digest of the whole file. Prints
// key=value lines: check_ms and digest_ms (medians), content, chain, signer, allowed.
// Exit code 0: measured; 3: bad arguments or the file cannot be opened.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "system/Sha256.h"
#include "update/SetupSignature.h"

namespace {
double NowMs() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char* Name(SignatureContent c) {
    return c == SignatureContent::Intact ? "intact" : c == SignatureContent::Unsigned ? "unsigned" : "broken";
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 3;
    const std::wstring path = argv[1];
    const int runs = std::max(1, _wtoi(argv[2]));
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;

    const SignatureVerdict verdict = CheckSetupSignature(file, path);
    std::vector<double> check, digest;
    bool allowed = false;
    for (int i = 0; i < runs; ++i) {
        double t = NowMs();
        allowed = SetupSignatureAllowsLaunch(file, path);
        check.push_back(NowMs() - t);
        Sha256Digest d;
        t = NowMs();
        CSha256::OfFile(file, d);
        digest.push_back(NowMs() - t);
    }
    ::CloseHandle(file);
    std::printf("check_ms=%.1f\ndigest_ms=%.1f\ncontent=%s\nchain=%s\nsigner=%ls\nallowed=%d\nresult=0x%08lx\n",
                Median(check), Median(digest), Name(verdict.content),
                verdict.chain == SignatureChain::Trusted ? "trusted" : "untrusted",
                verdict.hasSigner ? ToHex(verdict.signer).c_str() : L"-", allowed ? 1 : 0,
                static_cast<unsigned long>(verdict.platformResult));
    return 0;
}
