// A small remote file read whole.
#include "update/release/logic/SmallFile.h"

bool ReadSmallFile(ISourceSession& session, const std::wstring& path, size_t limit, std::vector<uint8_t>& bytes,
                   uint32_t timeoutMs) {
    bytes.clear();
    if (session.OpenFile(path) != SourceOpen::Done) return false;
    bool whole = false;
    uint8_t block[4096];
    for (;;) {
        int got = 0;
        if (session.Read(block, static_cast<int>(sizeof block), got, timeoutMs) != SourceRead::Data) break;
        if (got <= 0) {
            whole = got == 0;
            break;
        }
        if (bytes.size() + static_cast<size_t>(got) > limit) break;
        bytes.insert(bytes.end(), block, block + got);
    }
    session.CloseFile();
    if (!whole) bytes.clear();
    return whole;
}
