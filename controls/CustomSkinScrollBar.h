// A vertical (or horizontal) scroll bar that keeps its own scroll state and paints itself from three
// two-frame image strips: up button, down button and thumb.
#pragma once

#include "controls/DIBSectionLite.h"
#include "framework/Controls.h"

#include <string>

struct ScrollState;

class CCustomSkinScrollBar : public CScrollBar {
public:
    enum {
        kTimerAutoRepeat = 1000,
        kAutoRepeatMs = 100,
        kPartTrack = 10,  // the track between the buttons (geometry only)
    };

    CCustomSkinScrollBar();
    ~CCustomSkinScrollBar() override;

    BOOL Create(DWORD style, const RECT& rc, CWnd* parent, UINT id);
    // The images come from the program's bitmap resources; the paths are kept for the caller's
    // naming only and are not read.
    void SetUpImage(const std::wstring& path);
    void SetDownImage(const std::wstring& path);
    void SetThumbImage(const std::wstring& path);

    // Client rectangle of a part (SB_LINEUP, SB_LINEDOWN, SB_THUMBTRACK, kPartTrack).
    RECT GetPartRect(int part) const;
    // The part under a client point: SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN or SB_THUMBTRACK.
    int HitTest(POINT pt) const;

    int GetPos() const { return m_nPos; }
    int GetTrackPos() const { return m_nTrackPos; }
    BOOL IsDragging() const { return m_bDragging; }
    BOOL IsAutoRepeating() const { return m_bAutoRepeat; }
    int GetPressedPart() const { return m_nPressedPart; }

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
    void LoadSkinImage(CDIBSectionLite*& image, UINT resourceId);
    void Notify(int code, int pos) const;
    void EndPress();
    void PaintTo(HDC dc);
    void RedrawTrackWhileDragging();

    CDIBSectionLite* m_pImgThumb = nullptr;
    CDIBSectionLite* m_pImgUp = nullptr;
    CDIBSectionLite* m_pImgDown = nullptr;
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
};
