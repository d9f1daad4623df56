// The program's message box. Modality is imitated: ShowAndWait runs a nested message loop that
// blocks in GetMessage until a button or key chooses.
#include "controls/DlgMsgBox.h"

#include "controls/FocusCue.h"
#include "controls/MemDC2.h"
#include "controls/RectConversion.h"
#include "controls/logic/MsgBoxLayout.h"
#include "framework/Dpi.h"
#include "framework/WinApp.h"
#include "resources/resource.h"

namespace {

// Sent by a thread that does not own the box: the box's own thread shows the message and waits.
const UINT UM_SHOW_AND_WAIT = WM_APP + 0x2B2;
const int kLanguageKorean = 1;
const int kLanguageGerman = 13;
const int kButtonStripFrames = 4;
const POINT kInitialButtonPlaces[CDlg_MSG_Box::kButtonCount] = {{137, 95}, {252, 95}, {252, 95}};

bool IsButtonlessSet(int buttonSet) { return buttonSet == 0 || buttonSet == 9; }

}  // namespace

struct CDlg_MSG_Box::ShowRequest {
    const std::wstring* mainText;
    const std::wstring* secondText;
    int kind;
    int buttonSet;
};

CDIBSectionLite CDlg_MSG_Box::s_imgBackground;

CDlg_MSG_Box::CDlg_MSG_Box(CWnd* owner) : CDialog(IDD_MSG_BOX, owner) {}

CDlg_MSG_Box::~CDlg_MSG_Box() {
    // The buttons go with the window before the strips they draw from.
    DestroyWindow();
}

CMultiTextBtn* CDlg_MSG_Box::GetButton(int id) {
    const int index = id - kIdButtonFirst;
    return index >= 0 && index < kButtonCount ? &m_btns[index] : nullptr;
}

BOOL CDlg_MSG_Box::OnInitDialog() {
    CDialog::OnInitDialog();
    // The box paints under its buttons only; together with the off-screen paint nothing flickers.
    ModifyStyle(0, WS_CLIPCHILDREN);

    KeepDialogLayoutOnDpiChange(m_hWnd);
    ApplyScale();
    return TRUE;
}

// The panel, icons, fonts and buttons at the window's scale; the box's size follows the panel.
void CDlg_MSG_Box::ApplyScale() {
    s_imgBackground.LoadResourceBitmap(IDB_MSGBOX_BACKGROUND, UiScale());
    RECT owner{};
    if (m_pParent && m_pParent->m_hWnd) owner = m_pParent->GetWindowRect();
    const bool shown = IsWindowVisible() != FALSE;
    SetWindowPos(HWND_NOTOPMOST, owner.left, owner.top, s_imgBackground.Width(), s_imgBackground.Height(),
                 SWP_NOACTIVATE | (shown ? SWP_NOMOVE | SWP_NOZORDER : SWP_HIDEWINDOW));

    if (m_nLanguage == kLanguageKorean)
        CreateTextFont(L"NanumGothic", 26);
    else if (m_nLanguage == kLanguageGerman)
        CreateTextFont(L"Arial", 22);
    else
        CreateTextFont(L"Arial", 24);

    // Each icon is loaded at the scale when a box of its kind is first painted.
    for (CDIBSectionLite& icon : m_imgIcons) icon.Clear();
    CreateButtons();
    LayoutButtons();
    if (shown) {
        PlaceBox();
        Invalidate(FALSE);
    }
}

void CDlg_MSG_Box::CreateTextFont(const wchar_t* face, int height) {
    if (m_nLanguage == kLanguageKorean && height > 2) --height;
    m_fontText.DeleteObject();
    m_bTextFontCreated =
        m_fontText.Create(UiPx(height), 0, FW_NORMAL, ANSI_CHARSET, face, CLEARTYPE_QUALITY, FF_SWISS | DEFAULT_PITCH);
}

void CDlg_MSG_Box::CreateButtons() {
    m_imgButton.LoadResourceBitmap(IDB_MSGBOX_BUTTON, UiScale(), msgbox::kButtonWidth);
    for (int i = 0; i < kButtonCount; ++i) {
        CMultiTextBtn& button = m_btns[i];
        if (!button.m_hWnd) {
            button.Create(&m_imgButton, UiPx(kInitialButtonPlaces[i].x), UiPx(kInitialButtonPlaces[i].y),
                          UiPx(msgbox::kButtonWidth), UiPx(msgbox::kButtonHeight), L"", this, kIdButtonFirst + i,
                          kButtonStripFrames);
            button.SetText(L"");
        } else {
            button.SetImage(&m_imgButton);
        }
        button.SetTextColor(0, RGB(0, 0, 0));
        button.SetTextColor(1, RGB(0, 0, 0));
        if (m_nLanguage == kLanguageKorean)
            button.SetFont(L"Arial", UiPx(26), 0, 1, DT_CENTER, ANSI_CHARSET);
        else
            button.SetFont(L"Arial", UiPx(20), UiPx(8), 1, DT_CENTER, ANSI_CHARSET);
    }
}

