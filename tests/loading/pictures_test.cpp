// pictures_test.cpp -- the generated screen pictures: their sizes, and the drawn buttons and fields
// lying exactly on the boxes the screens test clicks against.
#include "fixture.h"
#include "loading/bitmap.h"

namespace {

class Generated_Pictures : public Headless_Test {};

// The box's frame is drawn on its border pixels: each border line is one colour along the box,
// and differs from the pixels just outside it. The box lies inside the picture.
void Expect_Framed(const Surface& s, Rect box, const char* what) {
    const int32_t left = box.left, top = box.top, right = box.right - 1, bottom = box.bottom - 1;
    for (int32_t y = top + 2; y < bottom - 1; ++y) {
        EXPECT_EQ(s.At(left, y), s.At(left, top + 2)) << what << " left edge, row " << y;
        EXPECT_EQ(s.At(right, y), s.At(right, top + 2)) << what << " right edge, row " << y;
        EXPECT_NE(s.At(left - 1, y), s.At(left, y)) << what << " outside left, row " << y;
        EXPECT_NE(s.At(right + 1, y), s.At(right, y)) << what << " outside right, row " << y;
    }
    for (int32_t x = left + 2; x < right - 1; ++x) {
        EXPECT_EQ(s.At(x, top), s.At(left + 2, top)) << what << " top edge, column " << x;
        EXPECT_NE(s.At(x, top - 1), s.At(x, top)) << what << " outside top, column " << x;
    }
}

TEST_F(Generated_Pictures, Sizes_And_Click_Boxes) {
    struct Expected {
        std::u16string name;
        int32_t width, height;
    };
    const Expected sizes[] = {
        {u"images\\login.bmp", 640, 480}, {u"images\\login_enter.bmp", 95, 39}, {u"images\\load_full.bmp", 640, 480},
        {u"images\\load_s.bmp", 145, 35}, {u"images\\s.bmp", 640, 100},
    };
    for (const Expected& e : sizes) {
        Surface s;
        Load_Bitmap(e.name, 0, s);
        EXPECT_EQ(s.width, e.width);
        EXPECT_EQ(s.height, e.height);
    }

    Surface error_box, login, lit;
    Load_Bitmap(u"images\\err.bmp", 0, error_box);
    EXPECT_GE(error_box.width, 300);   // room for a message with a file name
    Expect_Framed(error_box, Rect{135, 50, 180, 77}, "confirm button");
    Load_Bitmap(u"images\\login.bmp", 0, login);
    Expect_Framed(login, Rect{320, 320, 415, 359}, "login button");
    Expect_Framed(login, Rect{265, 228, 408, 258}, "identifier field");
    Expect_Framed(login, Rect{265, 280, 408, 310}, "password field");
    // The lit button differs from the plain one, and is opaque (it is copied without a key).
    Load_Bitmap(u"images\\login_enter.bmp", 0, lit);
    int differ = 0, see_through = 0;
    for (int32_t y = 0; y < lit.height; ++y)
        for (int32_t x = 0; x < lit.width; ++x) {
            differ += lit.At(x, y) != login.At(320 + x, 320 + y);
            see_through += lit.At(x, y) == 0;
        }
    EXPECT_GT(differ, 95 * 39 / 2);
    EXPECT_EQ(see_through, 0);
}

}  // namespace
