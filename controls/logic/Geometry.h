// Plain rectangle type for the controls' layout code, free of any platform header.
#pragma once

struct QvRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    // Left and top inclusive, right and bottom exclusive.
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const QvRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const QvRect& o) const { return !(*this == o); }
};

inline QvRect MakeQvRect(int left, int top, int right, int bottom) {
    QvRect rc;
    rc.left = left;
    rc.top = top;
    rc.right = right;
    rc.bottom = bottom;
    return rc;
}
