// The skinned push button. It is an owner-drawn BUTTON so that the class never paints its own look
// (focus, push state, default-button style); everything is drawn by this class's paint, off-screen,
// including the focus cue. To the dialog manager it answers as a push button (Enter presses it).
#include "controls/MultiTextBtn.h"

#include "controls/FocusCue.h"
#include "controls/MemDC2.h"
#include "controls/RectConversion.h"
#include "controls/logic/CaptionLayout.h"
#include "controls/logic/DpiScale.h"
#include "controls/logic/TextFit.h"

#include <windowsx.h>

#include <algorithm>

namespace {

// Sets the window text from the caption on the window's own thread (SetText from a worker).
const UINT UM_SYNC_WINDOW_TEXT = WM_APP + 0x2B1;
const UINT kHighestDrawnState = 3;

SIZE MeasureLine(HDC dc, const std::wstring& text) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

}  // namespace

CMultiTextBtn::CMultiTextBtn() = default;

CMultiTextBtn::~CMultiTextBtn() { DestroyWindow(); }

BOOL CMultiTextBtn::Create(CDIBSectionLite* image, int x, int y, int cx, int cy, const std::wstring& caption,
                           CWnd* parent, UINT id, UINT frames) {
    m_rcPlace = RECT{x, y, x + cx, y + cy};
    if (!CButton::Create(L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, m_rcPlace, parent, id)) return FALSE;
    m_nID = id;
    {
        std::lock_guard<std::mutex> lock(m_captionLock);
        m_strCaption = caption;
    }
    m_nFrames = frames;
    m_nFramesGiven = frames;
    SetImage(image);
    SetFont(L"Arial", 18, 10, 0, DT_CENTER, ANSI_CHARSET);
    SyncWindowText();
    return TRUE;
}

BOOL CMultiTextBtn::SetImage(CDIBSectionLite* image) {
    if (!image) return FALSE;
    m_pImage = image;
    m_nImageWidth = image->Width();
    m_nImageHeight = image->Height();
    return TRUE;
}

BOOL CMultiTextBtn::SetFont(const wchar_t* face, int height, int width, int weightCode, UINT formatFlags,
                            BYTE charSet) {
    const int weight = weightCode == 1 ? FW_BOLD : weightCode == 2 ? FW_SEMIBOLD : FW_NORMAL;
    m_nFormat = formatFlags;
    m_font.DeleteObject();
    m_bFontCreated = m_font.Create(height, width, weight, charSet, face, CLEARTYPE_QUALITY, FF_SWISS);
    if (m_bFontCreated) {
        m_nFontHeight = height;
        ::GetObjectW(m_font, sizeof m_logFont, &m_logFont);
    }
    m_strFittedFor.clear();
    m_fontFitted.DeleteObject();
    return TRUE;
}

BOOL CMultiTextBtn::SetText(const std::wstring& caption) {
    if (!m_hWnd || !::IsWindow(m_hWnd)) return TRUE;
    {
        std::lock_guard<std::mutex> lock(m_captionLock);
        m_strCaption = caption;
    }
    Invalidate(FALSE);
    SyncWindowText();
    return TRUE;
}

void CMultiTextBtn::SetFocusCue(BOOL shown) {
    if (m_bFocusCue == shown) return;
    m_bFocusCue = shown;
    if (m_hWnd) Invalidate(FALSE);
}

std::wstring CMultiTextBtn::GetText() const {
    std::lock_guard<std::mutex> lock(m_captionLock);
    return m_strCaption;
}

void CMultiTextBtn::SyncWindowText() {
    DWORD owner = ::GetWindowThreadProcessId(m_hWnd, nullptr);
    if (owner == ::GetCurrentThreadId())
        OnSyncWindowText();
    else
        PostMessage(UM_SYNC_WINDOW_TEXT);  // a sent WM_SETTEXT could block a worker on a busy window
}

