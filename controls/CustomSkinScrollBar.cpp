// The skinned scroll bar. Its scroll state lives in its own members; the system's scroll-bar state is
// never used, so everything the class's default handling would paint is kept away from it.
#include "controls/CustomSkinScrollBar.h"

#include "controls/RectConversion.h"
#include "controls/logic/ScrollBarGeometry.h"
#include "framework/DC.h"
#include "framework/Diagnostics.h"
#include "framework/GdiObjects.h"
#include "resources/resource.h"

#include <windowsx.h>

#include <optional>

namespace {

const COLORREF kEdgeColour = RGB(182, 186, 191);
const COLORREF kTrackLeft = RGB(220, 220, 220);
const COLORREF kTrackRight = RGB(250, 250, 250);

// Frame 0 (normal) or 1 (pressed) of a two-frame strip.
RECT FrameOf(const CDIBSectionLite& image, int frame) {
    const int w = image.Width() / 2;
    return RECT{frame * w, 0, frame * w + w, image.Height()};
}

void DrawFrame(const std::unique_ptr<CDIBSectionLite>& image, HDC dc, const RECT& part, bool pressed) {
    if (image && !image->IsEmpty()) image->StretchTo(dc, part, FrameOf(*image, pressed ? 1 : 0));
}

}  // namespace

// A 32-bit off-screen surface of a given size, selected into a memory context for its lifetime.
class COffscreen32 {
public:
    COffscreen32(int cx, int cy) : m_dc(nullptr), m_size{cx, cy} {
        if (m_dc.GetSafeHdc() && m_bitmap.CreateDib32(m_dc, cx, cy)) m_select.emplace(m_dc, m_bitmap);
    }
    bool IsValid() const { return m_select.has_value(); }
    bool HasSize(int cx, int cy) const { return m_size.cx == cx && m_size.cy == cy; }
    HDC dc() const { return m_dc; }

private:
    CMemoryDC m_dc;
    CBitmap m_bitmap;
    std::optional<CSelectObject> m_select;
    SIZE m_size;
};

CCustomSkinScrollBar::CCustomSkinScrollBar() : m_penEdge(PS_SOLID, 1, kEdgeColour) {}

CCustomSkinScrollBar::~CCustomSkinScrollBar() { DestroyWindow(); }

BOOL CCustomSkinScrollBar::Create(DWORD style, const RECT& rc, CWnd* parent, UINT id) {
    m_bVertical = (style & SBS_VERT) ? 1 : 0;
    return CScrollBar::Create(style, rc, parent, id);
}

void CCustomSkinScrollBar::LoadSkinImage(std::unique_ptr<CDIBSectionLite>& image, UINT resourceId) {
    if (!image) image = std::make_unique<CDIBSectionLite>();
    image->LoadResourceBitmap(resourceId, UiScale(), kLayoutFrameWidth);
    m_nImagesDpi = UiScale().Dpi();
}

void CCustomSkinScrollBar::ApplyScale() {
    if (m_hWnd && m_nImagesDpi != UiScale().Dpi()) Invalidate(FALSE);
}

void CCustomSkinScrollBar::SetUpImage(const std::wstring&) { LoadSkinImage(m_pImgUp, IDB_SCROLL_UP); }
void CCustomSkinScrollBar::SetDownImage(const std::wstring&) { LoadSkinImage(m_pImgDown, IDB_SCROLL_DOWN); }
void CCustomSkinScrollBar::SetThumbImage(const std::wstring&) { LoadSkinImage(m_pImgThumb, IDB_SCROLL_THUMB); }

ScrollState CCustomSkinScrollBar::CurrentState() const { return ScrollState{m_nMin, m_nMax, m_nPage, m_nPos}; }

RECT CCustomSkinScrollBar::GetPartRect(int part) const {
    return ToRect(ScrollPartRect(part, ToQvRect(GetClientRect()), CurrentState(), m_bVertical != 0));
}

int CCustomSkinScrollBar::HitTest(POINT pt) const {
    return ScrollHitTest(pt.x, pt.y, ToQvRect(GetClientRect()), CurrentState(), m_bVertical != 0);
}

