// The main dialog's side of the update road: the server check fills the list, the start command
// hands the chosen rows to the engine, and the engine's facts reach the list, the banner and the
// notices. The work itself, to the hand-off, is the engine's.
#include "app/QuorvelDownloadDlg.h"

#include "app/ProxyPrompt.h"
#include "app/logic/RunPolicy.h"

#include "resources/resource.h"
#include "system/LocalText.h"
#include "system/logic/TextTable.h"

namespace {
// The text with its "%s" replaced by `value`.
std::wstring Filled(std::wstring text, const std::wstring& value) {
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, value);
    return text;
}

// The date and time, in this PC's time zone, of `unixSeconds` as the PC's clock gave it.
std::wstring LocalDateText(int64_t unixSeconds) {
    const FILETIME utc = FileTimeOfUnixSeconds(unixSeconds);
    FILETIME local{};
    SYSTEMTIME t{};
    if (unixSeconds < 0 || !::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &t)) return L"?";
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return text;
}
}  // namespace

void CQuorvelDownloadDlg::CheckServer() {
    // The work folder belongs to the download until the hand-off has taken it.
    if (RoadBusy() || !m_pEngine) return;
    m_listItems.DeleteAllItems(0);
    m_listItems.Invalidate(TRUE);
    m_vecChosenRows.clear();
    m_pEngine->Check();
}

int CQuorvelDownloadDlg::BuildUpdateList() {
    const RoadOffer& offer = m_pEngine->Offer();
    if (!offer.setups.empty()) {
        m_listItems.InsertItem(0, offer.title, 0);  // the row stands for the first offered setup
        m_listItems.SetItemText(0, 1, offer.installedVersion);
        m_listItems.SetItemText(0, 2, offer.setups.front().version);
        m_listItems.SetItemText(0, 3, LocalText(TextId::Updatable));
        m_listItems.SetCheck(0, 1);
        SetBannerText(LocalText(TextId::Invitation));
    }
    if (m_listItems.GetItemCount() == 0) SetBannerText(LocalText(TextId::ServerMaintenance));
    m_listItems.Invalidate(TRUE);
    return 1;
}

void CQuorvelDownloadDlg::OnStartInstallation() {
    if (RoadBusy() || !m_pEngine) return;
    m_vecChosenRows.clear();
    bool anyChecked = false;
    const RoadOffer& offer = m_pEngine->Offer();
    for (int row = 0; row < m_listItems.GetItemCount(); ++row) {
        if (!m_listItems.IsChecked(row)) continue;
        anyChecked = true;
        const size_t offered = static_cast<size_t>(m_listItems.GetItemData(row));
        if (offered < offer.setups.size() && offer.updatable[offered]) m_vecChosenRows.push_back(row);
    }
    if (!anyChecked) {
        ShowNotice(LocalText(TextId::NothingSelected));
        return;
    }
    if (m_vecChosenRows.empty()) {
        ShowNotice(LocalText(TextId::SelectUpdatableFile));
        return;
    }
    DownloadUpdates();
}

// Hands the chosen items to the engine. The road's controls stay disabled until the engine has
// reported the download's end, so neither command can run in between; Exit stops it.
int CQuorvelDownloadDlg::DownloadUpdates() {
    std::vector<size_t> chosen;
    for (int row : m_vecChosenRows) chosen.push_back(static_cast<size_t>(m_listItems.GetItemData(row)));
    EnableRoadControls(false);
    m_shownState = DownloadState::Connecting;
    if (!m_pEngine->Start(chosen)) {
        EnableRoadControls(true);
        return 0;
    }
    return 1;
}

void CQuorvelDownloadDlg::OnRoadFact(const RoadFact& fact) {
    switch (fact.kind) {
    case RoadFactKind::Checked:
        if (!m_pEngine->Offer().reached) {
            ShowNotice(LocalText(TextId::ServerConnectionFailure), LocalText(TextId::CheckInternetAndRetry));
        } else {
            BuildUpdateList();
            ShowCheckFailure();
        }
        // A passive run starts the download as a click on Start would, once the window shows.
        if (m_command.mode == RunMode::Passive && m_pEngine->State() == RoadState::Ready)
            PostMessage(WM_COMMAND, MAKEWPARAM(IDC_START_INSTALLATION, BN_CLICKED));
        break;
    case RoadFactKind::Progress: ShowProgress(fact.status); break;
    case RoadFactKind::Verifying:
        // The banner asks the user to wait already. A passive run may next wait for an unattended
        // setup on this thread: the setup's window takes over from this one, which would not answer.
        if (m_command.mode == RunMode::Passive) ShowWindow(SW_HIDE);
        break;
    case RoadFactKind::DownloadFailed: ShowDownloadFailure(fact.download); break;
    case RoadFactKind::HandedOff:
        m_handedOff = fact;
        if (m_pEngine->State() != RoadState::Done) ShowHandOffFailure(fact.handOff);
        break;
    case RoadFactKind::Abandoned: EnableRoadControls(true); break;
    }
    EndRunIfOver();
}

bool CQuorvelDownloadDlg::AskProxyCredentials(const std::wstring& host, std::wstring& user, std::wstring& password) {
    if (m_command.mode == RunMode::Passive) return false;
    return PromptProxyCredentials(m_hWnd, host, user, password);
}

