// What the main dialog shows: its controls, its painting and the notices.
#include "app/QuorvelDownloadDlg.h"
#include "controls/FocusCue.h"
#include "controls/logic/DpiScale.h"
#include "controls/logic/TextFit.h"
#include "framework/DC.h"
#include "framework/Dpi.h"
#include "resources/resource.h"
#include "system/DiagnosticsLog.h"
#include "system/LocalText.h"

#include <algorithm>
#include <initializer_list>

namespace {
constexpr COLORREF kWindowColour = RGB(168, 168, 168);

// Where things stand on the background picture, in pixels of the client area at 96 DPI; on screen
// every one of them is scaled by the window's factor.
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
constexpr int kSmallestWarningHeight = 10;
constexpr SIZE kWindowSize{562, 598};  // used when the background picture is missing

bool Korean() { return LanguageIndex == 1; }

RECT Scaled(const RECT& layout) {
    const QvRect rc = UiScale()(MakeQvRect(layout.left, layout.top, layout.right, layout.bottom));
    return RECT{rc.left, rc.top, rc.right, rc.bottom};
}

// The warning font at the layout's height, or smaller where the line would be cut at the sides.
void CreateWarningFont(CFont& font, const std::wstring& line, const RECT& place) {
    const wchar_t* face = Korean() ? L"NanumGothic" : L"Arial";
    const int layoutHeight = Korean() ? 18 : 16;
    CClientDC screen(nullptr);
    const auto widthAt = [&](int height) {
        CFont trial;
        if (!trial.Create(height, 0, 700, 0, face) || !screen.GetSafeHdc()) return 0;
        CSelectObject selected(screen, trial);
        SIZE size{};
        ::GetTextExtentPoint32W(screen, line.c_str(), static_cast<int>(line.size()), &size);
        return static_cast<int>(size.cx);
    };
    const int height =
        FittingFontHeight(UiPx(layoutHeight), UiPx(kSmallestWarningHeight), place.right - place.left, widthAt);
    font.Create(height, 0, 700, 0, face);
}

// A label that screen readers find at the warning line's place; it draws nothing, the dialog's
// paint draws the line (red on the background picture), and clicks pass through to the dialog.
void CreateWarningLabel(HWND dialog, int id, const std::wstring& text, const RECT& rc) {
    ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, rc.left, rc.top,
                      rc.right - rc.left, rc.bottom - rc.top, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      ::GetModuleHandleW(nullptr), nullptr);
}

void SetButtonFont(CMultiTextBtn& button, int koreanHeight, int englishHeight) {
    if (Korean())
        button.SetFont(L"NanumGothic", UiPx(koreanHeight), 0, 1, 1, 0);
    else
        button.SetFont(L"Arial", UiPx(englishHeight), 0, 1, 1, 0);
}

// A skinned button's picture and place at the window's scale; the picture's frames lie at the
// button's width.
void PlaceButton(CMultiTextBtn& button, CDIBSectionLite& image, UINT imageId, const RECT& layout) {
    image.LoadResourceBitmap(imageId, UiScale(), layout.right - layout.left);
    button.SetImage(&image);
    const RECT rc = Scaled(layout);
    button.MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

RECT CommandButtonRect(int i) {
    const int left = kCommandButtonOrigin.x + kCommandButtonPitch * i;
    return RECT{left, kCommandButtonOrigin.y, left + kCommandButtonSize.cx,
                kCommandButtonOrigin.y + kCommandButtonSize.cy};
}

// Tab order and reading order follow the window from top to bottom; the heading list stays above
// the item list it covers.
void SetReadingOrder(HWND dialog) {
    const int order[] = {IDC_EXIT,           IDC_BANNER,       IDC_WARNING_ENGLISH,
                         IDC_WARNING_KOREAN, IDC_CHECK_SERVER, IDC_START_INSTALLATION,
                         IDC_LIST_HEADER,    IDC_LIST_ITEMS};
    HWND after = HWND_TOP;
    for (int id : order) {
        const HWND control = ::GetDlgItem(dialog, id);
        KeepControlLayoutOnDpiChange(control);
        ::SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        after = control;
    }
}

// A skinned button's text colours, slot by slot from the first.
void SetTextColors(CMultiTextBtn& button, std::initializer_list<COLORREF> colors) {
    int slot = 0;
    for (COLORREF color : colors) button.SetTextColor(slot++, color);
}
}  // namespace