// A changed caption is announced to screen readers (the banner's notices and progress).
LRESULT CMultiTextBtn::OnSyncWindowText() {
    const std::wstring caption = GetText();
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::wstring shown(static_cast<size_t>(length) + 1, L'\0');
    shown.resize(static_cast<size_t>(::GetWindowTextW(m_hWnd, &shown[0], length + 1)));
    if (shown == caption) return 0;
    ::SetWindowTextW(m_hWnd, caption.c_str());
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
    return 0;
}

BOOL CMultiTextBtn::SetTextColor(int slot, COLORREF colour) {
    if (slot < 0 || slot >= kColourSlots) return FALSE;
    m_crText[slot] = colour;
    return TRUE;
}

BOOL CMultiTextBtn::SetState(UINT state, BOOL redraw) {
    if (state > m_nFrames) return FALSE;
    m_nState = state;
    if (state == kStateNormal) m_bSelected = FALSE;
    if (redraw) Invalidate(FALSE);
    return TRUE;
}

void CMultiTextBtn::SetSelected(BOOL selected, BOOL redraw) {
    m_bSelected = selected;
    if (redraw) Invalidate(FALSE);
}

LRESULT CMultiTextBtn::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: return OnPaint();
    case WM_PRINTCLIENT: Paint(reinterpret_cast<HDC>(wParam)); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: return OnLButtonDown();
    case WM_LBUTTONUP: return OnLButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_LBUTTONDBLCLK: return 0;  // the second click of a double click does nothing
    case WM_TIMER: return OnTimer(static_cast<UINT_PTR>(wParam));
    case WM_CAPTURECHANGED: return OnCaptureChanged(reinterpret_cast<HWND>(lParam));
    case UM_SYNC_WINDOW_TEXT: return OnSyncWindowText();
    case WM_GETDLGCODE: return OnGetDlgCode(lParam);
    // The button class would repaint its own look for these; the plain window handling is enough.
    case WM_SETTEXT:
    case WM_ENABLE: return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
    // The focus cue follows the focus and the window's keyboard-cue state.
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE: return RepaintAfterDefault(msg, wParam, lParam);
    // The dialog manager makes the focused push button the default one; the type stays owner-drawn
    // so that the class never paints its own look.
    case BM_SETSTYLE: return 0;
    case BM_SETSTATE:
    case BM_SETCHECK: return PaintByClass();
    default: return Default();
    }
}

// Messages whose class handling must run; whatever the class drew is painted over at once.
LRESULT CMultiTextBtn::PaintByClass() {
    LRESULT result = Default();
    Invalidate(FALSE);
    return result;
}

LRESULT CMultiTextBtn::RepaintAfterDefault(UINT msg, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
    Invalidate(FALSE);
    return result;
}

