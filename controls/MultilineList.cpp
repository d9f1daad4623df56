// The multi-line list window: class registration, set-up, operations and input. Painting is in
// MultilineListPaint.cpp.
#include "controls/MultilineList.h"

#include "controls/FocusCue.h"
#include "framework/Dpi.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <string>

const wchar_t CMultilineList::kClassName[] = L"CMultilineList";

namespace {

const wchar_t kOverflowMessage[] = L" sensor data is over  350 ";

void ReportFailedCheck(const char* what) {
    std::string line = "Assertion failed: ";
    line += what;
    line += " (CMultilineList)\n";
    ::OutputDebugStringA(line.c_str());
}

bool RegisterListClass() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExW(instance, CMultilineList::kClassName, &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = CMultilineList::kClassName;
    return ::RegisterClassExW(&wc) != 0;
}

UINT MessageFor(ListNotice notice) {
    switch (notice) {
    case ListNotice::CheckChanged: return UM_CHECK_CHANGED;
    case ListNotice::RowPressed: return UM_ROW_PRESSED;
    case ListNotice::UnitTapped: return UM_UNIT_TAPPED;
    }
    return UM_ROW_PRESSED;
}

bool CreateRowFont(CFont& font, const ListFontDesc& desc) {
    return font.Create(desc.height, 0, desc.weight, static_cast<BYTE>(desc.charSet), desc.face, CLEARTYPE_QUALITY,
                       FF_SWISS);
}

}  // namespace

CMultilineList::CMultilineList(const std::wstring& imageFolder)
    : m_penHeadingErase(PS_SOLID, 1, RGB(0, 0, 0)),
      m_penHeadingSeparator(PS_SOLID, 1, RGB(140, 150, 130)),
      m_brushUnitMark(RGB(52, 52, 52)),
      m_brushFrame(RGB(200, 210, 220)) {
    // Without the class a dialog template holding the list cannot be created; there is nothing
    // more this object can do about it than say so.
    if (!RegisterListClass()) ReportFailedCheck("the window class CMultilineList could not be registered");

    // The skinned bar draws from the program's bitmap resources; the paths only name them.
    const std::wstring images = imageFolder + L"\\IMAGES\\";
    m_scrollBar.SetUpImage(images + L"DIAGNOSIS_SCROLLBAR_UP.BMP");
    m_scrollBar.SetDownImage(images + L"DIAGNOSIS_SCROLLBAR_DOWN.BMP");
    m_scrollBar.SetThumbImage(images + L"DIAGNOSIS_SCROLLBAR_THUMB.BMP");
}

CMultilineList::~CMultilineList() {
    // Children and pending paints go while every member still exists.
    if (m_hWnd && ::IsWindow(m_hWnd)) DestroyWindow();
}

void CMultilineList::PreSubclassWindow() {
    // The border only takes effect once the window has been resized.
    ModifyStyle(0, WS_BORDER);
    RECT rc = GetWindowRect();
    ::MapWindowPoints(HWND_DESKTOP, GetParentHwnd(), reinterpret_cast<POINT*>(&rc), 2);
    MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top - 1);
    MoveWindow(rc);

    EnsureBackBuffer();
    m_penGrid.Create(PS_SOLID, 1, ::GetSysColor(COLOR_WINDOWTEXT));
    if (!m_scrollBar.m_hWnd) {
        const RECT empty{0, 0, 0, 0};
        if (!m_scrollBar.Create(WS_CHILD | WS_VISIBLE | SBS_VERT | SBS_RIGHTALIGN, empty, this, kScrollBarId))
            ReportFailedCheck("the scroll bar could not be created");
    }
    ApplyScale();
}

void CMultilineList::ApplyScale() {
    const ListRowFonts fonts = listpaint::RowFontsFor(m_nLanguage);
    CreateRowFont(m_fontLine, fonts.lineFont);
    CreateRowFont(m_fontCell, fonts.cellFont);
    CreateRowFont(m_fontSmall, fonts.smallFont);
    m_fontHeader.Create(UiPx(16), 0, FW_BOLD, ANSI_CHARSET, L"Arial", CLEARTYPE_QUALITY, FF_SWISS);
    m_fontMeasure.CreateCopyOf(m_fontLine);
    if (m_model.CheckMode()) LoadCheckImages();
    m_scrollBar.ApplyScale();
    PlaceScrollBar();
    UpdateScrollBar();
    if (m_hWnd) Invalidate(TRUE);
}

void CMultilineList::LoadCheckImages() {
    m_imgChecked.LoadResourceBitmap(kCheckedImageId, UiScale());
    m_imgUnchecked.LoadResourceBitmap(kUncheckedImageId, UiScale());
}

// --- Operations ---------------------------------------------------------------------------------

