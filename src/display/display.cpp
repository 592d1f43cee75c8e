// display.cpp -- presentation of the back buffer and the drawing operations every screen shares.
#include "display/display.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/text.h"
#include "platform/platform.h"

void Present_Frame() { Present_Surface(Display.Back_Buffer); }

void SetFont(const Font_Spec& font) { Display.font = font; }

void SetForeColor(uint32_t color) { Display.fore_color = color; }

void Set_Line_Width(int32_t width) { Display.line_width = width; }

void DrawText(int32_t x, int32_t y, const std::u16string& text) {
    if (text.empty()) return;
    if (const Text_Mask* mask = Find_Text_Mask(Display.font, text))
        Blit_Text_Mask(Display.Back_Buffer, x, y, *mask, Color_To_Pixel(Display.fore_color));
}

namespace {

// Cuts the segment to the box (Liang-Barsky); false when nothing of it is inside.
bool Clip_Segment(double& x1, double& y1, double& x2, double& y2, double left, double top, double right,
                  double bottom) {
    double t0 = 0, t1 = 1;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
        } else {
            double t = q[i] / p[i];
            if (p[i] < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
        }
    }
    if (t0 > t1) return false;
    const double ax = x1, ay = y1;
    x1 = ax + t0 * dx;
    y1 = ay + t0 * dy;
    x2 = ax + t1 * dx;
    y2 = ay + t1 * dy;
    return true;
}

}   // namespace

void Draw_Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Surface& dest = Display.Back_Buffer;
    // The pen is a square of the line width around each point of the line; widths beyond 64
    // pixels are not something any screen asks for.
    const int32_t width = std::clamp(Display.line_width, 1, 64);
    const int32_t lo = -((width - 1) / 2), hi = width / 2;
    const uint16_t pixel = Color_To_Pixel(Display.fore_color);

    // Points far off the buffer are cut away first, so a wild coordinate costs nothing.
    double fx1 = x1, fy1 = y1, fx2 = x2, fy2 = y2;
    const double margin = width + 2;
    if (!Clip_Segment(fx1, fy1, fx2, fy2, -margin, -margin, dest.width + margin, dest.height + margin)) return;
    int64_t ax = std::llround(fx1), ay = std::llround(fy1), bx = std::llround(fx2), by = std::llround(fy2);

    // Like the window system's lines, the last point is left out.
    const int64_t dx = std::llabs(bx - ax), dy = -std::llabs(by - ay);
    const int64_t sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    int64_t err = dx + dy;
    while (ax != bx || ay != by) {
        for (int64_t py = std::max<int64_t>(0, ay + lo); py <= std::min<int64_t>(dest.height - 1, ay + hi); ++py)
            for (int64_t px = std::max<int64_t>(0, ax + lo); px <= std::min<int64_t>(dest.width - 1, ax + hi); ++px)
                dest.pixels[size_t(py) * size_t(dest.width) + size_t(px)] = pixel;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            ax += sx;
        }
        if (e2 <= dx) {
            err += dx;
            ay += sy;
        }
    }
}

double Text_Width(const std::u16string& text) {
    if (text.empty()) return 0;
    const Text_Mask* mask = Find_Text_Mask(Display.font, text);
    return mask ? mask->measured_width : 0;
}

double Text_Height(const std::u16string& text) {
    const Text_Mask* mask = Find_Text_Mask(Display.font, text);
    return mask ? mask->line_height : 0;
}

void Draw_Outlined_Text(int16_t x, int16_t y, const std::u16string& text, uint32_t outline_color, uint32_t text_color) {
    if (text.empty()) return;
    SetForeColor(outline_color);
    // One look-up for the copies: the text moved one pixel each way in the outline colour, all
    // four in one painting of its outline, then the text. The offsets are taken in 32 bits, so the
    // ends of the 16-bit range only draw off screen.
    const Text_Mask* mask = Find_Text_Mask(Display.font, text);
    if (mask) Blit_Text_Outline(Display.Back_Buffer, x, y, *mask, Color_To_Pixel(outline_color));
    SetForeColor(text_color);
    if (mask) Blit_Text_Mask(Display.Back_Buffer, x, y, *mask, Color_To_Pixel(text_color));
}

Rect Clip_Source_Rect(Rect& rect, int16_t& x, int16_t& y) {
    // The sums are taken wide and the edges kept within 32 bits, so no rectangle can overflow.
    auto narrow = [](int64_t v) {
        return int32_t(
            std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    };
    int64_t left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
    if (x < 0) {
        left -= x;
        x = 0;
    }
    if ((right - left) + x > SCREEN_WIDTH) right -= (right - left) + x - SCREEN_WIDTH;
    if (y < 0) {
        top -= y;
        y = 0;
    }
    if ((bottom - top) + y > SCREEN_HEIGHT) bottom -= (bottom - top) + y - SCREEN_HEIGHT;
    rect = Rect{narrow(left), narrow(top), narrow(right), narrow(bottom)};
    return rect;
}

bool Point_In_Rect(int16_t x, int16_t y, int16_t left, int16_t top, int16_t right, int16_t bottom) {
    return left < x && x < right && top < y && y < bottom;
}

int64_t Round_Half_Even_Wide(double value) {
    // Written out rather than left to the floating-point rounding mode.
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
    return int64_t(whole);
}

int32_t Round_Half_Even(double value) {
    if (std::isnan(value)) return 0;
    if (value >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (value <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return int32_t(Round_Half_Even_Wide(value));
}
