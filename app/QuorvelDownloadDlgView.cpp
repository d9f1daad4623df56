// What the main dialog shows: its controls, its painting and the notices.
#include "app/QuorvelDownloadDlg.h"
#include "controls/FocusCue.h"
#include "framework/DC.h"
#include "resources/resource.h"
#include "system/LocalText.h"

namespace {
const wchar_t kTitle[] = L"탈빅스 다운로더";
constexpr COLORREF kWindowColour = RGB(168, 168, 168);

// Where things stand on the background picture, in pixels of the client area.
constexpr RECT kTitleRect{193, 5, 500, 50};
constexpr RECT kWarningLineRects[2] = {{50, 188, 510, 223}, {50, 208, 510, 238}};
constexpr RECT kWarningLabelRects[2] = {{50, 188, 510, 208}, {50, 208, 510, 238}};
constexpr RECT kListRect{15, 325, 550, 580};  // the item list; the heading list covers its top
constexpr int kHeadingHeight = 37;
constexpr int kColumnWidths[4] = {185, 110, 110, 127};
constexpr RECT kBannerRect{40, 71, 530, 146};
constexpr RECT kExitRect{506, 9, 560, 47};
constexpr POINT kCommandButtonOrigin{140, 265};
constexpr SIZE kCommandButtonSize{136, 42};
constexpr int kCommandButtonPitch = 170;  // from one command button's left edge to the next
constexpr TextId kColumnTitles[4] = {TextId::ColumnSetupProgram, TextId::ColumnCurrentVersion,
                                     TextId::ColumnFinalVersion, TextId::ColumnStatus};
constexpr TextId kWarningLines[2] = {TextId::WarningModuleConnected, TextId::WarningCheckModulePower};

bool Korean() { return LanguageIndex == 1; }

// A label that screen readers find at the warning line's place; it draws nothing, the dialog's
// paint draws the line (red on the background picture), and clicks pass through to the dialog.
void CreateWarningLabel(HWND dialog, int id, const std::wstring& text, const RECT& rc) {
    ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, rc.left, rc.top,
                      rc.right - rc.left, rc.bottom - rc.top, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      ::GetModuleHandleW(nullptr), nullptr);
}

void SetButtonFont(CMultiTextBtn& button, int koreanHeight, int englishHeight) {
    if (Korean())
        button.SetFont(L"NanumGothic", koreanHeight, 0, 1, 1, 0);
    else
        button.SetFont(L"Arial", englishHeight, 0, 1, 1, 0);
}
}  // namespace

