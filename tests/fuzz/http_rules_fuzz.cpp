// Fuzzes the update sources' setting and the HTTP fetching rules with hostile text: accepted sources
// are usable and read back from their own display form, remote paths carry only URL characters, and
// a ranged answer is taken as the part asked for only when it starts at the offset and runs to the
// statement's end.
//
// Input: the sources' setting, a folder, a file name, then status (u16), offset and expected size
// (u32 pairs; a flag makes the size unknown), Content-Range and Content-Length (strings).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/sources/logic/HttpRules.h"
#include "update/sources/logic/UpdateSources.h"

namespace {
int64_t Int64(FuzzInput& in) {
    const uint64_t low = in.U32();
    return static_cast<int64_t>(((static_cast<uint64_t>(in.U32()) << 32) | low) & INT64_MAX);
}

void CheckSources(const std::wstring& text, const std::wstring& folder, const std::wstring& name) {
    std::vector<UpdateSource> sources;
    std::wstring why;
    if (!ParseUpdateSources(text, sources, &why)) {
        FUZZ_CHECK(sources.empty() && !why.empty());
        return;
    }
    for (const UpdateSource& source : sources) {
        FUZZ_CHECK(source.port != 0 && !source.host.empty() && source.kind != SourceKind::Folder);
        std::vector<UpdateSource> again;
        FUZZ_CHECK(ParseUpdateSources(source.Display(), again) && again.size() == 1);
        FUZZ_CHECK(again[0].kind == source.kind && again[0].host == source.host && again[0].port == source.port &&
                   again[0].basePath == source.basePath);
        if (source.kind != SourceKind::Https) continue;
        const std::wstring& base = source.basePath;
        FUZZ_CHECK(base.size() >= 1 && base.front() == L'/' && base.back() == L'/');
        const std::wstring path = HttpsPathOf(source, folder, name);
        FUZZ_CHECK(path.compare(0, base.size(), base) == 0);
        for (wchar_t c : path) FUZZ_CHECK(c > 0x20 && c < 0x7F && c != L'\\' && c != L'?' && c != L'#');
    }
    const std::vector<UpdateSource> run = RunSources(sources, folder);
    FUZZ_CHECK(run.size() == sources.size() + (folder.empty() ? 0 : 1));
}

void CheckResponse(unsigned status, int64_t offset, const std::wstring& contentRange, const std::wstring& contentLength,
                   int64_t expectedTotal) {
    ContentRange range;
    const bool parsed = ParseContentRange(contentRange, range);
    if (parsed) {
        FUZZ_CHECK(range.first >= 0 && range.first <= range.last && (range.total == -1 || range.last < range.total));
        const std::wstring total = range.total < 0 ? L"*" : std::to_wstring(range.total);
        ContentRange back;
        FUZZ_CHECK(ParseContentRange(
            L"bytes " + std::to_wstring(range.first) + L"-" + std::to_wstring(range.last) + L"/" + total, back));
        FUZZ_CHECK(back.first == range.first && back.last == range.last && back.total == range.total);
    }
    const int64_t length = ParseContentLength(contentLength);
    FUZZ_CHECK(length >= -1);
    if (length >= 0) FUZZ_CHECK(ParseContentLength(std::to_wstring(length)) == length);

    const HttpFetch fetch = JudgeHttpResponse(status, offset, contentRange, contentLength, expectedTotal);
    if (fetch == HttpFetch::Part || (status == 206 && fetch == HttpFetch::Whole)) {
        FUZZ_CHECK(status == 206 && parsed && range.first == offset && range.last == range.total - 1);
        FUZZ_CHECK(expectedTotal < 0 || range.total == expectedTotal);
        FUZZ_CHECK((fetch == HttpFetch::Part) == (offset > 0));
    }
    if (fetch == HttpFetch::Whole && status == 200 && expectedTotal >= 0)
        FUZZ_CHECK(length < 0 || length == expectedTotal);
    FUZZ_CHECK(HttpFetchName(fetch)[0] != 'u');
    const std::wstring header = RangeHeaderFor(offset);
    FUZZ_CHECK(offset == 0 ? header.empty() : header == L"Range: bytes=" + std::to_wstring(offset) + L"-");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::wstring text = in.Wide();
    const std::wstring folder = in.Wide();
    const std::wstring name = in.Wide();
    CheckSources(text, folder, name);

    const unsigned status = in.U16();
    const int64_t offset = Int64(in);
    const int64_t expected = Int64(in);
    const bool sizeKnown = in.Bool();
    const std::wstring contentRange = in.Wide();
    const std::wstring contentLength = in.Wide();
    CheckResponse(status, offset, contentRange, contentLength, sizeKnown ? expected : -1);
    // The fuzzer's text as the offset's own range and length, so the accepting paths are reached.
    CheckResponse(206, offset, L"bytes " + std::to_wstring(offset) + L"-" + contentLength + L"/" + contentRange, L"",
                  sizeKnown ? expected : -1);
    return 0;
}