void CMultilineList::SetGridSize(int rows, int cols, bool redraw, int) {
    SyncGeometry();
    Apply(m_model.SetGridSize(rows, cols, redraw));
}

void CMultilineList::SetColumnWidth(int column, int width) {
    SyncGeometry();
    Apply(m_model.SetColumnWidth(column, width));
}

void CMultilineList::SetColumnTitle(int column, const std::wstring& text) {
    Apply(m_model.SetColumnTitle(column, text));
}

void CMultilineList::SetItemText(int row, int col, std::wstring text) {
    const std::wstring before = m_model.GetItemText(row, col);
    Apply(m_model.SetItemText(row, col, std::move(text)));
    if (row < m_model.GetItemCount() && m_model.GetItemText(row, col) != before) AnnounceNameChange();
}

void CMultilineList::InsertItem(int row, const std::wstring& text, int data) {
    Apply(m_model.InsertItem(row, text, data));
}

void CMultilineList::DeleteAllItems(int firstColumn) { Apply(m_model.DeleteAllItems(firstColumn)); }

void CMultilineList::SetCheckMode(BYTE on, int) {
    m_model.SetCheckMode(on);
    LoadCheckImages();
}

void CMultilineList::SetCheck(int row, BYTE flag) {
    const bool before = m_model.IsChecked(row);
    Apply(m_model.SetCheck(row, flag));
    if (m_model.IsChecked(row) != before) AnnounceNameChange();
}

void CMultilineList::ToggleCheck(int row) {
    Apply(m_model.ToggleCheck(row));
    AnnounceNameChange();
}

void CMultilineList::SetColors(COLORREF header, COLORREF second, COLORREF altRow, COLORREF selection,
                               COLORREF headerText) {
    m_model.SetColors(header, second, altRow, selection, headerText);
}

void CMultilineList::EnsureVisible(int row) {
    SyncGeometry();
    Apply(m_model.EnsureVisible(row));
}

int CMultilineList::HitTest(int x, int y) {
    SyncGeometry();
    return m_model.HitTest(x, y);
}

// --- Window side of the model ------------------------------------------------------------------

void CMultilineList::Apply(const ListEffects& fx) {
    if (fx.fault) ReportFailedCheck(fx.fault);
    if (m_hWnd) {
        if (fx.repaint != ListEffects::Repaint::None) Invalidate(fx.repaint == ListEffects::Repaint::Erase);
        if (fx.updateScrollBar) UpdateScrollBar();
        const HWND parent = GetParentHwnd();
        for (const auto& notice : fx.notices) {
            if (parent)
                ::PostMessageW(parent, MessageFor(notice.first), reinterpret_cast<WPARAM>(this),
                               static_cast<LPARAM>(notice.second));
        }
    }
    if (fx.showOverflowMessage) ShowOverflowMessage();
}

void CMultilineList::ShowOverflowMessage() const {
    ::MessageBoxW(m_hWnd, kOverflowMessage, m_strMessageTitle.c_str(), MB_OK);
}

// The bar's own visibility bit: the list may itself still be hidden during the dialog's set-up.
bool CMultilineList::ScrollBarShown() const { return m_scrollBar.m_hWnd && (m_scrollBar.GetStyle() & WS_VISIBLE) != 0; }

void CMultilineList::SyncGeometry() {
    if (!m_hWnd) return;
    const RECT rc = GetClientRect();
    const int barWidth = ScrollBarShown() ? m_scrollBar.GetClientRect().right : 0;
    m_model.SetViewport({rc.left, rc.top, rc.right, rc.bottom}, barWidth);
}

void CMultilineList::PlaceScrollBar() {
    if (!m_scrollBar.m_hWnd) return;
    SyncGeometry();
    const QvRect rc = m_model.ScrollBarRect(SystemMetricForDpi(SM_CXVSCROLL, UiScale().Dpi()));
    m_scrollBar.MoveWindow(rc.left, rc.top, rc.right - rc.left, std::max(rc.bottom - rc.top, 0), TRUE);
    SyncGeometry();
}

void CMultilineList::UpdateScrollBar() {
    if (!m_scrollBar.m_hWnd) return;
    SyncGeometry();
    const ListScrollRange range = m_model.ScrollRange();
    if (range.needed) {
        if (!ScrollBarShown()) m_scrollBar.ShowWindow(SW_SHOW);
        if (!m_scrollBar.IsWindowEnabled()) m_scrollBar.EnableWindow(TRUE);
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        m_scrollBar.SendMessage(SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si));
        if (si.nMin != 0 || si.nMax != range.max || si.nPage != static_cast<UINT>(range.page) || si.nPos != range.pos) {
            si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
            si.nMin = 0;
            si.nMax = range.max;
            si.nPage = static_cast<UINT>(range.page);
            si.nPos = range.pos;
            m_scrollBar.SendMessage(SBM_SETSCROLLINFO, TRUE, reinterpret_cast<LPARAM>(&si));
        }
    } else {
        m_scrollBar.ShowWindow(SW_HIDE);
        m_scrollBar.EnableWindow(FALSE);
    }
    SyncGeometry();
}

