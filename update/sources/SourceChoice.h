// The choice of this run's update source: the sources tried in order, a proxy that wants
// credentials answered once per run, the source chosen and the later ones a download may go on
// from, and the connection to each with the proxy's credentials.
#pragma once

#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/SourceSession.h"
#include "update/sources/logic/UpdateSources.h"

#include <functional>
#include <string>
#include <vector>

// Asks the user for the credentials of the proxy `proxy` ("host:port" as the system's setting names
// it); false when nobody can answer or the user declined.
using ProxyCredentialPrompt =
    std::function<bool(const std::wstring& proxy, std::wstring& user, std::wstring& password)>;

class CSourceChoice {
public:
    // One source's turn: true when it offers a setup program, else why it passed and, when its proxy
    // wanted credentials, that proxy.
    using Turn = std::function<bool(const UpdateSource& source, SourceSkip& skip, std::wstring& askingProxy)>;

    // A window run can ask for a proxy's credentials, once per run; a quiet run cannot.
    void SetProxyCredentialPrompt(ProxyCredentialPrompt prompt) { m_askProxyCredentials = std::move(prompt); }
    // What a connection to `source` is given (the credentials a proxy asked for reach that proxy alone).
    SourceConnectionSettings ConnectionFor(const UpdateSource& source) const;

    // Gives each of `sources` its turn, in order, until one offers a setup program, which becomes the
    // chosen source. True when one was chosen or at least one was reached.
    bool Choose(const std::vector<UpdateSource>& sources, const Turn& turn);

    // The source the last choice kept (empty when none offered a setup program), and the sources
    // after it.
    const UpdateSource& Source() const { return m_source; }
    const std::vector<UpdateSource>& LaterSources() const { return m_laterSources; }
    // True when some source of the last choice passed its turn for that reason.
    bool Skipped(SourceSkip why) const;

private:
    UpdateSource m_source;
    std::vector<UpdateSource> m_laterSources;
    std::vector<SourceSkip> m_skips;
    ProxyCredentialPrompt m_askProxyCredentials;
    bool m_bAskedProxyCredentials = false;
};
