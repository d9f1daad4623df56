// Conversions between the system's RECT and the layout code's QvRect.
#pragma once

#include "controls/logic/Geometry.h"
#include "framework/Win32.h"

inline QvRect ToQvRect(const RECT& rc) { return QvRect{rc.left, rc.top, rc.right, rc.bottom}; }
inline RECT ToRect(const QvRect& rc) { return RECT{rc.left, rc.top, rc.right, rc.bottom}; }