void CQuorvelDownloadDlg::EndRunIfOver() {
    if (!RunIsOver(m_command.mode, m_pEngine->State())) return;
    // A passive run ends with the setup's own code when it waited for it.
    if (m_command.mode == RunMode::Passive)
        ::PostQuitMessage(ExitCodeOfRun(m_pEngine->Outcome(), m_handedOff.setupWait, m_handedOff.setupExitCode));
    else
        SendMessage(WM_CLOSE);  // the setup program owns the work folder now: nothing may empty it first
}

void CQuorvelDownloadDlg::ShowProgress(const DownloadStatus& status) {
    if (status.item >= m_vecChosenRows.size()) return;
    const int row = m_vecChosenRows[status.item];
    switch (status.state) {
    case DownloadState::Connecting: break;
    case DownloadState::Transferring:
        if (m_shownState != DownloadState::Transferring) SetBannerText(LocalText(TextId::Downloading));
        // The row shows what has arrived: nothing before the first block, as it always has.
        if (TransferHasBegun(status)) {
            const std::wstring text =
                FormatProgressText(LocalText(TextId::ProgressFormat), ProgressPercent(status.done, status.total), L"%");
            if (m_listItems.GetItemText(row, 3) != text) SetRowStatus(row, text);
        }
        break;
    case DownloadState::Reconnecting: {
        // "[ %s ] Server disconnected .. retrying ..", with the file's name.
        const RoadOffer& offer = m_pEngine->Offer();
        const size_t offered = static_cast<size_t>(m_listItems.GetItemData(row));
        const std::wstring name = offered < offer.setups.size() ? offer.setups[offered].file.name : L"%s";
        SetBannerText(Filled(LocalText(TextId::ServerDisconnected), name));
        break;
    }
    case DownloadState::Completed:
        SetRowStatus(row, LocalText(TextId::Completed));
        SetBannerText(LocalText(TextId::PreparingInstallation));
        break;
    }
    m_shownState = status.state;
}

void CQuorvelDownloadDlg::ShowCheckFailure() {
    const RoadOffer& offer = m_pEngine->Offer();
    switch (m_pEngine->Outcome()) {
    case RoadOutcome::ClockWrong:
        ShowNotice(Filled(LocalText(TextId::WrongDate), LocalDateText(offer.wrongClock.value_or(-1))),
                   LocalText(TextId::SetDateAndRetry));
        break;
    case RoadOutcome::ReleaseNotOffered:
        ShowNotice(LocalText(TextId::ReleaseNotOffered), LocalText(TextId::TryAgain));
        break;
    default: break;
    }
}

void CQuorvelDownloadDlg::ShowDownloadFailure(DownloadResult result) {
    EnableRoadControls(true);
    switch (result) {
    case DownloadResult::Completed:
    case DownloadResult::Stopped:
    case DownloadResult::NoInternet: break;  // nothing to tell
    case DownloadResult::InvalidFile:
        ShowNotice(LocalText(TextId::InvalidUpdateFile), LocalText(TextId::TryAgain));
        break;
    case DownloadResult::ConnectFailed:
        ShowNotice(LocalText(TextId::ConnectFailed), LocalText(TextId::TryAgain));
        break;
    case DownloadResult::RemoteFileUnopenable: ShowNotice(LocalText(TextId::CannotOpenRemoteFile)); break;
    case DownloadResult::LocalFileUnopenable: ShowNotice(LocalText(TextId::CannotOpenLocalFile)); break;
    case DownloadResult::ReadFailed:
        ShowNotice(LocalText(TextId::ReadError), LocalText(TextId::CheckInternetAndRetry));
        break;
    case DownloadResult::WriteFailed:
    case DownloadResult::DiskFull: ShowNotice(LocalText(TextId::WriteError)); break;
    }
}

void CQuorvelDownloadDlg::ShowHandOffFailure(HandOffResult result) {
    EnableRoadControls(true);
    switch (result) {
    case HandOffResult::Launched:
    case HandOffResult::NoSetupFile:
    case HandOffResult::ScannerRunning: break;  // a passive run ends with its code; nothing to tell
    case HandOffResult::ListNotCreated: ShowNotice(LocalText(TextId::ListCreateFailed)); break;
    case HandOffResult::ListNotWritten: ShowNotice(LocalText(TextId::ListWriteFailed)); break;
    case HandOffResult::FolderUnusable: ShowNotice(LocalText(TextId::CannotOpenLocalFile)); break;
    case HandOffResult::ElevationDeclined: ShowNotice(LocalText(TextId::TryAgain)); break;
    case HandOffResult::SetupChanged:
    case HandOffResult::SignatureRefused:
    case HandOffResult::ReleaseRefused:
    case HandOffResult::LaunchFailed:
        ShowNotice(LocalText(TextId::InvalidUpdateFile), LocalText(TextId::TryAgain));
        break;
    }
}

void CQuorvelDownloadDlg::SetRowStatus(int row, const std::wstring& text) {
    m_listItems.SetItemText(row, 3, text);
    m_listItems.Invalidate(FALSE);
}
