// pictures_test.cpp -- the generated screen pictures: their sizes, and the drawn buttons and fields
// lying exactly on the boxes the screens test clicks against.
#include <algorithm>

#include "display/bitmap.h"
#include "fixture.h"

namespace {

// Pixels off the box's frame: each border line is one colour along the box, and differs from the
// pixels just outside it.
int Frame_Faults(const Surface& s, Rect b) {
    int faults = 0;
    for (int32_t y = b.top + 2; y < b.bottom - 2; ++y)
        faults += (s.At(b.left, y) != s.At(b.left, b.top + 2)) + (s.At(b.left - 1, y) == s.At(b.left, y)) +
                  (s.At(b.right - 1, y) != s.At(b.right - 1, b.top + 2)) + (s.At(b.right, y) == s.At(b.right - 1, y));
    for (int32_t x = b.left + 2; x < b.right - 2; ++x)
        faults += (s.At(x, b.top) != s.At(b.left + 2, b.top)) + (s.At(x, b.top - 1) == s.At(x, b.top));
    return faults;
}

using Generated_Pictures = Headless_Test;

TEST_F(Generated_Pictures, Sizes_And_Click_Boxes) {
    Surface error_box, login, lit, full, bar;
    for (auto [name, s] : {std::pair{u"load_full", &full},
                           {u"load_s", &bar},
                           {u"err", &error_box},
                           {u"login", &login},
                           {u"login_enter", &lit}})
        Load_Bitmap(u"images\\" + std::u16string(name) + u".bmp", 0, *s);
    for (const Surface* s : {&full, &login}) EXPECT_EQ(std::pair(s->width, s->height), std::pair(640, 480));
    EXPECT_EQ(std::tuple(bar.width, bar.height, lit.width, lit.height), std::tuple(145, 35, 95, 39));
    EXPECT_GE(error_box.width, 300);   // room for a message with a file name
    // The confirm button; the login button, the identifier and the password fields.
    EXPECT_EQ(Frame_Faults(error_box, Rect{135, 50, 180, 77}), 0);
    for (Rect box : {Rect{320, 320, 415, 359}, Rect{265, 228, 408, 258}, Rect{265, 280, 408, 310}})
        EXPECT_EQ(Frame_Faults(login, box), 0) << box.left << "," << box.top;
    // The lit button differs from the plain one, and is opaque (it is copied without a key).
    int differ = 0;
    for (int32_t y = 0; y < lit.height; ++y)
        for (int32_t x = 0; x < lit.width; ++x) differ += lit.At(x, y) != login.At(320 + x, 320 + y);
    EXPECT_GT(differ, 95 * 39 / 2);
    EXPECT_EQ(std::count(lit.pixels.begin(), lit.pixels.end(), 0), 0);
}

}   // namespace
