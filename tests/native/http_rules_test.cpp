// The update sources' text form and order, and the rules of fetching a file over HTTP(S).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/sources/logic/HttpRules.h"
#include "update/sources/logic/UpdateSources.h"

namespace {
std::wstring Displays(const std::vector<UpdateSource>& sources) {
    std::wstring out;
    for (const UpdateSource& s : sources) out += (out.empty() ? L"" : L" | ") + s.Display();
    return out;
}
}  // namespace

TEST(UpdateSources, ParsesTheSettingAndRefusesAnyFaultyEntry) {
    struct Row {
        const wchar_t* text;
        const wchar_t* displays;  // nullptr: refused
    };
    const Row rows[] = {
        {L"", L""},
        {L" ; ;", L""},
        {L"https://updates.example.com/qv/talvix; ftp://10.0.0.7",
         L"https://updates.example.com:443/qv/talvix/ | ftp://10.0.0.7:5301"},
        {L"\tHTTPS://Host-1.example:8443 ;FTP://h:21/", L"https://Host-1.example:8443/ | ftp://h:21"},
        {L"https://h//a///b", L"https://h:443/a/b/"},
        {L"https://h/%EA%B0%80/", L"https://h:443/%EA%B0%80/"},
        {L"https://user@host/", nullptr},
        {L"https://u:p@host/", nullptr},
        {L"https://h/a?x=1", nullptr},
        {L"https://h/a#top", nullptr},
        {L"https://h:0/", nullptr},
        {L"https://h:70000/", nullptr},
        {L"https://h:/", nullptr},
        {L"https://h:99999999999999999999/", nullptr},
        {L"https:///a", nullptr},
        {L"ftp://", nullptr},
        {L"https://h/a b", nullptr},
        {L"https://a b/", nullptr},
        {L"http://h/", nullptr},
        {L"h/a", nullptr},
        {L"https://[::1]:443/", nullptr},
        {L"https://::1/", nullptr},
        {L"https://256.1.1.1/", nullptr},
        {L"https://01.1.1.1/", nullptr},
        {L"https://a..b/", nullptr},
        {L"https://-a.b/", nullptr},
        {L"https://h/%zz", nullptr},
        {L"https://h/\uAC00", nullptr},
        {L"ftp://h/Software", nullptr},
        {L"ftp://h;https://h/ok;https://bad host", nullptr},  // one bad entry refuses the whole setting
    };
    for (const Row& row : rows) {
        std::vector<UpdateSource> sources(1);
        std::wstring why;
        const bool ok = ParseUpdateSources(row.text, sources, &why);
        EXPECT_EQ(ok, row.displays != nullptr) << row.text << L" -> " << why;
        if (ok) {
            EXPECT_EQ(Displays(sources), row.displays) << row.text;
        } else {
            EXPECT_TRUE(sources.empty()) << row.text;
            EXPECT_NE(why.find(L"\""), std::wstring::npos) << row.text << L" -> " << why;
        }
    }
    std::vector<UpdateSource> sources;
    std::wstring why;
    EXPECT_FALSE(ParseUpdateSources(L"ftp://a; https://user@b/", sources, &why));
    EXPECT_EQ(why.rfind(L"\"https://user@b/\"", 0), 0u) << why;
}

TEST(UpdateSources, RunOrderAndRemotePaths) {
    std::vector<UpdateSource> build;
    ASSERT_TRUE(ParseUpdateSources(L"https://h/base;ftp://f", build));
    EXPECT_EQ(Displays(RunSources(build, L"")), L"https://h:443/base/ | ftp://f:5301");
    const std::vector<UpdateSource> run = RunSources(build, L"D:\\updates");
    EXPECT_EQ(Displays(run), L"folder:D:\\updates | https://h:443/base/ | ftp://f:5301");
    EXPECT_EQ(Displays(RunSources({}, L"E:\\")), L"folder:E:\\");

    const std::wstring folder = L"OEM\\KESTRA\\Factory\\Software\\";
    EXPECT_EQ(HttpsPathOf(build[0], folder, L"TALVIX_FULL_250101.exe"),
              L"/base/OEM/KESTRA/Factory/Software/TALVIX_FULL_250101.exe");
    EXPECT_EQ(HttpsPathOf(build[0], L"\\a//b/\\", L"\uAC00\uD55C setup~1.exe"),
              L"/base/a/b/%EA%B0%80%ED%95%9C%20setup~1.exe");
    // Characters outside the BMP, as a surrogate pair where wchar_t is 2 bytes; a lone surrogate.
    std::wstring emoji =
        sizeof(wchar_t) == 2 ? std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)} : std::wstring(1, wchar_t(0x1F600));
    EXPECT_EQ(HttpsPathOf(build[0], L"", emoji + L"%/?#"), L"/base/%F0%9F%98%80%25%2F%3F%23");
    EXPECT_EQ(HttpsPathOf(build[0], L"", std::wstring(1, wchar_t(0xDC00))), L"/base/%EF%BF%BD");
    EXPECT_EQ(HttpsPathOf(build[1], folder, L"a b.exe"), folder + L"a b.exe");
    EXPECT_EQ(HttpsPathOf(run[0], folder, L"a.exe"), L"a.exe");
}

