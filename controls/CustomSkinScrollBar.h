// A vertical (or horizontal) scroll bar that keeps its own scroll state and paints itself from three
// two-frame image strips: up button, down button and thumb.
#pragma once

#include "controls/DIBSectionLite.h"
#include "framework/Controls.h"
#include "framework/GdiObjects.h"

#include <memory>
#include <string>

struct ScrollState;
class COffscreen32;

class CCustomSkinScrollBar : public CScrollBar {
public:
    enum {
        kTimerAutoRepeat = 1000,
        kAutoRepeatMs = 100,
    };

    CCustomSkinScrollBar();
    ~CCustomSkinScrollBar() override;

    BOOL Create(DWORD style, const RECT& rc, CWnd* parent, UINT id);
    // The images come from the program's bitmap resources; the paths are kept for the caller's
    // naming only and are not read.
    void SetUpImage(const std::wstring& path);
    void SetDownImage(const std::wstring& path);
    void SetThumbImage(const std::wstring& path);
    // The images are loaded again at the window's scale when the bar is next painted (it is hidden
    // while the list needs no scrolling); they are stretched to the parts, a larger source keeps
    // them sharp.
    void ApplyScale();

    // Client rectangle of a part (kScrollLineUp, kScrollLineDown, kScrollThumbTrack, kScrollPartTrack).
    RECT GetPartRect(int part) const;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnSetScrollInfo(BOOL redraw, SCROLLINFO* info);
    LRESULT OnGetScrollInfo(SCROLLINFO* info) const;
    LRESULT OnSetPos(int pos, BOOL redraw);
    LRESULT OnSetRange(int minPos, int maxPos, BOOL redraw);
    LRESULT OnGetRange(int* minPos, int* maxPos) const;
    LRESULT OnPaint();
    LRESULT OnPrintClient(HDC dc);
    LRESULT OnEraseBkgnd();
    LRESULT OnLButtonDown(POINT pt);
    LRESULT OnLButtonUp();
    LRESULT OnMouseMove(POINT pt);
    LRESULT OnTimer(UINT_PTR id);
    LRESULT OnCaptureChanged(HWND newCapture);

    ScrollState CurrentState() const;
    // The part under a client point: line up/down, page up/down or the thumb.
    int HitTest(POINT pt) const;
    void LoadSkinImage(std::unique_ptr<CDIBSectionLite>& image, UINT resourceId);
    static constexpr int kLayoutFrameWidth = 35;  // two frames side by side in each strip
    void Notify(int code, int pos) const;
    void EndPress();
    void PaintTo(HDC dc);
    void RedrawTrackWhileDragging();
    // The off-screen surface of the client's size, made again only when the size changes.
    COffscreen32* Offscreen();

    std::unique_ptr<CDIBSectionLite> m_pImgThumb;
    std::unique_ptr<CDIBSectionLite> m_pImgUp;
    std::unique_ptr<CDIBSectionLite> m_pImgDown;
    int m_nImagesDpi = 0;  // the DPI the images were loaded at
    int m_bVertical = 1;
    int m_nMin = 0;
    int m_nMax = 0;
    UINT m_nPage = 0;
    int m_nPos = 0;
    int m_nTrackPos = 0;
    int m_nPressedPart = -1;
    int m_bDragging = 0;
    int m_nDragOffset = 0;
    int m_bAutoRepeat = 0;
    CPen m_penEdge;
    std::unique_ptr<COffscreen32> m_offscreen;
};