void CQuorvelDownloadDlg::BuildControls() {
    if (m_bControlsBuilt == 1) return;
    m_bControlsBuilt = 1;
    m_listItems.m_bDrawFrame = 1;
    m_listHeader.m_bDrawFrame = 1;
    m_listItems.SetLanguage(LanguageIndex);
    m_listHeader.SetLanguage(LanguageIndex);

    m_listItems.SetGridSize(5, 4, false, 1);
    m_listHeader.SetGridSize(1, 4, false);
    // The heading list lies over the top of the item list: keep it above, and keep the item list
    // from painting over it.
    m_listItems.ModifyStyle(0, WS_CLIPSIBLINGS);
    ::SetWindowPos(m_listHeader, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    m_listItems.SetCheckMode(1);
    for (int c = 0; c < 4; ++c) m_listHeader.SetColumnTitle(c, LocalText(kColumnTitles[c]));

    for (int i = 0; i < 2; ++i) {
        m_pImgCommand[i] = std::make_unique<CDIBSectionLite>();
        m_pBtnCommand[i] = std::make_unique<CMultiTextBtn>();
        CMultiTextBtn& button = *m_pBtnCommand[i];
        button.Create(m_pImgCommand[i].get(), 0, 0, 0, 0, L"", this, i == 0 ? IDC_CHECK_SERVER : IDC_START_INSTALLATION,
                      4);
        SetTextColors(button, {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 255), RGB(74, 74, 74)});
        button.SetText(LocalText(i == 0 ? TextId::CheckServer : TextId::StartInstallation));
    }

    m_pImgExit = std::make_unique<CDIBSectionLite>();
    m_btnExit.Create(m_pImgExit.get(), 0, 0, 0, 0, L"", this, IDC_EXIT, 4);
    m_btnExit.SetText(LocalText(TextId::Exit));
    SetTextColors(m_btnExit, {RGB(255, 255, 255), RGB(192, 192, 192), RGB(255, 255, 255)});

    m_pImgBanner = std::make_unique<CDIBSectionLite>();
    m_btnBanner.Create(m_pImgBanner.get(), 0, 0, 0, 0, L"", this, IDC_BANNER, 1);
    SetTextColors(m_btnBanner, {RGB(255, 255, 255), RGB(255, 255, 255), RGB(237, 173, 138)});
    m_btnBanner.ModifyStyle(WS_TABSTOP, 0);  // a notice, not a command

    CreateWarningLabel(m_hWnd, IDC_WARNING_ENGLISH, LocalText(kWarningLines[0]), kWarningLabelRects[0]);
    CreateWarningLabel(m_hWnd, IDC_WARNING_KOREAN, LocalText(kWarningLines[1]), kWarningLabelRects[1]);

    PlaceControls();
    for (CMultilineList* list : {&m_listItems, &m_listHeader}) {
        list->RequestFrame();
        list->ShowWindow(SW_SHOW);
        list->Invalidate(TRUE);
    }
    for (CMultiTextBtn* button : {m_pBtnCommand[0].get(), m_pBtnCommand[1].get(), &m_btnExit, &m_btnBanner})
        button->ShowWindow(SW_SHOW);

    SetReadingOrder(m_hWnd);
    // Focus cues stay hidden until the first key press, as in any dialog opened with the mouse.
    ForgetKeyboardUse(m_hWnd);
}

// Everything whose size follows the window's scale: pictures, fonts and places.
void CQuorvelDownloadDlg::PlaceControls() {
    if (Korean())
        m_fontTitle.Create(UiPx(28), 0, 600, 0, L"Arial");
    else
        m_fontTitle.Create(UiPx(18), 0, 600, 0, L"Arial");
    for (int i = 0; i < 2; ++i)
        CreateWarningFont(m_fontWarning[i], LocalText(kWarningLines[i]), Scaled(kWarningLineRects[i]));

    const RECT list = Scaled(kListRect);
    m_listItems.MoveWindow(list, TRUE);
    m_listHeader.MoveWindow(list.left, list.top, list.right - list.left, UiPx(kHeadingHeight), TRUE);
    // Column widths from scaled edges, so the columns end where the layout's do.
    int left = 0;
    for (int c = 0; c < 4; ++c) {
        const int width = UiPx(left + kColumnWidths[c]) - UiPx(left);
        left += kColumnWidths[c];
        m_listItems.SetColumnWidth(c, width);
        m_listHeader.SetColumnWidth(c, width);
    }
    m_listItems.ApplyScale();
    m_listHeader.ApplyScale();

    for (int i = 0; i < 2; ++i) {
        PlaceButton(*m_pBtnCommand[i], *m_pImgCommand[i], IDB_COMMAND_BUTTON, CommandButtonRect(i));
        SetButtonFont(*m_pBtnCommand[i], 22, 18);
    }
    PlaceButton(m_btnExit, *m_pImgExit, IDB_EXIT, kExitRect);
    SetButtonFont(m_btnExit, 18, 18);
    PlaceButton(m_btnBanner, *m_pImgBanner, IDB_BANNER, kBannerRect);
    SetButtonFont(m_btnBanner, 22, 18);

    for (int i = 0; i < 2; ++i) {
        const RECT rc = Scaled(kWarningLabelRects[i]);
        ::MoveWindow(::GetDlgItem(m_hWnd, i == 0 ? IDC_WARNING_ENGLISH : IDC_WARNING_KOREAN), rc.left, rc.top,
                     rc.right - rc.left, rc.bottom - rc.top, FALSE);
    }
    Invalidate(FALSE);
}