void CDlg_MSG_Box::ShowButtons() { ApplyButtonLayout(StartVisibility::Shown); }

void CDlg_MSG_Box::HideButtons() { ApplyButtonLayout(StartVisibility::Hidden); }

// On its own the layout starts from each button's current visibility.
void CDlg_MSG_Box::LayoutButtons() { ApplyButtonLayout(StartVisibility::Current); }

// Places, captions and selects the buttons of the current set and applies only the final
// visibility: showing and hiding a button in turn would invalidate the box and paint it again.
void CDlg_MSG_Box::ApplyButtonLayout(StartVisibility start) {
    bool visible[kButtonCount];
    for (int i = 0; i < kButtonCount; ++i) {
        const bool shown = (m_btns[i].GetStyle() & WS_VISIBLE) != 0;
        visible[i] = start == StartVisibility::Current ? shown : start == StartVisibility::Shown;
    }
    const msgbox::ButtonSetLayout layout = msgbox::ButtonsForSet(m_nButtonSet, m_nKind);
    if (layout.known) {
        const RECT client = GetClientRect();
        const int count = static_cast<int>(layout.buttons.size());
        std::vector<CMultiTextBtn*> active;
        bool used[kButtonCount] = {};
        for (int i = 0; i < count; ++i) {
            const msgbox::ButtonSpec& wanted = layout.buttons[static_cast<size_t>(i)];
            CMultiTextBtn* button = GetButton(wanted.id);
            if (!button) continue;
            used[wanted.id - kIdButtonFirst] = true;
            const QvRect rc = msgbox::ButtonRect(msgbox::ButtonCentre(client.right, count, i), client.bottom);
            RECT now = button->GetWindowRect();
            ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&now), 2);
            if (ToQvRect(now) != rc) button->MoveWindow(rc.left, rc.top, rc.Width(), rc.Height(), TRUE);
            if (button->GetText() != wanted.caption) button->SetText(wanted.caption);
            button->SetSelected(count >= 2 && i == 0, TRUE);
            active.push_back(button);
        }
        for (int i = 0; i < kButtonCount; ++i) {
            if (!used[i])
                visible[i] = false;
            else if (IsButtonlessSet(m_nButtonSet))
                visible[i] = true;  // the set's one "OK" button
        }
        m_nFocusIndex = 0;
        m_vecActiveButtons = active;
        MarkFocusedButton();
    }
    for (int i = 0; i < kButtonCount; ++i) {
        const bool shown = (m_btns[i].GetStyle() & WS_VISIBLE) != 0;
        if (shown != visible[i]) m_btns[i].ShowWindow(visible[i] ? SW_SHOWNA : SW_HIDE);
    }
}

void CDlg_MSG_Box::SetContent(const std::wstring& mainText, const std::wstring& secondText, int kind, int buttonSet) {
    m_nKind = kind;
    m_strMainText = mainText;
    m_strSecondText = secondText;
    // Set 9 shows like set 0 and is set 0 from then on.
    m_nButtonSet = buttonSet == 9 ? 0 : buttonSet;
    // The window text carries the message for screen readers and automation.
    SetWindowText(secondText.empty() ? mainText : mainText + L"\n" + secondText);
    PlaceBox();
    // Laid out when the content changes, not on every paint, so that a repaint keeps the keyboard
    // selection.
    if (IsButtonlessSet(m_nButtonSet))
        HideButtons();
    else
        ShowButtons();
}

void CDlg_MSG_Box::ShowMessage(const std::wstring& mainText, const std::wstring& secondText, int kind, int buttonSet) {
    m_nButtonSet = 0;
    SetContent(mainText, secondText, kind, buttonSet);
    MatchOwnerKeyboardCues();
    ++m_nShownSerial;
    ShowWindow(SW_SHOW);
    UpdateWindow();
    Invalidate(TRUE);
    ::SetForegroundWindow(m_hWnd);
    m_bActive = 1;
    UpdateWindow();
    ::SetForegroundWindow(m_hWnd);
}

void CDlg_MSG_Box::Deactivate() {
    m_bActive = 0;
    if (m_pParent && m_pParent->m_hWnd) ::SetForegroundWindow(m_pParent->m_hWnd);
}

