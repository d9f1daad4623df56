// The choice of this run's update source, with the proxy's credentials asked for once.
#include "update/sources/SourceChoice.h"

#include "system/DiagnosticsLog.h"
#include "update/sources/ProxyCredentials.h"
#include "update/sources/SourceSessions.h"
#include "update/sources/logic/HttpRules.h"

#include <algorithm>

SourceConnectionSettings CSourceChoice::ConnectionFor(const UpdateSource& source) const { return ConnectionOf(source); }

bool CSourceChoice::Choose(const std::vector<UpdateSource>& sources, const Turn& turn) {
    m_source = UpdateSource();
    m_laterSources.clear();
    m_skips.clear();
    bool reached = false;
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        const UpdateSource& source = *it;
        SourceSkip skip = SourceSkip::Unreachable;
        std::wstring askingProxy;
        bool offers = turn(source, skip, askingProxy);
        // The source's proxy wants credentials: the user is asked once per run, naming the proxy,
        // and the source tried again. What the user gives goes to that proxy alone.
        if (!offers && skip == SourceSkip::Refused && !askingProxy.empty() &&
            NextProxyAuthStep(static_cast<bool>(m_askProxyCredentials), m_bAskedProxyCredentials) ==
                ProxyAuthStep::Ask) {
            m_bAskedProxyCredentials = true;
            std::wstring user, password;
            const bool given = m_askProxyCredentials(askingProxy, user, password);
            LogEvent("source.proxy-credentials",
                     {{"source", source.Display()}, {"proxy", askingProxy}, {"given", given}});
            if (given) RememberProxyCredentials(askingProxy, user, password);
            if (given) offers = turn(source, skip, askingProxy);
        }
        if (offers) {
            m_source = source;
            m_laterSources.assign(it + 1, sources.end());
            LogEvent("source.used", {{"source", source.Display()}});
            return true;
        }
        LogEvent("source.skipped", {{"source", source.Display()}, {"reason", SourceSkipName(skip)}});
        m_skips.push_back(skip);
        reached = reached || skip == SourceSkip::NoRelease || skip == SourceSkip::NothingOffered ||
                  skip == SourceSkip::ReleaseWithheld || skip == SourceSkip::ClockWrong;
    }
    return reached;
}

bool CSourceChoice::Skipped(SourceSkip why) const {
    return std::find(m_skips.begin(), m_skips.end(), why) != m_skips.end();
}
