// The sources a download may go on from when the one it started from is gone for good: the run's
// later sources, each asked once and in order whether its valid release statement names the same
// file (same size and SHA-256) as the statement the download started with.
#pragma once

#include "update/engine/logic/DownloadLogic.h"
#include "update/sources/logic/SourceSession.h"
#include "update/release/logic/ReleaseStatement.h"
#include "update/sources/logic/UpdateSources.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// A source after the one in use, with what its Connect is given (the proxy's credentials too).
struct LaterSource {
    UpdateSource source;
    SourceConnectionSettings connection;
};

class CSourceFailover {
public:
    // `folder`: the edition's folder in download form; `edition`: as statements name it.
    CSourceFailover(std::vector<LaterSource> later, std::shared_ptr<const ReleaseStatement> used, std::wstring folder,
                    std::wstring edition)
        : m_later(std::move(later)),
          m_pUsed(std::move(used)),
          m_strFolder(std::move(folder)),
          m_strEdition(std::move(edition)) {}

    // The next untried source that holds the file `name`; its sessions end their waits when `stop`
    // turns true. False when none is left, or when the download has no statement to compare with.
    bool Next(const std::wstring& name, const std::atomic<bool>* stop, NextSource& next);

private:
    // Connects to the source and reads its statement: true when it names the same file.
    bool HoldsSameFile(const LaterSource& later, const std::wstring& name, const std::atomic<bool>* stop);

    std::vector<LaterSource> m_later;
    size_t m_next = 0;
    std::shared_ptr<const ReleaseStatement> m_pUsed;
    std::wstring m_strFolder;
    std::wstring m_strEdition;
};