int CDlg_MSG_Box::ShowAndWait(const std::wstring& mainText, const std::wstring& secondText, int kind, int buttonSet) {
    if (!m_hWnd) return msgbox::kIdSecond;
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId()) {
        const ShowRequest request{&mainText, &secondText, kind, buttonSet};
        std::lock_guard<std::mutex> sender(m_senderMutex);
        {
            std::lock_guard<std::mutex> lock(m_requestMutex);
            m_pRequest = &request;
        }
        const int id = static_cast<int>(SendMessage(UM_SHOW_AND_WAIT));
        std::lock_guard<std::mutex> lock(m_requestMutex);
        m_pRequest = nullptr;  // the box is gone or never took it
        return id;
    }
    ShowMessage(mainText, secondText, kind, buttonSet);
    const unsigned serial = m_nShownSerial;
    while (m_nChoiceSerial < serial) {
        if (!m_hWnd) return msgbox::kIdSecond;  // the box went with its owner
        if (!CWinApp::PumpMessage()) {
            // The program is ending: the outer loop must see the quit request too.
            CWinApp* app = CWinApp::Get();
            ::PostQuitMessage(app ? app->m_nExitCode : 0);
            Deactivate();
            return msgbox::kIdSecond;
        }
    }
    const int id = m_nChoiceId;
    Deactivate();
    return id;
}

LRESULT CDlg_MSG_Box::OnShowAndWaitRequest() {
    const ShowRequest* request = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_requestMutex);
        std::swap(request, m_pRequest);
    }
    if (!request) return msgbox::kIdSecond;
    return ShowAndWait(*request->mainText, *request->secondText, request->kind, request->buttonSet);
}

void CDlg_MSG_Box::RecordChoice(int id) {
    m_nChoiceId = id;
    m_nChoiceSerial = m_nShownSerial;
}

void CDlg_MSG_Box::OnButton10() {
    RecordChoice(msgbox::kIdFirst);
    Deactivate();
    OnOK();
}

void CDlg_MSG_Box::OnButton11() {
    RecordChoice(msgbox::kIdSecond);
    OnCancel();
}

void CDlg_MSG_Box::OnButton12() {
    RecordChoice(msgbox::kIdThird);
    Deactivate();
}

void CDlg_MSG_Box::RunChoice(int id) {
    switch (id) {
    case msgbox::kIdFirst: OnButton10(); break;
    case msgbox::kIdSecond: OnButton11(); break;
    case msgbox::kIdThird: OnButton12(); break;
    default: break;
    }
}

BOOL CDlg_MSG_Box::OnCommand(WPARAM wParam, LPARAM) {
    switch (wParam) {
    case msgbox::kIdFirst:
    case msgbox::kIdSecond:
    case msgbox::kIdThird: RunChoice(static_cast<int>(wParam)); return TRUE;
    // A close request (Alt+F4, the system menu) answers like the second button.
    case IDCANCEL: OnButton11(); return TRUE;
    case IDOK: OnButton10(); return TRUE;
    default: return FALSE;
    }
}

void CDlg_MSG_Box::SelectFocused() {
    for (size_t i = 0; i < m_vecActiveButtons.size(); ++i)
        m_vecActiveButtons[i]->SetSelected(static_cast<int>(i) == m_nFocusIndex, TRUE);
    MarkFocusedButton();
}

void CDlg_MSG_Box::MarkFocusedButton() {
    const CMultiTextBtn* focused = m_nFocusIndex >= 0 && m_nFocusIndex < static_cast<int>(m_vecActiveButtons.size())
                                       ? m_vecActiveButtons[static_cast<size_t>(m_nFocusIndex)]
                                       : nullptr;
    for (CMultiTextBtn& button : m_btns) button.SetFocusCue(&button == focused);
}

void CDlg_MSG_Box::MatchOwnerKeyboardCues() {
    if (!m_pParent || !m_pParent->m_hWnd) return;
    if (FocusCuesShown(m_pParent->m_hWnd))
        NoteKeyboardUse(m_hWnd);
    else
        ForgetKeyboardUse(m_hWnd);
}

void CDlg_MSG_Box::ShowKeyboardCues() { NoteKeyboardUse(m_hWnd); }

