// The FTP server's replies the FTP session reads. Pure: no Win32 types.
#pragma once

#include <cstdint>
#include <string>

// The size in a reply to SIZE ("213 4294967301"), or -1 for any other reply.
int64_t ParseSizeReply(const std::wstring& reply);
// The reply to REST accepts the offset ("350 ...").
bool IsRestartAccepted(const std::wstring& reply);