SIZE CQuorvelDownloadDlg::LoadBackground() {
    if (m_imgBackground.LoadResourceBitmap(IDB_BACKGROUND, UiScale())) return m_imgBackground.Size();
    m_imgBackground.Clear();
    return SIZE{UiPx(kWindowSize.cx), UiPx(kWindowSize.cy)};
}

// The window moves to a monitor of another DPI: it lays itself out at the new scale where
// Windows suggests, inside that monitor's work area. Another thread's message carries no
// rectangle this process can read: the window then keeps its place.
LRESULT CQuorvelDownloadDlg::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
    const DpiScale scale(LOWORD(wParam));
    RECT place = GetWindowRect();
    if (lParam && !(::InSendMessageEx(nullptr) & ISMEX_SEND)) place = *reinterpret_cast<const RECT*>(lParam);
    if (scale != UiScale()) {
        SetUiScale(scale);
        PlaceControls();
        if (m_msgBox.m_hWnd) m_msgBox.ApplyScale();
    }
    const SIZE size = LoadBackground();
    KeepOnMonitor(RECT{place.left, place.top, place.left + size.cx, place.top + size.cy});
    return 0;
}

void CQuorvelDownloadDlg::KeepOnMonitor(const RECT& rc) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    QvRect place = MakeQvRect(rc.left, rc.top, rc.right, rc.bottom);
    if (::GetMonitorInfoW(::MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        place = KeepInside(place, MakeQvRect(work.left, work.top, work.right, work.bottom));
    }
    SetWindowPos(nullptr, place.left, place.top, place.Width(), place.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CQuorvelDownloadDlg::OnPaint() {
    CPaintDC dc(m_hWnd);
    const RECT client = GetClientRect();
    dc.FillSolidRect(client, kWindowColour);
    m_imgBackground.DrawAt(dc, POINT{0, 0});
    {
        CSelectObject font(dc, m_fontTitle);
        CTextMode mode(dc, TRANSPARENT, RGB(255, 255, 255));
        RECT rc = Scaled(kTitleRect);
        ::DrawTextW(dc, kMainWindowTitle, -1, &rc, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    CTextMode mode(dc, TRANSPARENT, RGB(255, 0, 0));
    for (int i = 0; i < 2; ++i) {
        CSelectObject font(dc, m_fontWarning[i]);
        RECT rc = Scaled(kWarningLineRects[i]);
        ::DrawTextW(dc, LocalText(kWarningLines[i]).c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_NOPREFIX);
    }
    return 0;
}

void CQuorvelDownloadDlg::SetBannerText(const std::wstring& text) { m_btnBanner.SetText(text); }

// A notice by the numbers of its lines in the text table (-1 for a line that is not one of its entries).
static void LogNotice(const std::wstring& first, const std::wstring& second) {
    // An entry with "%s" matches the texts made from it.
    const auto made = [](const std::wstring& entry, const std::wstring& text) {
        const size_t at = entry.find(L"%s");
        if (at == std::wstring::npos) return entry == text;
        const size_t tail = entry.size() - at - 2;
        return text.size() >= entry.size() - 2 && text.compare(0, at, entry, 0, at) == 0 &&
               text.compare(text.size() - tail, tail, entry, at + 2, tail) == 0;
    };
    const auto numberOf = [&made](const std::wstring& text) {
        const std::vector<std::wstring>& entries = g_localText.Items();
        const auto found =
            std::find_if(entries.begin(), entries.end(), [&](const std::wstring& entry) { return made(entry, text); });
        return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
    };
    if (second.empty())
        LogEvent("notice", {{"text", numberOf(first)}});
    else
        LogEvent("notice", {{"text", numberOf(first)}, {"second", numberOf(second)}});
}

int CQuorvelDownloadDlg::ShowNotice(const std::wstring& first) { return ShowNotice(first, L""); }

int CQuorvelDownloadDlg::ShowNotice(const std::wstring& first, const std::wstring& second) {
    SetBannerText(first);
    LogNotice(first, second);
    // A passive run logs its notices and shows no message box: nobody is there to answer it.
    if (m_command.mode == RunMode::Passive) return 1;
    if (m_msgBox.IsActive()) m_msgBox.Deactivate();
    m_msgBox.ShowAndWait(first, second, 10, 6);
    return 1;
}
