// The DIB-section image: loading resources, conversion rules, failure behaviour and the lent context.
#include "controls/DIBSectionLite.h"
#include "resources/resource.h"
#include "support/ui_capture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// A 32-bit DIB section of w x h, stored top-down or bottom-up, whose first memory row is red and
// every other row blue.
HBITMAP MakeStripedBitmap(int w, int h, bool topDown) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = topDown ? -h : h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    uint32_t* px = static_cast<uint32_t*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[y * w + x] = y == 0 ? 0x00FF0000u : 0x000000FFu;
    return bitmap;
}

// The picture as DrawAt puts it on a screen-compatible surface.
UiImage Drawn(CDIBSectionLite& image) {
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP target = ::CreateCompatibleBitmap(screen, image.Width(), image.Height());
    HGDIOBJ old = ::SelectObject(mem, target);
    image.DrawAt(mem, POINT{0, 0});
    UiImage drawn = UiCaptureDC(mem, 0, 0, image.Width(), image.Height());
    ::SelectObject(mem, old);
    ::DeleteObject(target);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return drawn;
}

TEST(DIBSectionLite, CheckBoxResourceLoadsWithItsFormat) {
    CDIBSectionLite image;
    ASSERT_TRUE(image.LoadResourceBitmap(IDB_CHECK_OFF));
    EXPECT_EQ(image.Width(), 23);
    EXPECT_EQ(image.Height(), 22);
    EXPECT_EQ(image.Size().cx, 23);
    EXPECT_EQ(image.Size().cy, 22);
    EXPECT_EQ(image.BitCount(), 8);
    EXPECT_EQ(image.ColorEntries(), 256);
    EXPECT_EQ(image.BytesPerRow(), 24);
    EXPECT_NE(image.GetBits(), nullptr);
}

TEST(DIBSectionLite, EveryArtworkResourceLoadsAt8Bits) {
    const struct {
        UINT id;
        int width, height;
    } expected[] = {{IDB_EXIT, 208, 38},        {IDB_SCROLL_DOWN, 70, 65},         {IDB_SCROLL_THUMB, 70, 490},
                    {IDB_SCROLL_UP, 70, 65},    {IDB_MSGBOX_BACKGROUND, 564, 280}, {IDB_MSGBOX_BUTTON, 700, 55},
                    {IDB_BACKGROUND, 562, 598}, {IDB_COMMAND_BUTTON, 544, 42},     {IDB_BANNER, 490, 75},
                    {IDB_CHECK_ON, 23, 22}};
    for (const auto& e : expected) {
        CDIBSectionLite image;
        ASSERT_TRUE(image.LoadResourceBitmap(e.id)) << e.id;
        EXPECT_EQ(image.Width(), e.width) << e.id;
        EXPECT_EQ(image.Height(), e.height) << e.id;
        EXPECT_EQ(image.BitCount(), 8) << e.id;
    }
    for (UINT id = IDB_MSGBOX_ICON_FIRST; id < IDB_MSGBOX_ICON_FIRST + 14; ++id) {
        CDIBSectionLite icon;
        ASSERT_TRUE(icon.LoadResourceBitmap(id)) << id;
        EXPECT_EQ(icon.Width(), 136) << id;
        EXPECT_EQ(icon.Height(), 136) << id;
    }
}

// Above 96 DPI every picture comes from the double-size set at the scale, each frame of a strip
// at the scaled pitch; at 192 DPI the background matches the layout's picture, row by row.
TEST(DIBSectionLite, PicturesAtTheScaleComeFromTheDoubleSizeSet) {
    const DpiScale scale(144);
    const struct {
        UINT id;
        int pitch, frames, height;
    } expected[] = {{IDB_EXIT, 54, 4, 38},      {IDB_COMMAND_BUTTON, 136, 4, 42}, {IDB_MSGBOX_BUTTON, 175, 4, 55},
                    {IDB_SCROLL_UP, 35, 2, 65}, {IDB_BACKGROUND, 562, 1, 598},    {IDB_CHECK_ON, 23, 1, 22}};
    for (const auto& e : expected) {
        CDIBSectionLite image;
        ASSERT_TRUE(image.LoadResourceBitmap(e.id, scale, e.pitch)) << e.id;
        EXPECT_EQ(image.Width(), e.frames * scale(e.pitch)) << e.id;
        EXPECT_EQ(image.Height(), scale(e.height)) << e.id;
    }

    CDIBSectionLite layout, doubled;
    ASSERT_TRUE(layout.LoadResourceBitmap(IDB_BACKGROUND));
    ASSERT_TRUE(doubled.LoadResourceBitmap(IDB_BACKGROUND, DpiScale(192)));
    const UiImage small = Drawn(layout), large = Drawn(doubled);
    int worstRow = 0, worst = 0;
    for (int y = 0; y < 598; ++y) {
        int difference = 0;
        for (int x = 0; x < 562; ++x) {
            for (int shift : {0, 8, 16}) {
                int sum = 0;
                for (int d = 0; d < 4; ++d) sum += (large.At(2 * x + d % 2, 2 * y + d / 2) >> shift) & 0xFF;
                difference += std::abs(sum / 4 - static_cast<int>((small.At(x, y) >> shift) & 0xFF));
            }
        }
        if (difference / 562 > worst) worst = difference / 562, worstRow = y;
    }
    EXPECT_LT(worst, 12) << "row " << worstRow;
}