TEST(HttpRules, JudgesResponsesAndReadsLengths) {
    const int64_t k4g5 = 4294967301;  // 4 GiB + 5
    struct Row {
        unsigned status;
        int64_t offset;
        const wchar_t* range;
        const wchar_t* length;
        int64_t expected;
        HttpFetch fetch;
    };
    const Row rows[] = {
        {200, 0, L"", L"1000", 1000, HttpFetch::Whole},
        {200, 0, L"", L"", 1000, HttpFetch::Whole},  // chunked: the bytes are counted later
        {200, 500, L"", L"1000", -1, HttpFetch::Whole},
        {200, 0, L"", L"999", 1000, HttpFetch::Refused},
        {206, 500, L"bytes 500-999/1000", L"500", 1000, HttpFetch::Part},
        {206, 500, L"BYTES  500-999/1000 ", L"", -1, HttpFetch::Part},
        {206, 4294967296, L"bytes 4294967296-4294967300/4294967301", L"5", k4g5, HttpFetch::Part},
        {206, 4294967296, L"bytes 0-4294967300/4294967301", L"", k4g5, HttpFetch::RangeRefused},
        {206, 0, L"bytes 0-999/1000", L"1000", 1000, HttpFetch::Whole},
        {206, 0, L"bytes 0-499/1000", L"", 1000, HttpFetch::RangeRefused},
        {206, 500, L"bytes 400-999/1000", L"", 1000, HttpFetch::RangeRefused},
        {206, 500, L"bytes 500-899/1000", L"", 1000, HttpFetch::RangeRefused},
        {206, 500, L"bytes 500-1999/2000", L"", 1000, HttpFetch::RangeRefused},
        {206, 500, L"bytes 500-999/*", L"", 1000, HttpFetch::RangeRefused},
        {206, 500, L"bytes 500-999/1000", L"400", 1000, HttpFetch::RangeRefused},
        {206, 500, L"", L"", 1000, HttpFetch::RangeRefused},
        {206, 500, L"bytes=500-999/1000", L"", 1000, HttpFetch::RangeRefused},
        {416, 500, L"bytes */1000", L"", 1000, HttpFetch::RangeRefused},
        {404, 0, L"", L"", -1, HttpFetch::NotFound},
        {410, 0, L"", L"", -1, HttpFetch::NotFound},
        {407, 0, L"", L"", -1, HttpFetch::ProxyAuth},
        {401, 0, L"", L"", -1, HttpFetch::Refused},
        {403, 0, L"", L"", -1, HttpFetch::Refused},
        {451, 0, L"", L"", -1, HttpFetch::Refused},
        {302, 0, L"", L"", -1, HttpFetch::Refused},
        {100, 0, L"", L"", -1, HttpFetch::Refused},
        {204, 0, L"", L"", -1, HttpFetch::Refused},
        {503, 0, L"", L"", -1, HttpFetch::ServerFault},
        {599, 0, L"", L"", -1, HttpFetch::ServerFault},
        {600, 0, L"", L"", -1, HttpFetch::ServerFault},
        {99, 0, L"", L"", -1, HttpFetch::ServerFault},
        {0, 0, L"", L"", -1, HttpFetch::ServerFault},
    };
    for (const Row& r : rows)
        EXPECT_STREQ(HttpFetchName(JudgeHttpResponse(r.status, r.offset, r.range, r.length, r.expected)),
                     HttpFetchName(r.fetch))
            << r.status << L" " << r.offset << L" [" << r.range << L"] [" << r.length << L"] " << r.expected;

    ContentRange range;
    EXPECT_TRUE(ParseContentRange(L"bytes 100-199/*", range));
    EXPECT_EQ(range.last, 199);
    EXPECT_EQ(range.total, -1);
    for (const wchar_t* bad : {L"bytes 200-199/1000", L"bytes 0-1000/1000", L"bytes -5-9/10", L"bytes 1 -9/10",
                               L"bytes 1-9/10x", L"bytes1-9/10", L"items 1-9/10", L"bytes 1-99999999999999999999/*"})
        EXPECT_FALSE(ParseContentRange(bad, range)) << bad;

    EXPECT_EQ(ParseContentLength(L"4294967301"), 4294967301);
    EXPECT_EQ(ParseContentLength(L" 12 "), 12);
    EXPECT_EQ(ParseContentLength(L"9223372036854775807"), INT64_MAX);
    for (const wchar_t* bad : {L"-1", L"+1", L"", L" ", L"1 2", L"12x", L"0x10", L"99999999999999999999"})
        EXPECT_EQ(ParseContentLength(bad), -1) << bad;

    EXPECT_EQ(RangeHeaderFor(0), L"");
    EXPECT_EQ(RangeHeaderFor(4294967301), L"Range: bytes=4294967301-");
    EXPECT_EQ(NextProxyAuthStep(true, false), ProxyAuthStep::Ask);
    EXPECT_EQ(NextProxyAuthStep(true, true), ProxyAuthStep::GiveUp);
    EXPECT_EQ(NextProxyAuthStep(false, false), ProxyAuthStep::GiveUp);
    // A 407 is the proxy's question only where there is a proxy.
    EXPECT_EQ(ThroughProxy(HttpFetch::ProxyAuth, true), HttpFetch::ProxyAuth);
    EXPECT_EQ(ThroughProxy(HttpFetch::ProxyAuth, false), HttpFetch::Refused);
    EXPECT_EQ(ThroughProxy(HttpFetch::Whole, false), HttpFetch::Whole);
}