void CQuorvelDownloadDlg::BuildControls() {
    if (m_bControlsBuilt == 1) return;
    m_bControlsBuilt = 1;
    m_listItems.m_bDrawFrame = 1;
    m_listHeader.m_bDrawFrame = 1;
    m_listItems.SetLanguage(LanguageIndex);
    m_listHeader.SetLanguage(LanguageIndex);

    if (Korean()) {
        m_fontTitle.Create(28, 0, 600, 0, L"Arial");
        m_fontWarning.Create(18, 0, 700, 0, L"NanumGothic");
    } else {
        m_fontTitle.Create(18, 0, 600, 0, L"Arial");
        m_fontWarning.Create(16, 0, 700, 0, L"Arial");
    }

    m_listItems.MoveWindow(kListRect, TRUE);
    m_listItems.SetGridSize(5, 4, false, 1);
    m_listHeader.MoveWindow(kListRect.left, kListRect.top, kListRect.right - kListRect.left, kHeadingHeight, TRUE);
    m_listHeader.SetGridSize(1, 4, false);
    // The heading list lies over the top of the item list: keep it above, and keep the item list
    // from painting over it.
    m_listItems.ModifyStyle(0, WS_CLIPSIBLINGS);
    ::SetWindowPos(m_listHeader, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    m_listItems.SetCheckMode(1);
    for (int c = 0; c < 4; ++c) {
        m_listItems.SetColumnWidth(c, kColumnWidths[c]);
        m_listHeader.SetColumnTitle(c, LocalText(kColumnTitles[c]));
        m_listHeader.SetColumnWidth(c, kColumnWidths[c]);
    }
    for (CMultilineList* list : {&m_listItems, &m_listHeader}) {
        list->RequestFrame();
        list->ShowWindow(SW_SHOW);
        list->Invalidate(TRUE);
    }

    for (int i = 0; i < 2; ++i) {
        m_pImgCommand[i] = std::make_unique<CDIBSectionLite>();
        m_pImgCommand[i]->LoadResourceBitmap(IDB_COMMAND_BUTTON);
        m_pBtnCommand[i] = std::make_unique<CMultiTextBtn>();
        CMultiTextBtn& button = *m_pBtnCommand[i];
        button.Create(m_pImgCommand[i].get(), kCommandButtonOrigin.x + kCommandButtonPitch * i, kCommandButtonOrigin.y,
                      kCommandButtonSize.cx, kCommandButtonSize.cy, L"", this,
                      i == 0 ? IDC_CHECK_SERVER : IDC_START_INSTALLATION, 4);
        button.SetTextColor(0, RGB(0, 0, 0));
        button.SetTextColor(1, RGB(255, 255, 255));
        button.SetTextColor(2, RGB(255, 255, 255));
        button.SetTextColor(3, RGB(74, 74, 74));
        SetButtonFont(button, 22, 18);
        button.SetText(LocalText(i == 0 ? TextId::CheckServer : TextId::StartInstallation));
        button.ShowWindow(SW_SHOW);
    }

    m_pImgExit = std::make_unique<CDIBSectionLite>();
    m_pImgExit->LoadResourceBitmap(IDB_EXIT);
    m_btnExit.Create(m_pImgExit.get(), kExitRect.left, kExitRect.top, kExitRect.right - kExitRect.left,
                     kExitRect.bottom - kExitRect.top, L"", this, IDC_EXIT, 4);
    m_btnExit.SetText(LocalText(TextId::Exit));
    m_btnExit.SetTextColor(0, RGB(255, 255, 255));
    m_btnExit.SetTextColor(1, RGB(192, 192, 192));
    m_btnExit.SetTextColor(2, RGB(255, 255, 255));
    SetButtonFont(m_btnExit, 18, 18);
    m_btnExit.ShowWindow(SW_SHOW);

    m_pImgBanner = std::make_unique<CDIBSectionLite>();
    m_pImgBanner->LoadResourceBitmap(IDB_BANNER);
    m_btnBanner.Create(m_pImgBanner.get(), kBannerRect.left, kBannerRect.top, kBannerRect.right - kBannerRect.left,
                       kBannerRect.bottom - kBannerRect.top, L"", this, IDC_BANNER, 1);
    m_btnBanner.SetTextColor(0, RGB(255, 255, 255));
    m_btnBanner.SetTextColor(1, RGB(255, 255, 255));
    m_btnBanner.SetTextColor(2, RGB(237, 173, 138));
    SetButtonFont(m_btnBanner, 22, 18);
    m_btnBanner.ShowWindow(SW_SHOW);
    m_btnBanner.ModifyStyle(WS_TABSTOP, 0);  // a notice, not a command

    CreateWarningLabel(m_hWnd, IDC_WARNING_ENGLISH, LocalText(kWarningLines[0]), kWarningLabelRects[0]);
    CreateWarningLabel(m_hWnd, IDC_WARNING_KOREAN, LocalText(kWarningLines[1]), kWarningLabelRects[1]);

    // Tab order and reading order follow the window from top to bottom; the heading list stays
    // above the item list it covers.
    const int order[] = {IDC_EXIT,           IDC_BANNER,       IDC_WARNING_ENGLISH,
                         IDC_WARNING_KOREAN, IDC_CHECK_SERVER, IDC_START_INSTALLATION,
                         IDC_LIST_HEADER,    IDC_LIST_ITEMS};
    HWND after = HWND_TOP;
    for (int id : order) {
        const HWND control = ::GetDlgItem(m_hWnd, id);
        ::SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        after = control;
    }
    // Focus cues stay hidden until the first key press, as in any dialog opened with the mouse.
    ForgetKeyboardUse(m_hWnd);
}

LRESULT CQuorvelDownloadDlg::OnPaint() {
    CPaintDC dc(m_hWnd);
    const RECT client = GetClientRect();
    dc.FillSolidRect(client, kWindowColour);
    m_imgBackground.DrawAt(dc, POINT{0, 0});
    {
        CSelectObject font(dc, m_fontTitle);
        CTextMode mode(dc, TRANSPARENT, RGB(255, 255, 255));
        RECT rc = kTitleRect;
        ::DrawTextW(dc, kTitle, -1, &rc, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    CSelectObject font(dc, m_fontWarning);
    CTextMode mode(dc, TRANSPARENT, RGB(255, 0, 0));
    for (int i = 0; i < 2; ++i) {
        RECT rc = kWarningLineRects[i];
        ::DrawTextW(dc, LocalText(kWarningLines[i]).c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_NOPREFIX);
    }
    return 0;
}

void CQuorvelDownloadDlg::SetBannerText(const std::wstring& text) { m_btnBanner.SetText(text); }

int CQuorvelDownloadDlg::ShowNotice(const std::wstring& first) { return ShowNotice(first, L""); }

int CQuorvelDownloadDlg::ShowNotice(const std::wstring& first, const std::wstring& second) {
    SetBannerText(first);
    LogNotice(first, second);
    if (m_msgBox.IsActive()) m_msgBox.Deactivate();
    m_msgBox.ShowAndWait(first, second, 10, 6);
    return 1;
}
