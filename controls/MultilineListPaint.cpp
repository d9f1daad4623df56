// Painting of the multi-line list: the erased header band, the back buffer with rows, cells,
// check images, unit marks and grid, the header band over it, and the window frame.
#include "controls/MultilineList.h"

#include "controls/FocusCue.h"
#include "controls/RectConversion.h"

namespace {

const COLORREF kGridColour = RGB(220, 220, 220);
const COLORREF kBandBottom = RGB(209, 209, 209);
const COLORREF kBandTop = RGB(239, 239, 239);
const COLORREF kText = RGB(0, 0, 0);
// Horizontal grid lines run to this x whatever the list's width.
const int kGridLineEnd = 1500;
// The erased band's column separators overshoot the band at both ends.
const int kErasedSeparatorTop = -7;
const int kErasedSeparatorBottom = 46;

}  // namespace

HFONT CMultilineList::FontFor(ListFont font) const {
    switch (font) {
    case ListFont::Line: return m_fontLine;
    case ListFont::Small: return m_fontSmall;
    case ListFont::Cell: break;
    }
    return m_fontCell;
}

bool CMultilineList::EnsureBackBuffer() {
    const RECT wr = GetWindowRect();
    const SIZE size{wr.right - wr.left, wr.bottom - wr.top};
    if (m_dcMem && !m_bmpBack.IsNull() && size.cx == m_sizeBack.cx && size.cy == m_sizeBack.cy) return true;
    // Made compatible with the window, not with whatever context asks for a paint.
    CClientDC windowDC(m_hWnd);
    if (!m_dcMem) {
        auto dc = std::make_unique<CMemoryDC>(windowDC);
        if (!dc->GetSafeHdc()) return false;
        m_dcMem = std::move(dc);
    }
    m_bmpBack.DeleteObject();
    m_sizeBack = SIZE{0, 0};
    if (!m_bmpBack.CreateCompatible(windowDC, size.cx, size.cy)) return false;
    m_sizeBack = size;
    return true;
}

LRESULT CMultilineList::OnEraseBkgnd(HDC dc) {
    SyncGeometry();
    const ListColours& colours = m_model.Colours();
    DrawHeaderBand(dc, colours.header, colours.headerText, m_penHeadingErase, UiPx(kHeaderBand),
                   UiPx(kErasedSeparatorTop), UiPx(kErasedSeparatorBottom));
    return TRUE;
}

LRESULT CMultilineList::OnPaint() {
    bool painted = false;
    {
        CPaintDC dc(m_hWnd);
        painted = PaintTo(dc);
    }
    if (painted && m_bFramePending) {
        m_bFramePending = 0;
        DrawFrame();
    }
    return 0;
}

LRESULT CMultilineList::OnPrintClient(HDC dc) {
    PaintTo(dc);
    return 0;
}

bool CMultilineList::PaintTo(HDC target) {
    SyncGeometry();
    if (!EnsureBackBuffer()) return false;
    if (m_penGrid.Colour() != kGridColour) m_penGrid.Create(PS_SOLID, 1, kGridColour);
    m_model.RefreshRowHeights();

    const HDC mem = m_dcMem->GetSafeHdc();
    CSelectObject font(mem, m_fontMeasure);
    CSelectObject bitmap(mem, m_bmpBack);
    const QvRect list = m_model.ListRect();
    DrawRows(mem, list);
    DrawFocusedRow(mem, list);

    m_bFramePending = m_bDrawFrame;
    DrawHeaderBand(mem, kBandTop, kText, m_penHeadingSeparator, UiPx(kHeaderBand) - 2, 1, UiPx(kHeaderBand) - 1);
    ::BitBlt(target, 0, 0, list.right, list.bottom, mem, 0, 0, SRCCOPY);
    return true;
}

// The keyboard's row gets the focus cue while the list has the focus and keyboard cues show.
void CMultilineList::DrawFocusedRow(HDC dc, const QvRect& list) {
    const int selected = m_model.Selection();
    if (::GetFocus() != m_hWnd || selected < 0 || !FocusCuesShown(m_hWnd)) return;
    const RECT area = ToRect(list);
    for (const ListPaintRow& row : m_model.PlanPaintRows(list)) {
        if (row.row != selected) continue;
        RECT cue{area.left + 2, row.y + 3, area.right - 2, row.y + row.height - 1};
        if (::IntersectRect(&cue, &cue, &area)) DrawFocusCue(dc, cue, kText);
    }
}

