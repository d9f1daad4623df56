// The FTP server's replies to SIZE and REST.
#include <gtest/gtest.h>

#include "update/sources/logic/FtpReplies.h"

TEST(FtpReplies, SizeOnlyFromA213ReplyAndRestartOnlyFrom350) {
    EXPECT_EQ(ParseSizeReply(L"213 4294967301\r\n"), 4294967301);
    EXPECT_EQ(ParseSizeReply(L"213 0"), 0);
    EXPECT_EQ(ParseSizeReply(L"550 SIZE not allowed in ASCII mode."), -1);
    EXPECT_EQ(ParseSizeReply(L"213 12x"), -1);
    EXPECT_EQ(ParseSizeReply(L"213 "), -1);
    EXPECT_EQ(ParseSizeReply(L"213 99999999999999999999"), -1);  // beyond 64 bits
    EXPECT_TRUE(IsRestartAccepted(L"350 Restarting at 31720."));
    EXPECT_FALSE(IsRestartAccepted(L"501 Resuming transfers not allowed in ASCII mode."));
}
