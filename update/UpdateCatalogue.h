// The update catalogue: where this copy's update files live on the server, what the server holds
// there, the installed scanner's version, and the row that offers the setup program.
#pragma once

#include "framework/Win32.h"
#include "update/logic/Catalogue.h"
#include "update/logic/FtpTypes.h"
#include "update/logic/ReleaseStatement.h"
#include "update/logic/UpdateSources.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class IFtpSession;

// One setup program the server check offers.
struct OfferedSetup {
    FTP_FILE_INFO file;               // as listed (the release statement's size when there is one)
    std::wstring version;             // the release statement's version, else the one the name shows
    bool installedIsCurrent = false;  // the statement says the installed scanner has this version
};

// Asks the user for the credentials of the proxy `proxy` ("host:port" as the system's setting names
// it); false when nobody can answer or the user declined.
using ProxyCredentialPrompt =
    std::function<bool(const std::wstring& proxy, std::wstring& user, std::wstring& password)>;

class CUpdateCatalogue {
public:
    // A window run can ask for a proxy's credentials, once per run; a quiet run cannot.
    void SetProxyCredentialPrompt(ProxyCredentialPrompt prompt) { m_askProxyCredentials = std::move(prompt); }
    // What the download's connections are given for the chosen source (the proxy's credentials too).
    FtpConnectionSettings SourceConnection() const { return ConnectionFor(m_source); }
    // The same for any source of this run.
    FtpConnectionSettings ConnectionFor(const UpdateSource& source) const;

    // The server check: reads the installed scanner's version, makes the work folder private and
    // empties it (left alone when it cannot be made private), then tries the run's sources in order
    // (`localFolder` first when given, then the build's): lists the edition's folder (FTP, folder),
    // reads the maker's release statement (required over HTTPS and from a folder), and keeps the
    // first source that offers a setup program. False when no source could be reached; the server
    // files are then none.
    bool Check(const std::wstring& localFolder = std::wstring());
    // The setup programs to offer, in the server's order: none when the listing holds none that may
    // be offered, or when the maker's release statement is required, or there, and not valid.
    std::vector<OfferedSetup> FindOffered() const;
    // "edition-channel" of this copy, or "Talvix-Main" for an unknown edition.
    std::wstring Title() const;
    // The installed scanner's version text, "-" when none is installed.
    const std::wstring& InstalledVersionText() const { return m_strInstalledVersion; }

    // The server folder in its listing form (for ListFiles) and in its download form (joined
    // directly with a file name); each rebuilds the edition source and the server folder.
    std::wstring BuildServerFolder();
    std::wstring BuildServerFolderForDownload();
    // "Test" when the marker file lies beside the program, else empty.
    std::wstring GetTestSuffix() const;

    // The source the last check chose (meaningful when it offers a setup program), and the run's
    // sources after it, which a download may go on from.
    const UpdateSource& Source() const { return m_source; }
    const std::vector<UpdateSource>& LaterSources() const { return m_laterSources; }
    // The edition's folder as release statements name it.
    const std::wstring& StatementEdition() const { return m_strStatementEdition; }
    // The maker's release statement the last check found valid, or null.
    std::shared_ptr<const ReleaseStatement> Release() const { return m_pRelease; }
    // The installed scanner's version as numbers, when it is installed and says one.
    std::optional<FourPartVersion> InstalledVersion() const;

    static std::wstring GetWorkFolder();

private:
    // One source's turn: true when it offers a setup program, else why it passed.
    bool TrySource(const UpdateSource& source, SourceSkip& skip);
    // Reads and judges the release statement of the edition's folder (`listed`: the folder lists one,
    // or there is no listing): sets m_pRelease when it is valid, m_bReleaseRefused when it is
    // required or there and not valid. False when it could not be fetched for a fault of the line.
    bool ReadRelease(IFtpSession& session, bool listed, bool required);
    // The offered file's size: the statement's, or the server's own when the listing may have capped it.
    void SizeOfferedFile(IFtpSession& session);

    std::wstring m_strEditionSource;
    std::wstring m_strServerFolder;
    std::vector<FTP_FILE_INFO> m_vecServerFiles;
    std::wstring m_strInstalledVersion = L"-";
    std::wstring m_strBitness;
    std::shared_ptr<const ReleaseStatement> m_pRelease;
    bool m_bReleaseRefused = false;
    std::wstring m_strStatementEdition;
    UpdateSource m_source;
    std::vector<UpdateSource> m_laterSources;
    ProxyCredentialPrompt m_askProxyCredentials;
    bool m_bAskedProxyCredentials = false;
    std::wstring m_strAskingProxy;  // the proxy that asked the last source tried for credentials
};