LRESULT CCustomSkinScrollBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case SBM_SETSCROLLINFO: return OnSetScrollInfo(static_cast<BOOL>(wParam), reinterpret_cast<SCROLLINFO*>(lParam));
    case SBM_GETSCROLLINFO: return OnGetScrollInfo(reinterpret_cast<SCROLLINFO*>(lParam));
    case SBM_GETPOS: return m_nPos;
    case SBM_SETPOS: return OnSetPos(static_cast<int>(wParam), static_cast<BOOL>(lParam));
    case SBM_SETRANGE: return OnSetRange(static_cast<int>(wParam), static_cast<int>(lParam), FALSE);
    case SBM_SETRANGEREDRAW: return OnSetRange(static_cast<int>(wParam), static_cast<int>(lParam), TRUE);
    case SBM_GETRANGE: return OnGetRange(reinterpret_cast<int*>(wParam), reinterpret_cast<int*>(lParam));
    case WM_LBUTTONDBLCLK: return 1;  // the second click of a double click does not scroll again
    case WM_PAINT: return OnPaint();
    case WM_PRINTCLIENT: return OnPrintClient(reinterpret_cast<HDC>(wParam));
    case WM_ERASEBKGND: return OnEraseBkgnd();
    case WM_LBUTTONDOWN: return OnLButtonDown(pt);
    case WM_LBUTTONUP: return OnLButtonUp();
    case WM_MOUSEMOVE: return OnMouseMove(pt);
    case WM_TIMER: return OnTimer(static_cast<UINT_PTR>(wParam));
    case WM_CAPTURECHANGED: return OnCaptureChanged(reinterpret_cast<HWND>(lParam));
    // The system class would draw its own look (focus caret, enabled state) outside WM_PAINT.
    case WM_SETFOCUS:
    case WM_KILLFOCUS: return 0;
    case WM_ENABLE: Invalidate(FALSE); return 0;
    default: return Default();
    }
}

LRESULT CCustomSkinScrollBar::OnSetScrollInfo(BOOL redraw, SCROLLINFO* info) {
    if (!info) return 0;
    if (info->fMask & SIF_PAGE) m_nPage = info->nPage;
    if (info->fMask & SIF_POS) m_nPos = info->nPos;
    if (info->fMask & SIF_RANGE) {
        m_nMin = info->nMin;
        m_nMax = info->nMax;
    }
    if (redraw) Invalidate(FALSE);
    return 1;
}

LRESULT CCustomSkinScrollBar::OnGetScrollInfo(SCROLLINFO* info) const {
    if (!info) return 0;
    if (info->fMask & SIF_PAGE) info->nPage = m_nPage;
    if (info->fMask & SIF_POS) info->nPos = m_nPos;
    if (info->fMask & SIF_TRACKPOS) info->nTrackPos = m_nTrackPos;
    if (info->fMask & SIF_RANGE) {
        info->nMin = m_nMin;
        info->nMax = m_nMax;
    }
    return 1;
}

LRESULT CCustomSkinScrollBar::OnSetPos(int pos, BOOL redraw) {
    const int previous = m_nPos;
    m_nPos = pos;
    if (redraw) Invalidate(FALSE);
    return previous;
}

LRESULT CCustomSkinScrollBar::OnSetRange(int minPos, int maxPos, BOOL redraw) {
    m_nMin = minPos;
    m_nMax = maxPos;
    if (redraw) Invalidate(FALSE);
    return m_nPos;
}

LRESULT CCustomSkinScrollBar::OnGetRange(int* minPos, int* maxPos) const {
    if (minPos) *minPos = m_nMin;
    if (maxPos) *maxPos = m_nMax;
    return 0;
}