// An owner-drawn button is not a push button to the dialog manager, which would then send Enter to
// the dialog's default command; answered as a push button, the focused one is the default and
// Enter presses it.
LRESULT CMultiTextBtn::OnGetDlgCode(LPARAM keyMessage) const {
    if (IsKeyPress(keyMessage)) NoteKeyboardUse(m_hWnd);
    return DLGC_BUTTON | (::GetFocus() == m_hWnd ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

bool CMultiTextBtn::ShowsFocusCue() const { return (m_bFocusCue || ::GetFocus() == m_hWnd) && FocusCuesShown(m_hWnd); }

LRESULT CMultiTextBtn::OnPaint() {
    CPaintDC dc(m_hWnd);
    if (dc.GetSafeHdc()) Paint(dc);
    return 0;
}

LRESULT CMultiTextBtn::OnLButtonDown() {
    if (m_bClickLock) return 0;
    m_bPressedInside = FALSE;
    if (!m_bEnabled) return 0;
    m_nSavedState = m_nState;
    m_nState = kStatePressed;
    ::SetCapture(m_hWnd);
    Invalidate(FALSE);
    m_bPressedInside = TRUE;
    return 0;
}

LRESULT CMultiTextBtn::OnLButtonUp(POINT pt) {
    if (m_bClickLock) return 0;
    // Cleared before the capture goes, so that the capture change does not count as a cancel.
    const BOOL pressedInside = m_bPressedInside;
    m_bPressedInside = FALSE;
    if (::GetCapture() == m_hWnd) ::ReleaseCapture();
    if (m_nState != 2 && m_bEnabled && pressedInside) {
        m_bClickLock = TRUE;
        m_nState = m_nSavedState;
        Invalidate(FALSE);
        SetTimer(kTimerClickLock, m_nLockMs);
        const RECT client = GetClientRect();
        if (::PtInRect(&client, pt)) ::PostMessageW(GetParentHwnd(), WM_COMMAND, m_nID, 0);
    }
    return 0;
}

// Another window took the mouse during a press: the press ends without a command.
LRESULT CMultiTextBtn::OnCaptureChanged(HWND newCapture) {
    if (m_bPressedInside && newCapture != m_hWnd) {
        m_bPressedInside = FALSE;
        m_nState = m_nSavedState;
        Invalidate(FALSE);
    }
    return 0;
}

LRESULT CMultiTextBtn::OnTimer(UINT_PTR id) {
    if (id == kTimerClickLock) {
        m_bClickLock = FALSE;
        KillTimer(kTimerClickLock);
    }
    return 0;
}

BOOL CMultiTextBtn::Paint(HDC dc) {
    if (!m_hWnd || !::IsWindow(m_hWnd) || !IsWindowVisible()) return FALSE;
    if (!dc) {
        Invalidate(FALSE);
        return TRUE;
    }
    const RECT client = GetClientRect();
    CMemDC2 mem(dc, client);
    if (!mem.GetSafeHdc()) return FALSE;
    if (m_nFrames == 0) m_nFrames = m_nFramesGiven;

    const int W = client.right - client.left;
    const bool hasImage = m_pImage && m_nImageWidth > 0 && m_nImageHeight > 0;
    const int frameHeight = hasImage ? m_nImageHeight : client.bottom - client.top;
    mem.FillSolidRect(client, RGB(0, 0, 0));

    HDC image = hasImage ? m_pImage->AcquireMemoryDC(mem) : nullptr;
    CTextMode mode(mem, TRANSPARENT);
    if (image && m_nState <= kHighestDrawnState) {
        ::BitBlt(mem, 0, 0, W, frameHeight, image, static_cast<int>(m_nState) * W, 0, SRCCOPY);
        ::SetTextColor(mem, m_bSelected ? m_crSelected : m_crText[m_nState]);
    }
    {
        CSelectObject font(mem, m_bFontCreated ? static_cast<HFONT>(m_font) : nullptr);
        DrawCaption(mem, GetText(), client, frameHeight);
    }
    if (ShowsFocusCue()) {
        const int inset = UiPx(3);
        const RECT cue{client.left + inset, client.top + inset, client.right - inset,
                       std::min<LONG>(client.bottom, frameHeight) - inset};
        DrawFocusCue(mem, cue, ::GetTextColor(mem));
    }
    if (hasImage) m_pImage->FreeMemoryDC();
    return TRUE;
}

void CMultiTextBtn::DrawCaption(HDC dc, const std::wstring& caption, const RECT& client, int frameHeight) {
    if (caption.empty()) return;
    const size_t cr = caption.find(L'\r');
    if (cr != std::wstring::npos && cr > 0) {
        // Two parts: the second goes right below the first (a CR LF pair counts as one break).
        const std::wstring first = caption.substr(0, cr);
        std::wstring second = caption.substr(cr + 1);
        if (!second.empty() && second[0] == L'\n') second.erase(0, 1);
        RECT measured{client.left + 1, 0, client.right - 1, 0};
        ::DrawTextW(dc, first.c_str(), static_cast<int>(first.size()), &measured,
                    m_nFormat | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        const SplitCaptionTops tops = PlaceSplitCaption(ToQvRect(client), measured.bottom - measured.top);
        RECT rc = client;
        rc.top = tops.first;
        DrawCaptionText(dc, first, rc, m_nFormat);
        rc.top = tops.second;
        DrawCaptionText(dc, second, rc, m_nFormat);
        return;
    }
    const SIZE size = MeasureLine(dc, caption);
    const CaptionPlacement place = PlaceCaption(ToQvRect(client), frameHeight, size.cx, size.cy,
                                                HasMarkerShift(m_nImageWidth, m_nImageHeight, m_nState));
    const RECT rc = ToRect(place.rect);
    CSelectObject font(dc, FittingFont(dc, caption, rc, frameHeight));
    DrawCaptionText(dc, caption, rc, m_nFormat);
}

HFONT CMultiTextBtn::FittingFont(HDC dc, const std::wstring& caption, const RECT& rc, int frameHeight) {
    const HFONT current = static_cast<HFONT>(::GetCurrentObject(dc, OBJ_FONT));
    if (!m_bFontCreated || IsMarkerStrip(m_nImageWidth, m_nImageHeight) || m_nFontHeight <= 0) return current;
    if (caption == m_strFittedFor && ::EqualRect(&rc, &m_rcFittedFor))
        return m_fontFitted.IsNull() ? current : static_cast<HFONT>(m_fontFitted);
    m_strFittedFor = caption;
    m_rcFittedFor = rc;
    m_fontFitted.DeleteObject();
    const auto fontAt = [&](int height) {
        LOGFONTW lf = m_logFont;
        lf.lfHeight = height;
        lf.lfWidth = ::MulDiv(m_logFont.lfWidth, height, m_nFontHeight);
        return ::CreateFontIndirectW(&lf);
    };
    const auto heightAt = [&](int height) {
        CFont trial;
        trial.Attach(fontAt(height));
        CSelectObject selected(dc, trial.IsNull() ? current : static_cast<HFONT>(trial));
        RECT measured{rc.left + 1, rc.top, rc.right - 1, rc.top};
        ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &measured,
                    m_nFormat | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        return static_cast<int>(measured.bottom);
    };
    const int height =
        FittingFontHeight(m_nFontHeight, (m_nFontHeight + 1) / 2, std::max<int>(frameHeight, rc.top), heightAt);
    if (height == m_nFontHeight) return current;
    m_fontFitted.Attach(fontAt(height));
    return m_fontFitted.IsNull() ? current : static_cast<HFONT>(m_fontFitted);
}

void CMultiTextBtn::DrawCaptionText(HDC dc, const std::wstring& text, RECT rc, UINT flags) {
    rc.left += 1;
    rc.right -= 1;
    const size_t marker = IsMarkerStrip(m_nImageWidth, m_nImageHeight) ? text.find(L"\\n") : std::wstring::npos;
    if (marker == std::wstring::npos) {
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags | DT_WORDBREAK | DT_NOPREFIX);
        return;
    }
    // The two-character marker splits a caption into two centred lines when it does not fit on one;
    // on one line it is shown as a space.
    const std::wstring first = text.substr(0, marker);
    const std::wstring second = text.substr(marker + 2);
    const std::wstring oneLine = first + L" " + second;
    const SIZE size = MeasureLine(dc, oneLine);
    if (size.cx <= rc.right - rc.left) {
        ::DrawTextW(dc, oneLine.c_str(), static_cast<int>(oneLine.size()), &rc, flags | DT_NOPREFIX);
        return;
    }
    const UINT lineFlags = DT_CENTER | DT_SINGLELINE | DT_NOPREFIX;
    rc.top += UiPx(6);
    ::DrawTextW(dc, first.c_str(), static_cast<int>(first.size()), &rc, lineFlags);
    rc.top += MeasureLine(dc, text).cy;
    ::DrawTextW(dc, second.c_str(), static_cast<int>(second.size()), &rc, lineFlags);
}
