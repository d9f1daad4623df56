// Fuzzes the FTP server's replies to SIZE and REST: a size comes only from a "213 " reply whose
// digits it spells, and a restart is accepted only by a 350 reply.
//
// Input: the reply's bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "update/sources/logic/FtpReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::wstring reply = FuzzInput::WideFromBytes(in.Rest());
    const int64_t listed = ParseSizeReply(reply);
    FUZZ_CHECK(listed >= -1);
    if (listed >= 0) {
        const std::wstring digits = std::to_wstring(listed);
        FUZZ_CHECK(reply.compare(0, 4, L"213 ") == 0);
        // Leading zeros aside, the digits after the code are the size.
        const size_t first = reply.find_first_not_of(L'0', 4);
        FUZZ_CHECK(listed == 0 || reply.compare(first, digits.size(), digits) == 0);
    }
    FUZZ_CHECK(IsRestartAccepted(reply) == (reply.compare(0, 3, L"350") == 0));
    return 0;
}
