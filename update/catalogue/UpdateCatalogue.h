// The update catalogue: where this copy's update files live on a source, what the chosen source
// holds there (its listing, its release statement, the sizes), the installed scanner's version, and
// the row that offers the setup program. Which source is chosen is CSourceChoice's.
#pragma once

#include "framework/Win32.h"
#include "update/sources/SourceChoice.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/SourceSession.h"
#include "update/release/logic/ReleaseStatement.h"
#include "update/sources/logic/UpdateSources.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ISourceSession;
struct FetchedRelease;

// One setup program the server check offers.
struct OfferedSetup {
    RemoteEntry file;                 // as listed (the release statement's size when there is one)
    std::wstring version;             // the release statement's version, else the one the name shows
    bool installedIsCurrent = false;  // the statement says the installed scanner has this version
};

class CUpdateCatalogue {
public:
    // A window run can ask for a proxy's credentials, once per run; a quiet run cannot.
    void SetProxyCredentialPrompt(ProxyCredentialPrompt prompt) {
        m_sources.SetProxyCredentialPrompt(std::move(prompt));
    }
    // A script's run follows the maker's staged rollout (RolloutOffers); a person in the window does not.
    void FollowRollout(bool staged) { m_bStagedRollout = staged; }
    // What the download's connections are given for the chosen source (the proxy's credentials too).
    SourceConnectionSettings SourceConnection() const { return ConnectionFor(Source()); }
    // The same for any source of this run.
    SourceConnectionSettings ConnectionFor(const UpdateSource& source) const { return m_sources.ConnectionFor(source); }

    // The server check: reads the installed scanner's version, makes the work folder private and
    // empties it (left alone when it cannot be made private), then tries the run's sources in order
    // (`localFolder` first when given, then the build's): lists the edition's folder (FTP, folder),
    // reads the maker's release statement (required over HTTPS and from a folder), and keeps the
    // first source that offers a setup program. Every wait on a source ends by `deadlineTick`
    // (GetTickCount64; 0: none). False when no source could be reached; the server files are then none.
    bool Check(const std::wstring& localFolder = std::wstring(), uint64_t deadlineTick = 0);
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
    static std::wstring GetTestSuffix();

    // The source the last check chose (meaningful when it offers a setup program), and the run's
    // sources after it, which a download may go on from.
    const UpdateSource& Source() const { return m_sources.Source(); }
    const std::vector<UpdateSource>& LaterSources() const { return m_sources.LaterSources(); }
    // The edition's folder as release statements name it.
    const std::wstring& StatementEdition() const { return m_strStatementEdition; }
    // The maker's release statement the last check found valid, or null.
    std::shared_ptr<const ReleaseStatement> Release() const { return m_pRelease; }
    // Some source of the last check held the maker's statement of a newer setup than the installed
    // one without offering that setup.
    bool ReleaseWithheld() const { return m_sources.Skipped(SourceSkip::ReleaseWithheld); }
    // The PC's date (seconds since 1970 UTC) a statement of the last check was refused by, when that
    // statement shows the date to be wrong.
    std::optional<int64_t> WrongClock() const { return m_wrongClock; }
    // The installed scanner's version as numbers, when it is installed and says one.
    std::optional<FourPartVersion> InstalledVersion() const;

    static std::wstring GetWorkFolder();

private:
    // One source's turn over `server`: true when it offers a setup program, else why it passed.
    bool TrySource(const UpdateSource& source, const SourceConnectionSettings& server, uint64_t deadlineTick,
                   SourceSkip& skip);
    // Lists the edition's folder where the source has listings; false when the line failed it.
    bool ListSource(ISourceSession& session, int& listed, bool& statementListed);
    // Whether the source, listed and its statement judged, offers a setup program, else why not.
    bool Offers(SourceSkip& skip) const;
    // Reads and judges the release statement of the edition's folder (`listed`: the folder lists one,
    // or there is no listing): sets m_pRelease when it is valid, m_bReleaseRefused when it is
    // required or there and not valid. False when it could not be fetched for a fault of the line.
    bool ReadRelease(ISourceSession& session, bool listed, bool required);
    // True when the valid statement's rollout does not take this PC in (logged with the PC's bucket).
    bool RolloutWithholds() const;
    // True when the valid statement names a newer setup than the installed one that this source does
    // not offer (logged with the file and why).
    bool WithholdsRelease() const;
    // Notes a statement refused for this PC's date, which the statement shows wrong (logged with both times).
    void NoteWrongClock(const FetchedRelease& fetched);
    // The offered file's size: the statement's, or the server's own when the listing may have capped it.
    void SizeOfferedFile(ISourceSession& session);
    // Forgets what a source held: its listing and its release statement.
    void ClearServerFiles();

    std::wstring m_strEditionSource;
    std::wstring m_strServerFolder;
    std::vector<RemoteEntry> m_vecServerFiles;
    std::wstring m_strInstalledVersion = L"-";
    std::wstring m_strBitness;
    std::shared_ptr<const ReleaseStatement> m_pRelease;
    bool m_bReleaseRefused = false;
    bool m_bClockRefused = false;  // this source's statement was refused for the PC's date
    std::optional<int64_t> m_wrongClock;
    std::wstring m_strStatementEdition;
    CSourceChoice m_sources;
    bool m_bStagedRollout = false;
    std::wstring m_strAskingProxy;  // the proxy that asked the last source tried for credentials
};
