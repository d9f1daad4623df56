// The multi-line list's scrolling and the decisions behind presses, releases and double clicks.
#include "controls/logic/ListModel.h"

#include <algorithm>

// --- Scrolling and input ------------------------------------------------------------------------

ListEffects ListModel::EnsureVisible(int row) {
    ListEffects fx;
    if (row < 0 || row >= m_nRows) {
        fx.fault = "EnsureVisible: row out of range";
        return fx;
    }
    RefreshRowHeights();
    const QvRect list = ListRect();
    const int top = HeightOfRows(row);
    const int h = RowHeight(row);
    const int page = list.bottom - list.top;
    if (top < m_nScrollY)
        m_nScrollY = top;
    else if (top + h > m_nScrollY + page)
        m_nScrollY = h < page ? top + h - page : top;
    else
        return fx;
    fx.Invalidate(false);
    fx.updateScrollBar = true;
    return fx;
}

ListEffects ListModel::AfterScroll() {
    m_nScrollY = std::max(m_nScrollY, 0);
    m_nScrollX = std::max(m_nScrollX, 0);
    ListEffects fx;
    fx.Invalidate(true);
    fx.updateScrollBar = true;
    return fx;
}

ListEffects ListModel::VScroll(int code, unsigned position) {
    RefreshRowHeights();
    const QvRect list = ListRect();
    const int page = list.bottom - list.top;
    switch (code) {
    case kScrollThumbPosition:
    case kScrollThumbTrack:
        // Snaps to whole rows.
        m_nScrollY = static_cast<int>(position / static_cast<unsigned>(UiPx(m_nRowHeight)) *
                                      static_cast<unsigned>(UiPx(m_nRowHeight)));
        break;
    case kScrollLineUp:
    case kScrollLineDown: {
        const int r = FirstRowEndingBelow(m_nScrollY + UiPx(kRowHeight));
        const int rest = TotalHeight() - HeightOfRows(r);
        if (code == kScrollLineUp) {
            m_nScrollY = std::max(m_nScrollY - RowHeight(std::max(r - 1, 0)), 0);
        } else if (rest > page) {
            m_nScrollY = std::max(m_nScrollY + RowHeight(r), 0);
        }
        break;
    }
    case kScrollPageUp: m_nScrollY -= page - m_nPageOverlap; break;
    case kScrollPageDown: {
        const int rest = TotalHeight() - (m_nScrollY + page);
        m_nScrollY += rest < page ? rest + m_nPageOverlap : page - m_nPageOverlap;
        break;
    }
    default: break;
    }
    return AfterScroll();
}

ListEffects ListModel::HScroll(int code, int position) {
    const QvRect list = ListRect();
    const int width = list.right - list.left;
    const int total = TotalWidth();
    switch (code) {
    case kScrollLineUp: m_nScrollX -= UiPx(kHorizontalLine); break;
    case kScrollLineDown:
        if (width < total - m_nScrollX) m_nScrollX += UiPx(kHorizontalLine);
        break;
    case kScrollPageUp: m_nScrollX -= width; break;
    case kScrollPageDown: {
        const int rest = total - width - m_nScrollX;
        m_nScrollX += rest < width ? rest : width;
        break;
    }
    case kScrollThumbPosition:
    case kScrollThumbTrack: m_nScrollX = position; break;
    default: break;
    }
    return AfterScroll();
}

ListEffects ListModel::Wheel(int delta) { return VScroll(delta < 0 ? kScrollLineDown : kScrollLineUp, 0); }

ListEffects ListModel::Resize(int width, int height) {
    ListEffects fx;
    fx.Invalidate(true);
    int shown = 0;
    if (m_bExactScroll) {
        shown = TopRow() + m_nRowsDrawn;
    } else if (height / UiPx(m_nRowHeight) == 5) {
        shown = TopRow() + 5;
    } else {
        return fx;
    }
    // Keeps the last rows from hanging below a grown window.
    if (shown < m_nItemCount + 2) m_nScrollY = std::max(m_nScrollY - UiPx(m_nRowHeight), 0);
    return fx;
}

ListEffects ListModel::LButtonDown(int x, int y) {
    ListEffects fx;
    m_bCheckPressed = 0;
    m_ptDown = {x, y};
    if (x != 0 && y != 0) m_nSel = HitTest(x, y);
    fx.Invalidate(false);
    fx.updateScrollBar = true;
    if (m_nSel < 0) return fx;
    fx.Merge(EnsureVisible(m_nSel));
    if (m_bCheckMode == 1 && x > 0 && x < UiPx(kCheckZoneRight)) m_bCheckPressed = 1;
    fx.notices.push_back({ListNotice::RowPressed, m_nSel});
    return fx;
}

ListEffects ListModel::SelectRow(int row) {
    ListEffects fx;
    if (row < 0 || row >= m_nItemCount) return fx;
    m_nSel = row;
    fx.Invalidate(false);
    fx.Merge(EnsureVisible(row));
    return fx;
}

ListEffects ListModel::LButtonUp(int x, int y) {
    ListEffects fx;
    if (m_bCheckMode == 1 && m_bCheckPressed == 1 && x > 0 && x < m_rcUnitZone.left) {
        m_bCheckPressed = 0;
        if (CanToggleSelection()) {
            fx.Merge(ToggleCheck(m_nSel));
            fx.notices.push_back({ListNotice::CheckChanged, m_nSel});
        }
        return fx;
    }
    if (m_rcUnitZone.Contains(x, y)) {
        fx.notices.push_back({ListNotice::UnitTapped, m_nSel});
        return fx;
    }
    const int left = m_ptDown.x - x;
    const int up = m_ptDown.y - y;
    const int page = UiPx(kSwipePage), line = UiPx(kSwipeLine);
    if (left > page) {
        fx.Merge(VScroll(kScrollPageUp, 0));
    } else if (-left > page) {
        fx.Merge(VScroll(kScrollPageDown, 0));
    } else if (up > line) {
        for (int step = 0; step < up; step += line) fx.Merge(VScroll(kScrollLineDown, 0));
    } else if (-up > line) {
        for (int step = 0; step < -up; step += line) fx.Merge(VScroll(kScrollLineUp, 0));
    }
    return fx;
}

ListEffects ListModel::LButtonDblClk() const {
    ListEffects fx;
    if (CanToggleSelection()) fx.notices.push_back({ListNotice::CheckChanged, m_nSel});
    return fx;
}
