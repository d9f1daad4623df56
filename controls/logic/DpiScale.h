// The window is laid out for 96 DPI; on a screen of another DPI every position, size and font
// height is the layout's value times one factor. The factor of the program's window lives here.
#pragma once

#include "controls/logic/Geometry.h"

class DpiScale {
public:
    static constexpr int kLayoutDpi = 96;

    constexpr DpiScale() = default;
    // A DPI below the layout's or beyond 8 times it is taken as the layout's.
    explicit constexpr DpiScale(int dpi) : m_dpi(dpi >= kLayoutDpi && dpi <= 8 * kLayoutDpi ? dpi : kLayoutDpi) {}

    constexpr int Dpi() const { return m_dpi; }
    constexpr bool IsLayoutDpi() const { return m_dpi == kLayoutDpi; }
    // A layout length on screen, rounded to the nearest pixel (halves away from zero).
    constexpr int operator()(int layout) const {
        const long long scaled = static_cast<long long>(layout) * m_dpi;
        return static_cast<int>(scaled >= 0 ? (scaled + kLayoutDpi / 2) / kLayoutDpi
                                            : -((-scaled + kLayoutDpi / 2) / kLayoutDpi));
    }
    // Edges are scaled, not sizes, so rectangles that touch in the layout still touch.
    QvRect operator()(const QvRect& layout) const {
        return MakeQvRect((*this)(layout.left), (*this)(layout.top), (*this)(layout.right), (*this)(layout.bottom));
    }
    bool operator==(const DpiScale& o) const { return m_dpi == o.m_dpi; }
    bool operator!=(const DpiScale& o) const { return m_dpi != o.m_dpi; }

private:
    int m_dpi = kLayoutDpi;
};

// The factor of the program's window, read and changed on the user-interface thread only: the
// window sets it when it is created and when it moves to a monitor of another DPI.
const DpiScale& UiScale();
void SetUiScale(const DpiScale& scale);
// A layout length at the window's scale.
inline int UiPx(int layout) { return UiScale()(layout); }

// The window rectangle moved (not resized) so that it lies inside the work area; a window larger
// than the area keeps its top-left corner in it.
QvRect KeepInside(const QvRect& window, const QvRect& workArea);