TEST(HttpRules, ProxyOfAHost) {
    struct Row {
        const wchar_t* proxies;
        const wchar_t* bypass;
        const wchar_t* host;
        const wchar_t* proxy;
    };
    const Row rows[] = {
        {L"127.0.0.1:3128", L"", L"updates.example", L"127.0.0.1:3128"},
        {L"http=web:80;https=secure:8443", L"", L"updates.example", L"secure:8443"},
        {L"HTTPS=secure:8443 http=web:80", L"", L"updates.example", L"secure:8443"},
        {L"http=web:80", L"", L"updates.example", L""},  // no proxy for https: direct
        {L"", L"", L"updates.example", L""},
        {L"p:1", L"<local>", L"intranet", L""},
        {L"p:1", L"<local>", L"updates.example", L"p:1"},
        {L"p:1", L"*.example;other", L"Updates.EXAMPLE", L""},
        {L"p:1", L"other; mirror.test", L"mirror.test", L""},
        {L"p:1", L"other.test", L"mirror.test", L"p:1"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(HttpsProxyFor(r.proxies, r.bypass, r.host), r.proxy)
            << r.proxies << L" | " << r.bypass << L" | " << r.host;
    EXPECT_EQ(ProxyKey(L"Proxy.Example:3128"), ProxyKey(L"proxy.example:3128"));
}

TEST(HttpRules, RedirectsOnlyToHttpsAndAFewHops) {
    const HttpsTarget from{L"updates.example", 443, L"/Software/a.exe"};
    struct Row {
        const wchar_t* location;
        int hops;
        RedirectStep step;
        const wchar_t* host;
        uint16_t port;
        const wchar_t* object;
    };
    const Row rows[] = {
        {L"https://mirror.example/Software/a.exe", 0, RedirectStep::Follow, L"mirror.example", 443, L"/Software/a.exe"},
        {L"HTTPS://mirror.example:8443", 4, RedirectStep::Follow, L"mirror.example", 8443, L"/"},
        {L"https://mirror.example?x=1#part", 0, RedirectStep::Follow, L"mirror.example", 443, L"/?x=1"},
        {L"/elsewhere/a.exe", 0, RedirectStep::Follow, L"updates.example", 443, L"/elsewhere/a.exe"},
        {L"https://mirror.example/a.exe", 5, RedirectStep::TooMany, L"", 443, L""},
        {L"http://mirror.example/a.exe", 0, RedirectStep::NotHttps, L"", 443, L""},
        {L"ftp://mirror.example/a.exe", 0, RedirectStep::NotHttps, L"", 443, L""},
        {L"//mirror.example/a.exe", 0, RedirectStep::Malformed, L"", 443, L""},
        {L"", 0, RedirectStep::Malformed, L"", 443, L""},
        {L"https://user:pw@mirror.example/", 0, RedirectStep::Malformed, L"", 443, L""},
        {L"https://mirror.example:0/", 0, RedirectStep::Malformed, L"", 443, L""},
        {L"https://mirror.example:65536/", 0, RedirectStep::Malformed, L"", 443, L""},
        {L"https:///a.exe", 0, RedirectStep::Malformed, L"", 443, L""},
        {L"https://mirror.example/a b.exe", 0, RedirectStep::Malformed, L"", 443, L""},
    };
    for (const Row& r : rows) {
        HttpsTarget next;
        EXPECT_STREQ(RedirectStepName(JudgeRedirect(r.location, from, r.hops, next)), RedirectStepName(r.step))
            << r.location;
        EXPECT_EQ(next.host, r.host) << r.location;
        EXPECT_EQ(next.port, r.port) << r.location;
        EXPECT_EQ(next.object, r.object) << r.location;
    }
    for (unsigned status : {301u, 302u, 303u, 307u, 308u}) EXPECT_TRUE(IsRedirectStatus(status)) << status;
    for (unsigned status : {200u, 300u, 304u, 305u}) EXPECT_FALSE(IsRedirectStatus(status)) << status;
}