// --- Messages -----------------------------------------------------------------------------------

LRESULT CMultilineList::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: return OnPaint();
    case WM_PRINTCLIENT: return OnPrintClient(reinterpret_cast<HDC>(wParam));
    case WM_ERASEBKGND: return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_SIZE: return OnSize(LOWORD(lParam), HIWORD(lParam));
    case WM_VSCROLL: return OnVScroll(LOWORD(wParam), HIWORD(wParam));
    case WM_HSCROLL: return OnHScroll(LOWORD(wParam), HIWORD(wParam));
    case WM_MOUSEWHEEL: return OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam));
    case WM_LBUTTONDOWN: return OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    case WM_LBUTTONUP: return OnLButtonUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    case WM_LBUTTONDBLCLK: return OnLButtonDblClk();
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(ListWindowText(m_model).size());
    case WM_GETTEXT: return OnGetText(static_cast<size_t>(wParam), reinterpret_cast<wchar_t*>(lParam));
    case WM_GETDLGCODE: return OnGetDlgCode(lParam);
    case WM_KEYDOWN: return OnKeyDown(static_cast<int>(wParam));
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE: return OnFocusChange(msg, wParam, lParam);
    default: return Default();
    }
}

LRESULT CMultilineList::OnSize(int cx, int cy) {
    Default();
    SyncGeometry();
    Apply(m_model.Resize(cx, cy));
    PlaceScrollBar();
    UpdateScrollBar();
    return 0;
}

LRESULT CMultilineList::OnVScroll(int code, unsigned pos) {
    Default();
    SyncGeometry();
    Apply(m_model.VScroll(code, pos));
    return 0;
}

LRESULT CMultilineList::OnHScroll(int code, int pos) {
    Default();
    SyncGeometry();
    Apply(m_model.HScroll(code, pos));
    return 0;
}

LRESULT CMultilineList::OnMouseWheel(int delta) {
    SyncGeometry();
    Apply(m_model.Wheel(delta));
    return Default();
}

// The capture lets a swipe end outside the list and still be measured.
LRESULT CMultilineList::OnLButtonDown(int x, int y) {
    ::SetCapture(m_hWnd);
    SyncGeometry();
    Apply(m_model.LButtonDown(x, y));
    return 0;
}

LRESULT CMultilineList::OnLButtonUp(int x, int y) {
    if (::GetCapture() == m_hWnd) ::ReleaseCapture();
    SyncGeometry();
    Apply(m_model.LButtonUp(x, y));
    return 0;
}

LRESULT CMultilineList::OnLButtonDblClk() {
    const ListEffects fx = m_model.LButtonDblClk();
    if (fx.notices.empty()) return 0;
    Apply(fx);
    return Default();
}

LRESULT CMultilineList::OnGetDlgCode(LPARAM keyMessage) {
    if (IsKeyPress(keyMessage)) NoteKeyboardUse(m_hWnd);
    return DLGC_WANTARROWS | DLGC_WANTCHARS;
}

// Arrows choose the row and Space checks it, as a tap in the check zone does.
LRESULT CMultilineList::OnKeyDown(int key) {
    const ListKeyResult result = ListKeyDown(key, m_model.Selection(), m_model.GetItemCount(), m_model.CheckMode());
    if (!result.handled) return Default();
    SyncGeometry();
    Apply(m_model.SelectRow(result.selection));
    if (result.toggle) {
        ToggleCheck(result.selection);
        if (const HWND parent = GetParentHwnd())
            ::PostMessageW(parent, UM_CHECK_CHANGED, reinterpret_cast<WPARAM>(this),
                           static_cast<LPARAM>(result.selection));
    }
    return 0;
}

// Focus from the keyboard starts on the selected row, or the first; the focus cue follows the
// focus and the window's keyboard-cue state.
LRESULT CMultilineList::OnFocusChange(UINT msg, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Default();
    if (msg == WM_SETFOCUS) {
        SyncGeometry();
        Apply(m_model.SelectRow(ListFocusRow(m_model.Selection(), m_model.GetItemCount())));
    }
    Invalidate(FALSE);
    return result;
}

void CMultilineList::AnnounceNameChange() const {
    if (m_hWnd) ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
}

// The window's text is its rows with their check state (the heading list's: its headings), so that
// screen readers and tools outside the process can read the list.
LRESULT CMultilineList::OnGetText(size_t capacity, wchar_t* buffer) const {
    if (!buffer || capacity == 0) return 0;
    const std::wstring text = ListWindowText(m_model);
    const size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
    buffer[n] = L'\0';
    return static_cast<LRESULT>(n);
}