// The band over (0, 0) to (client right, 37): a vertical gradient, then for each column that
// starts within the list its heading and a separator at its right edge.
void CMultilineList::DrawHeaderBand(HDC dc, COLORREF top, COLORREF textColour, HPEN pen, int textBottom, int lineTop,
                                    int lineBottom) {
    const CDC out(dc);
    const QvRect client = m_model.ClientRect();
    out.GradientRect(RECT{0, 0, client.right, UiPx(kHeaderBand)}, top, kBandBottom, true);
    CTextMode mode(dc, TRANSPARENT, textColour);
    CSelectObject font(dc, m_fontHeader);
    CSelectObject selectedPen(dc, pen);
    const int listRight = m_model.ListRect().right;
    int x = -m_model.ScrollX();
    for (int c = 0; c < m_model.ColumnCount() && x <= listRight; ++c) {
        const int width = m_model.ColumnWidth(c);
        const std::wstring heading = m_model.ColumnHeading(c);
        RECT rc{x + UiPx(5), 0, x + width, textBottom};
        ::DrawTextW(dc, heading.c_str(), static_cast<int>(heading.size()), &rc,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        out.Line(x + width, lineTop, x + width, lineBottom);
        x += width;
    }
}

void CMultilineList::DrawRows(HDC dc, const QvRect& area) {
    const CDC out(dc);
    const RECT rc = ToRect(area);
    ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
    CTextMode mode(dc, TRANSPARENT, kText);
    CSelectObject pen(dc, m_penGrid);
    const bool rightAligned = listpaint::IsRightAlignedLanguage(m_nLanguage);

    for (const ListPaintRow& row : m_model.PlanPaintRows(area)) {
        const int left = area.left - m_model.ScrollX();
        int x = left;
        for (int c = 0; c < m_model.ColumnCount(); ++c) {
            const int width = m_model.ColumnWidth(c);
            DrawCell(dc, row, c, x, width, rightAligned);
            x += width;
        }
        const int bottom = row.y + UiPx(kRowHeight);
        out.Line(area.left, bottom + 1, UiPx(kGridLineEnd), bottom + 1);
        x = left;
        for (int c = 0; c < m_model.ColumnCount() && x <= area.right; ++c) {
            x += m_model.ColumnWidth(c);
            out.Line(x, row.y + 1, x, bottom + 1);
        }
    }
}

void CMultilineList::DrawCell(HDC dc, const ListPaintRow& row, int column, int x, int width, bool rightAligned) {
    const CDC out(dc);
    if (row.row % 2 == 1)
        out.FillSolidRect(RECT{x, row.y + 2, x + width, row.y + 2 + row.height}, m_model.Colours().altRow);
    if (row.row == m_model.Selection())
        out.FillSolidRect(RECT{x, row.y + 1, x + width, row.y + 1 + row.height}, m_model.Colours().selection);

    int checkIndent = 0;
    if (column == 0 && m_model.CheckMode()) {
        CDIBSectionLite& image = m_model.IsChecked(row.row) ? m_imgChecked : m_imgUnchecked;
        const ListPoint at = listpaint::CheckImageOrigin(x, row.y);
        image.DrawAt(dc, POINT{at.x, at.y});
        checkIndent = UiPx(listpaint::kCheckIndent);
    }

    // Measured with whatever font the previous cell left selected, as the placement rules expect; the
    // paint's own selection of the measuring font puts the context's font back at the end.
    const std::wstring text = m_model.GetItemText(row.row, column);
    SIZE extent{0, 0};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    const ListCellPlacement placement =
        listpaint::PlaceCellText(column, listpaint::CellTextRect(x, row.y, width), extent.cx, checkIndent);
    ::SelectObject(dc, FontFor(placement.font));

    UINT format = DT_WORDBREAK | DT_NOPREFIX;
    if (column >= 3) format |= DT_END_ELLIPSIS;
    if (rightAligned) format |= DT_RIGHT;
    RECT textRect = ToRect(placement.text);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, format);

    if (column == 2 && listpaint::IsUnitText(text)) {
        const auto corners = listpaint::UnitMarkPoints(placement.text, rightAligned);
        POINT points[3];
        for (int i = 0; i < 3; ++i)
            points[i] = POINT{corners[static_cast<size_t>(i)].x, corners[static_cast<size_t>(i)].y};
        CSelectObject brush(dc, m_brushUnitMark);
        ::Polygon(dc, points, 3);
    }
}

// One pixel around the whole window, non-client area included.
void CMultilineList::DrawFrame() {
    CWindowDC dc(m_hWnd);
    const RECT wr = GetWindowRect();
    const RECT rc{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    ::FrameRect(dc, &rc, m_brushFrame);
}
