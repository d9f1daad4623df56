// Benchmark of the setup program's check before the hand-off:
//   BenchSignature FILE RUNS
// times RUNS rounds of the check as the download worker runs it on FILE (held; digest and signature
// side by side) and, for comparison, of each of its two passes alone on the open file: the
// signature check and the SHA-256 digest. Prints key=value lines: held_ms, check_ms and digest_ms
// (medians), verdict, content, chain, signer, allowed.
// Exit code 0: measured; 3: bad arguments or the file cannot be opened.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "system/Sha256.h"
#include "update/handoff/HeldSetup.h"
#include "update/handoff/SetupSignature.h"

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

const char* Name(SetupVerdict v) {
    return v == SetupVerdict::Ready ? "ready" : v == SetupVerdict::Changed ? "changed" : "refused";
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 3;
    const std::wstring path = argv[1];
    const int runs = std::max(1, _wtoi(argv[2]));
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;

    const SignatureVerdict verdict = CheckSetupSignature(file, path);
    DownloadedFile downloaded{path, {}};
    if (!CSha256::OfFile(file, downloaded.digest)) return 3;
    const std::vector<DownloadedFile> files{downloaded};
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));

    std::vector<double> held, check, digest;
    bool allowed = false;
    SetupVerdict setupVerdict = SetupVerdict::Changed;
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
    DownloadRequest request;
    request.workFolder = folder;
    for (int i = 0; i < runs; ++i) {
        const double t = NowMs();
        setupVerdict = CHeldSetup::Check(request, files, 600000)->Verdict();
        held.push_back(NowMs() - t);
    }
    std::printf(
        "held_ms=%.1f\ncheck_ms=%.1f\ndigest_ms=%.1f\nverdict=%s\ncontent=%s\nchain=%s\nsigner=%ls\nallowed=%d\n"
        "result=0x%08lx\n",
        Median(held), Median(check), Median(digest), Name(setupVerdict), Name(verdict.content),
        verdict.chain == SignatureChain::Trusted ? "trusted" : "untrusted",
        verdict.hasSigner ? ToHex(verdict.signer).c_str() : L"-", allowed ? 1 : 0,
        static_cast<unsigned long>(verdict.platformResult));
    return 0;
}
