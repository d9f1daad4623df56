// The choice of this run's update source, with the proxy's credentials asked for once.
#include "update/SourceChoice.h"

#include "system/DiagnosticsLog.h"
#include "update/SourceSessions.h"
#include "update/logic/HttpRules.h"

FtpConnectionSettings CSourceChoice::ConnectionFor(const UpdateSource& source) const {
    return ConnectionOf(source, m_strProxyUser, m_strProxyPassword);
}

bool CSourceChoice::Choose(const std::vector<UpdateSource>& sources, const Turn& turn) {
    m_source = UpdateSource();
    m_laterSources.clear();
    bool reached = false;
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        const UpdateSource& source = *it;
        SourceSkip skip = SourceSkip::Unreachable;
        bool offers = turn(source, ConnectionFor(source), skip);
        // A proxy that wants credentials: the user is asked once per run, and the source tried again.
        if (!offers && skip == SourceSkip::Refused && source.kind == SourceKind::Https &&
            NextProxyAuthStep(static_cast<bool>(m_askProxyCredentials), m_bAskedProxyCredentials) ==
                ProxyAuthStep::Ask) {
            m_bAskedProxyCredentials = true;
            const bool given = m_askProxyCredentials(source.host, m_strProxyUser, m_strProxyPassword);
            LogEvent("source.proxy-credentials", {{"source", source.Display()}, {"given", given}});
            if (given) offers = turn(source, ConnectionFor(source), skip);
        }
        if (offers) {
            m_source = source;
            m_laterSources.assign(it + 1, sources.end());
            LogEvent("source.used", {{"source", source.Display()}});
            return true;
        }
        LogEvent("source.skipped", {{"source", source.Display()}, {"reason", SourceSkipName(skip)}});
        reached = reached || skip == SourceSkip::NoRelease || skip == SourceSkip::NothingOffered;
    }
    return reached;
}
