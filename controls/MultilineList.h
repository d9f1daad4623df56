// The owner-drawn multi-line list: a grid of two-line cells under a header band, with check boxes
// in the first column, unit marks in the third and a skinned vertical scroll bar. Mouse and touch
// select, check and scroll; the list reports to its parent only by posted messages
// (controls/ListMessages.h). Its data and rules live in ListModel; this class is the window.
#pragma once

#include "controls/CustomSkinScrollBar.h"
#include "controls/DIBSectionLite.h"
#include "controls/ListMessages.h"
#include "controls/logic/ListAccess.h"
#include "controls/logic/ListModel.h"
#include "framework/DC.h"
#include "framework/GdiObjects.h"
#include "framework/Wnd.h"

#include <memory>
#include <string>

class CMultilineList : public CWnd {
public:
    static constexpr int kRowHeight = ListModel::kRowHeight;
    static constexpr int kHeaderBand = ListModel::kHeaderBand;
    static constexpr UINT kScrollBarId = 9102;
    static constexpr UINT kCheckedImageId = 155;
    static constexpr UINT kUncheckedImageId = 154;
    static const wchar_t kClassName[];

    // Registers the window class so that dialog templates can hold the list. imageFolder is the
    // program's folder, under whose IMAGES folder the scroll bar's skin is named.
    explicit CMultilineList(const std::wstring& imageFolder = std::wstring());
    ~CMultilineList() override;

    void SetGridSize(int rows, int cols, bool redraw, int unused = 0);
    void SetColumnWidth(int column, int width);
    void SetColumnTitle(int column, const std::wstring& text);
    void SetItemText(int row, int col, std::wstring text);
    std::wstring GetItemText(int row, int col) const { return m_model.GetItemText(row, col); }
    int GetItemCount() const { return m_model.GetItemCount(); }
    // Column 0's data of the row, as given to InsertItem.
    int GetItemData(int row) const { return m_model.GetItemData(row); }
    void InsertItem(int row, const std::wstring& text, int data);
    void DeleteAllItems(int firstColumn);
    // Switches the check boxes on or off and loads their images.
    void SetCheckMode(BYTE on, int unused = 0);
    void SetCheck(int row, BYTE flag);
    void ToggleCheck(int row);
    bool IsChecked(int row) const { return m_model.IsChecked(row); }
    // Each colour that is not 0 replaces the current one.
    void SetColors(COLORREF header, COLORREF second, COLORREF altRow, COLORREF selection, COLORREF headerText);
    void SetExactScroll(int value) { m_model.SetExactScroll(value); }
    // The language index the fonts are chosen by at set-up (bind after setting it) and the cells are
    // aligned by when painting: 1 Korean, 19 and 20 right to left, anything else left to right.
    void SetLanguage(int languageIndex) { m_nLanguage = languageIndex; }
    // Caption of the message box shown when the grid is asked for more rows than it holds.
    void SetMessageTitle(const std::wstring& title) { m_strMessageTitle = title; }
    void RequestFrame() { m_bFramePending = 1; }
    // Fonts, images and the scroll bar again at the window's scale (after a DPI change; the owner
    // moves the list and sets its column widths).
    void ApplyScale();
    void EnsureVisible(int row);
    int HitTest(int x, int y);
    int GetSelection() const { return m_model.Selection(); }

    // Draw the window frame at the end of every paint.
    BYTE m_bDrawFrame = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // The set-up when the template control is bound: language, border, back buffer, pen, fonts
    // and the scroll bar.
    void PreSubclassWindow() override;

private:
    LRESULT OnPaint();
    LRESULT OnPrintClient(HDC dc);
    LRESULT OnEraseBkgnd(HDC dc);
    LRESULT OnSize(int cx, int cy);
    LRESULT OnVScroll(int code, unsigned pos);
    LRESULT OnHScroll(int code, int pos);
    LRESULT OnMouseWheel(int delta);
    LRESULT OnLButtonDown(int x, int y);
    LRESULT OnLButtonUp(int x, int y);
    LRESULT OnLButtonDblClk();
    LRESULT OnGetText(size_t capacity, wchar_t* buffer) const;
    LRESULT OnGetDlgCode(LPARAM keyMessage);
    LRESULT OnKeyDown(int key);
    LRESULT OnFocusChange(UINT msg, WPARAM wParam, LPARAM lParam);
    // Screen readers hear a row's changed text or check state.
    void AnnounceNameChange() const;

    // Carries out what a model operation asks of the window.
    void Apply(const ListEffects& fx);
    // Tells the model the client rectangle and the scroll bar's width while it is shown.
    void SyncGeometry();
    void PlaceScrollBar();
    void LoadCheckImages();
    void UpdateScrollBar();
    void ShowOverflowMessage() const;
    bool ScrollBarShown() const;

    // Painting (MultilineListPaint.cpp).
    bool EnsureBackBuffer();
    // Paint steps up to the block copy onto target; false when there is no back buffer.
    bool PaintTo(HDC target);
    void DrawRows(HDC dc, const QvRect& area);
    void DrawCell(HDC dc, const ListPaintRow& row, int column, int x, int width, bool rightAligned);
    // Header band with headings and column separators.
    void DrawHeaderBand(HDC dc, COLORREF top, COLORREF textColour, HPEN pen, int textBottom, int lineTop,
                        int lineBottom);
    void DrawFrame();
    void DrawFocusedRow(HDC dc, const QvRect& list);
    HFONT FontFor(ListFont font) const;

    ListModel m_model;
    int m_nLanguage = 0;
    std::wstring m_strMessageTitle;
    CFont m_fontLine;
    CFont m_fontCell;
    CFont m_fontSmall;
    BYTE m_bFramePending = 0;
    CDIBSectionLite m_imgChecked;
    CDIBSectionLite m_imgUnchecked;
    std::unique_ptr<CMemoryDC> m_dcMem;
    CBitmap m_bmpBack;
    SIZE m_sizeBack{0, 0};
    CCustomSkinScrollBar m_scrollBar;
    CPen m_penGrid;
    CFont m_fontMeasure;
    CFont m_fontHeader;
    // Fixed drawing objects, made once.
    CPen m_penHeadingErase;
    CPen m_penHeadingSeparator;
    CBrush m_brushUnitMark;
    CBrush m_brushFrame;
};