BOOL CDlg_MSG_Box::PreTranslateMessage(MSG* msg) {
    const bool forBox = m_hWnd && (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd));
    if (!forBox) return CDialog::PreTranslateMessage(msg);
    if (msg->message == WM_KEYDOWN) return TRUE;
    if (msg->message != WM_KEYUP) return CDialog::PreTranslateMessage(msg);

    ShowKeyboardCues();
    const int count = static_cast<int>(m_vecActiveButtons.size());
    switch (msg->wParam) {
    case VK_RETURN: RunChoice(msgbox::EnterChoice(m_nButtonSet, count, m_nFocusIndex)); return TRUE;
    case VK_ESCAPE: RunChoice(msgbox::EscapeChoice(m_nButtonSet)); return CDialog::PreTranslateMessage(msg);
    case VK_LEFT:
    case VK_RIGHT: {
        const int next = msgbox::MoveFocus(m_nFocusIndex, msg->wParam == VK_LEFT ? -1 : 1, count);
        if (next != m_nFocusIndex) {
            m_nFocusIndex = next;
            SelectFocused();
        }
        return TRUE;
    }
    default: return TRUE;
    }
}

LRESULT CDlg_MSG_Box::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: return OnPaint();
    case WM_PRINTCLIENT: PaintTo(reinterpret_cast<HDC>(wParam)); return 0;
    case WM_ERASEBKGND: return 1;
    case UM_SHOW_AND_WAIT: return OnShowAndWaitRequest();
    default: return CDialog::WindowProc(msg, wParam, lParam);
    }
}

LRESULT CDlg_MSG_Box::OnPaint() {
    CPaintDC dc(m_hWnd);
    if (dc.GetSafeHdc()) PaintTo(dc);
    return 0;
}

void CDlg_MSG_Box::PaintTo(HDC target) {
    if (!target || s_imgBackground.IsEmpty()) return;
    const RECT client = GetClientRect();
    CMemDC2 dc(target, client);
    if (!dc.GetSafeHdc()) return;
    const RECT whole{0, 0, s_imgBackground.Width(), s_imgBackground.Height()};
    if (!s_imgBackground.StretchTo(dc, client, whole)) return;
    if (m_nKind >= 0 && m_nKind < kKindCount) {
        CDIBSectionLite& icon = m_imgIcons[m_nKind];
        if (icon.IsEmpty()) icon.LoadResourceBitmap(IDB_MSGBOX_ICON_FIRST + m_nKind, UiScale());
        icon.DrawAt(dc, POINT{UiPx(msgbox::kIconLeft), msgbox::IconTop(client.bottom, IsButtonlessSet(m_nButtonSet))});
    }
    DrawMessageText(dc, client);
}

void CDlg_MSG_Box::DrawMessageText(HDC dc, const RECT& client) {
    CSelectObject font(dc, m_bTextFontCreated ? static_cast<HFONT>(m_fontText) : nullptr);
    CTextMode mode(dc, TRANSPARENT, RGB(255, 255, 255));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, m_strMainText.c_str(), static_cast<int>(m_strMainText.size()), &size);

    const int right = client.right - UiPx(msgbox::kTextRightMargin);
    const int left = UiPx(msgbox::kTextLeft);
    const int bottom = client.bottom;
    const UINT flags = DT_WORDBREAK | DT_NOPREFIX;
    RECT measured{left, 0, right, 0};
    ::DrawTextW(dc, m_strMainText.c_str(), static_cast<int>(m_strMainText.size()), &measured, flags | DT_CALCRECT);

    const msgbox::TextTops tops = msgbox::PlaceTexts(bottom, right - left, size.cx, size.cy, m_strSecondText.empty(),
                                                     m_nButtonSet == 0, measured.bottom - measured.top);
    m_rcMainText = RECT{left, tops.mainTop, right, bottom};
    ::DrawTextW(dc, m_strMainText.c_str(), static_cast<int>(m_strMainText.size()), &m_rcMainText, flags);
    m_rcSecondText = RECT{left, tops.secondTop, right, bottom};
    if (!m_strSecondText.empty())
        ::DrawTextW(dc, m_strSecondText.c_str(), static_cast<int>(m_strSecondText.size()), &m_rcSecondText, flags);
}

// An owner that sits partly off the screen would take the box with it: the box then goes to the
// screen's centre instead, as a box without an owner does.
void CDlg_MSG_Box::PlaceBox() {
    const int iw = s_imgBackground.Width(), ih = s_imgBackground.Height();
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    const int x = ::GetSystemMetrics(SM_CXFULLSCREEN) / 2 - iw / 2;
    const int y = screenHeight / 2 - ih / 2;
    QvRect rc = MakeQvRect(x, y, x + iw, y + ih);
    const HWND owner = m_pParent ? m_pParent->m_hWnd : nullptr;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (owner && !(::GetWindowPlacement(owner, &placement) &&
                   msgbox::NeedsScreenCentre(ToQvRect(placement.rcNormalPosition), iw, ih, screenHeight)))
        rc = msgbox::CentreOver(ToQvRect(m_pParent->GetWindowRect()), iw, ih);
    SetWindowPos(nullptr, rc.left, rc.top, rc.Width(), rc.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}
