// The program's skinned push button: one frame of an image strip per state and a caption in a font
// and colours of its own. A click is reported to the parent by a posted WM_COMMAND carrying the id.
#pragma once

#include "controls/DIBSectionLite.h"
#include "framework/Controls.h"
#include "framework/GdiObjects.h"

#include <mutex>
#include <string>

class CMultiTextBtn : public CButton {
public:
    enum {
        kTimerClickLock = 80,
        kColourSlots = 5,
        kStateNormal = 0,
        kStatePressed = 1,
    };

    CMultiTextBtn();
    ~CMultiTextBtn() override;

    // Creates the visible button (x, y, cx, cy) as a child of parent; the image is not owned.
    BOOL Create(CDIBSectionLite* image, int x, int y, int cx, int cy, const std::wstring& caption, CWnd* parent,
                UINT id, UINT frames);
    BOOL SetImage(CDIBSectionLite* image);
    // weightCode: 1 bold, 2 semi-bold, anything else normal; formatFlags: DrawText flags (1 centres).
    BOOL SetFont(const wchar_t* face, int height, int width, int weightCode, UINT formatFlags, BYTE charSet);
    // Any thread may set the caption; the window text follows it for screen readers and automation.
    BOOL SetText(const std::wstring& caption);
    std::wstring GetText() const;
    BOOL SetTextColor(int slot, COLORREF colour);
    void SetEnabled(BOOL enabled) { m_bEnabled = enabled; }
    BOOL SetState(UINT state, BOOL redraw);
    BOOL ChangeState(UINT state) { return SetState(state, TRUE); }
    void SetSelected(BOOL selected, BOOL redraw);
    UINT GetState() const { return m_nState; }
    BOOL IsSelected() const { return m_bSelected; }
    // The owner's keyboard choice (the message box's focus index): the button shows the focus cue
    // as if it had the focus.
    void SetFocusCue(BOOL shown);
    // Draws the button into dc; a null dc invalidates it instead.
    BOOL Paint(HDC dc);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    LRESULT OnLButtonDown();
    LRESULT OnLButtonUp(POINT pt);
    LRESULT OnTimer(UINT_PTR id);
    LRESULT OnCaptureChanged(HWND newCapture);
    LRESULT OnSyncWindowText();
    LRESULT PaintByClass();
    LRESULT OnGetDlgCode(LPARAM keyMessage) const;
    LRESULT RepaintAfterDefault(UINT msg, WPARAM wParam, LPARAM lParam);
    bool ShowsFocusCue() const;

    void DrawCaption(HDC dc, const std::wstring& caption, const RECT& client, int frameHeight);
    void DrawCaptionText(HDC dc, const std::wstring& text, RECT rc, UINT flags);
    // The caption's font, or a smaller one of its face where the caption wrapped in rc would reach
    // below the frame (a screen of another DPI wraps a line that fits at the layout's).
    HFONT FittingFont(HDC dc, const std::wstring& caption, const RECT& rc, int frameHeight);
    void SyncWindowText();

    UINT m_nID = 0;
    std::wstring m_strCaption;
    mutable std::mutex m_captionLock;
    RECT m_rcPlace{};
    CDIBSectionLite* m_pImage = nullptr;
    int m_nImageWidth = 0;
    int m_nImageHeight = 0;
    UINT m_nFrames = 0;
    UINT m_nFramesGiven = 0;
    UINT m_nState = kStateNormal;
    UINT m_nSavedState = kStateNormal;
    BOOL m_bSelected = FALSE;
    BOOL m_bFocusCue = FALSE;
    BOOL m_bEnabled = TRUE;
    BOOL m_bClickLock = FALSE;
    UINT m_nLockMs = 100;
    BOOL m_bPressedInside = FALSE;
    CFont m_font;
    BOOL m_bFontCreated = FALSE;
    int m_nFontHeight = 0;
    LOGFONTW m_logFont{};
    // The smaller font last chosen for a caption that did not fit, and what it was chosen for.
    CFont m_fontFitted;
    std::wstring m_strFittedFor;
    RECT m_rcFittedFor{};
    int m_nFittedHeight = 0;
    UINT m_nFormat = DT_CENTER;
    COLORREF m_crText[kColourSlots] = {RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 0, 0), RGB(255, 255, 255), RGB(92, 92, 92)};
    COLORREF m_crSelected = RGB(255, 0, 0);
};