TEST(DIBSectionLite, MissingResourceFailsAndKeepsTheEarlierPicture) {
    CDIBSectionLite image;
    ASSERT_TRUE(image.LoadResourceBitmap(IDB_CHECK_ON));
    HBITMAP before = image.GetSafeHandle();
    EXPECT_FALSE(image.LoadResourceBitmap(4242));
    EXPECT_FALSE(image.LoadResourceBitmap(L"NO_SUCH_BITMAP"));
    EXPECT_EQ(image.GetSafeHandle(), before);
    EXPECT_EQ(image.Width(), 23);
    EXPECT_EQ(image.ColorEntries(), 256);
}

TEST(DIBSectionLite, NullBitmapEmptiesTheObject) {
    CDIBSectionLite image;
    ASSERT_TRUE(image.LoadResourceBitmap(IDB_CHECK_ON));
    EXPECT_FALSE(image.AssignBitmap(nullptr));
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_EQ(image.ColorEntries(), 0);
    EXPECT_EQ(image.GetBits(), nullptr);
    HDC screen = ::GetDC(nullptr);
    EXPECT_FALSE(image.DrawAt(screen, POINT{0, 0}));
    ::ReleaseDC(nullptr, screen);
}

TEST(DIBSectionLite, TopDownBitmapGivesPositiveHeightAndKeepsItsRows) {
    for (bool topDown : {true, false}) {
        HBITMAP source = MakeStripedBitmap(5, 7, topDown);
        ASSERT_NE(source, nullptr);
        CDIBSectionLite image;
        ASSERT_TRUE(image.AssignBitmap(source));
        ::DeleteObject(source);
        EXPECT_EQ(image.Height(), 7);
        EXPECT_EQ(image.BitCount(), 32);
        EXPECT_EQ(image.ColorEntries(), 0);
        EXPECT_EQ(image.BytesPerRow(), 20);

        HDC screen = ::GetDC(nullptr);
        HDC mem = ::CreateCompatibleDC(screen);
        HBITMAP target = ::CreateCompatibleBitmap(screen, 5, 7);
        HGDIOBJ old = ::SelectObject(mem, target);
        EXPECT_TRUE(image.DrawAt(mem, POINT{0, 0}));
        const UiImage drawn = UiCaptureDC(mem, 0, 0, 5, 7);
        // The first memory row is the top row of a top-down bitmap and the bottom row otherwise.
        const int redRow = topDown ? 0 : 6;
        EXPECT_EQ(drawn.At(2, redRow), RGB(255, 0, 0)) << topDown;
        EXPECT_EQ(drawn.At(2, 6 - redRow), RGB(0, 0, 255)) << topDown;
        ::SelectObject(mem, old);
        ::DeleteObject(target);
        ::DeleteDC(mem);
        ::ReleaseDC(nullptr, screen);
    }
}

TEST(DIBSectionLite, OnlyOneMemoryContextIsLent) {
    CDIBSectionLite image;
    ASSERT_TRUE(image.LoadResourceBitmap(IDB_MSGBOX_BUTTON));
    HDC first = image.AcquireMemoryDC(nullptr);
    ASSERT_NE(first, nullptr);
    HDC second = image.AcquireMemoryDC(nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(::GetObjectType(second), static_cast<DWORD>(OBJ_MEMDC));
    EXPECT_EQ(::GetCurrentObject(second, OBJ_BITMAP), image.GetSafeHandle());
    if (first != second) {
        EXPECT_EQ(::GetObjectType(first), 0u);  // the first one was deleted
    }
    EXPECT_TRUE(image.FreeMemoryDC());
    EXPECT_EQ(::GetObjectType(second), 0u);
    EXPECT_TRUE(image.FreeMemoryDC());  // nothing lent: still fine
}

TEST(DIBSectionLite, EmptyObjectLendsAContextWithoutPicture) {
    CDIBSectionLite image;
    HDC dc = image.AcquireMemoryDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_TRUE(image.FreeMemoryDC());
}

TEST(DIBSectionLite, ColourTableEntriesByBitCount) {
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(1, BI_RGB), 2u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(4, BI_RGB), 16u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(8, BI_RGB), 256u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(16, BI_RGB), 0u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(16, BI_BITFIELDS), 3u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(32, BI_BITFIELDS), 3u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(24, BI_RGB), 0u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(7, BI_RGB), 0u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(8, BI_RGB, 16), 16u);
    EXPECT_EQ(CDIBSectionLite::ColorTableEntries(4, BI_RGB, 200), 16u);
}

TEST(DIBSectionLite, StretchCopiesASourceFrame) {
    CDIBSectionLite image;
    ASSERT_TRUE(image.LoadResourceBitmap(IDB_MSGBOX_BUTTON));
    HDC mem = image.AcquireMemoryDC(nullptr);
    const UiImage strip = UiCaptureDC(mem, 0, 0, 700, 55);
    image.FreeMemoryDC();

    HDC screen = ::GetDC(nullptr);
    HDC target = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 175, 55);
    HGDIOBJ old = ::SelectObject(target, bitmap);
    EXPECT_TRUE(image.StretchTo(target, RECT{0, 0, 175, 55}, RECT{350, 0, 525, 55}));
    const UiImage copy = UiCaptureDC(target, 0, 0, 175, 55);
    for (int x = 0; x < 175; x += 17)
        for (int y = 0; y < 55; y += 9) ASSERT_EQ(copy.At(x, y), strip.At(350 + x, y)) << x << "," << y;
    ::SelectObject(target, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(target);
    ::ReleaseDC(nullptr, screen);
}

}  // namespace