void CCustomSkinScrollBar::Notify(int code, int pos) const {
    HWND parent = GetParentHwnd();
    if (!parent) return;
    ::SendMessageW(parent, m_bVertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, pos),
                   reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT CCustomSkinScrollBar::OnLButtonDown(POINT pt) {
    ::SetCapture(m_hWnd);
    m_nPressedPart = HitTest(pt);
    if (m_nPressedPart == kScrollThumbTrack) {
        const RECT thumb = GetPartRect(kScrollThumbTrack);
        m_nDragOffset = m_bVertical ? pt.y - thumb.top : pt.x - thumb.left;
        m_nTrackPos = m_nPos;
        m_bDragging = 1;
        Invalidate(FALSE);
    } else {
        m_bAutoRepeat = 1;
        Invalidate(FALSE);  // a held button shows its pressed frame even when the owner does not scroll
        Notify(m_nPressedPart, 0);
        SetTimer(kTimerAutoRepeat, kAutoRepeatMs);
    }
    return 0;
}

// Ends a press, whether by the button's release or by losing the capture to another window.
void CCustomSkinScrollBar::EndPress() {
    if (m_bAutoRepeat) {
        m_bAutoRepeat = 0;
        KillTimer(kTimerAutoRepeat);
    }
    if (m_bDragging) m_bDragging = 0;
    Invalidate(FALSE);
}

LRESULT CCustomSkinScrollBar::OnLButtonUp() {
    EndPress();
    if (::GetCapture() == m_hWnd) ::ReleaseCapture();
    return 0;
}

LRESULT CCustomSkinScrollBar::OnCaptureChanged(HWND newCapture) {
    if (newCapture != m_hWnd && (m_bAutoRepeat || m_bDragging)) EndPress();
    return 0;
}

LRESULT CCustomSkinScrollBar::OnTimer(UINT_PTR id) {
    if (id == kTimerAutoRepeat && m_nPressedPart != kScrollThumbTrack) Notify(m_nPressedPart, 0);
    return 0;
}

LRESULT CCustomSkinScrollBar::OnMouseMove(POINT pt) {
    if (!m_bDragging) return 0;
    const int p = ScrollDragPosition(m_bVertical ? pt.y : pt.x, m_nDragOffset, ToQvRect(GetClientRect()),
                                     CurrentState(), m_bVertical != 0);
    m_nTrackPos = p;
    m_nPos = p;
    Notify(kScrollThumbTrack, p);
    RedrawTrackWhileDragging();
    return 0;
}

// While dragging only the track is refreshed: black with the pressed thumb at its new place.
void CCustomSkinScrollBar::RedrawTrackWhileDragging() {
    const RECT client = GetClientRect();
    CClientDC screen(m_hWnd);
    COffscreen32* off = Offscreen();
    if (!screen.GetSafeHdc() || !off) return;
    CDC(off->dc()).FillSolidRect(client, RGB(0, 0, 0));
    DrawFrame(m_pImgThumb, off->dc(), GetPartRect(kScrollThumbTrack), true);
    const RECT track = GetPartRect(kScrollPartTrack);
    ::BitBlt(screen, track.left, track.top, track.right - track.left, track.bottom - track.top, off->dc(), track.left,
             track.top, SRCCOPY);
}

COffscreen32* CCustomSkinScrollBar::Offscreen() {
    const RECT client = GetClientRect();
    if (client.right <= 0 || client.bottom <= 0) return nullptr;
    if (!m_offscreen || !m_offscreen->HasSize(client.right, client.bottom))
        m_offscreen = std::make_unique<COffscreen32>(client.right, client.bottom);
    return m_offscreen->IsValid() ? m_offscreen.get() : nullptr;
}

LRESULT CCustomSkinScrollBar::OnEraseBkgnd() {
    QV_ASSERT(m_pImgThumb != nullptr && " THUMB IMAGE IS NULL");
    QV_ASSERT(m_pImgUp != nullptr && " UP BUTTON IMAGE IS NULL");
    QV_ASSERT(m_pImgDown != nullptr && " DOWN BUTTON IMAGE IS NULL");
    return 0;
}

LRESULT CCustomSkinScrollBar::OnPaint() {
    CPaintDC dc(m_hWnd);
    if (dc.GetSafeHdc()) PaintTo(dc);
    return 0;
}

LRESULT CCustomSkinScrollBar::OnPrintClient(HDC dc) {
    if (dc) PaintTo(dc);
    return 0;
}

void CCustomSkinScrollBar::PaintTo(HDC target) {
    if (m_nImagesDpi != UiScale().Dpi()) {
        LoadSkinImage(m_pImgUp, IDB_SCROLL_UP);
        LoadSkinImage(m_pImgDown, IDB_SCROLL_DOWN);
        LoadSkinImage(m_pImgThumb, IDB_SCROLL_THUMB);
    }
    const RECT client = GetClientRect();
    const int cx = client.right, cy = client.bottom;
    COffscreen32* off = Offscreen();
    if (!off) return;
    const CDC dc(off->dc());
    CSelectObject pen(dc, m_penEdge);

    if (m_bDragging) {
        dc.FillSolidRect(client, RGB(0, 0, 0));
    } else {
        dc.GradientRect(client, kTrackLeft, kTrackRight, false);
        dc.Line(client.left, client.top, client.left, client.bottom);
        dc.Line(client.right - 1, client.top, client.right - 1, client.bottom);
    }
    DrawFrame(m_pImgUp, dc, GetPartRect(kScrollLineUp), m_nPressedPart == kScrollLineUp && m_bAutoRepeat);
    DrawFrame(m_pImgDown, dc, GetPartRect(kScrollLineDown), m_nPressedPart == kScrollLineDown && m_bAutoRepeat);

    const RECT thumb = GetPartRect(kScrollThumbTrack);
    DrawFrame(m_pImgThumb, dc, thumb, m_bDragging != 0);
    if (thumb.bottom > thumb.top) {
        // The outline runs along the thumb's outermost pixels.
        const int r = thumb.right - 1, b = thumb.bottom - 1;
        dc.Line(thumb.left, thumb.top, thumb.left, b);
        dc.Line(thumb.left, thumb.top, r, thumb.top);
        dc.Line(r, thumb.top, r, b + 1);
        dc.Line(thumb.left, b, r, b);
    }
    ::BitBlt(target, 0, 0, cx, cy, off->dc(), 0, 0, SRCCOPY);
}
