// A later source takes over a download only when its own signed statement vouches for the same bytes.
#include "update/sources/SourceFailover.h"

#include "system/DiagnosticsLog.h"
#include "update/release/ReleaseReader.h"
#include "update/sources/SourceSessions.h"
#include "update/release/logic/ReleaseRules.h"

bool CSourceFailover::Next(const std::wstring& name, const std::atomic<bool>* stop, NextSource& next) {
    if (!m_pUsed) return false;
    while (m_next < m_later.size()) {
        const LaterSource& later = m_later[m_next++];
        if (stop && stop->load()) return false;
        if (!HoldsSameFile(later, name, stop)) continue;
        const UpdateSource source = later.source;
        next.server = later.connection;
        next.newSession = [source, stop] { return MakeSourceSession(source, stop); };
        return true;
    }
    return false;
}

bool CSourceFailover::HoldsSameFile(const LaterSource& later, const std::wstring& name, const std::atomic<bool>* stop) {
    const std::unique_ptr<ISourceSession> session = MakeSourceSession(later.source, stop);
    FetchedRelease fetched;
    const bool reached = session->Connect(later.connection) == ConnectResult::Connected &&
                         FetchRelease(*session, m_strFolder, m_strEdition, fetched);
    session->Disconnect();
    const bool valid = reached && fetched.verdict == StatementVerdict::Valid;
    const bool holds = valid && ::HoldsSameFile(*m_pUsed, *fetched.statement, name);
    LogEvent("source.next", {{"source", later.source.Display()},
                             {"reached", reached},
                             {"verdict", reached ? StatementVerdictName(fetched.verdict) : "-"},
                             {"holds_file", holds}});
    return holds;
}
