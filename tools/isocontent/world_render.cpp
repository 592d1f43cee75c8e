// world_render.cpp -- noise, colours, the atlas and the ray caster behind the world's pictures.
#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "tools/isocontent/world_parts.h"

namespace world {

// ---- numbers ----

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t h = 0x9E3779B9u;
    for (uint32_t k : {a, b, c, d}) {
        k *= 0xCC9E2D51u;
        k = (k << 15) | (k >> 17);
        k *= 0x1B873593u;
        h ^= k;
        h = (h << 13) | (h >> 19);
        h = h * 5 + 0xE6546B64u;
    }
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

double Hash01(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return Hash(a, b, c, d) / 4294967296.0; }

static double Smooth(double t) { return t * t * (3 - 2 * t); }

double Value_Noise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = uint32_t(int32_t(fx)), iy = uint32_t(int32_t(fy));
    const double tx = Smooth(x - fx), ty = Smooth(y - fy);
    const double a = Hash01(ix, iy, seed), b = Hash01(ix + 1, iy, seed);
    const double c = Hash01(ix, iy + 1, seed), d = Hash01(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

double Fbm(double x, double y, uint32_t seed, int octaves) {
    double sum = 0, amp = 1, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * Value_Noise(x, y, seed + uint32_t(i) * 101u);
        total += amp;
        amp *= 0.5;
        x *= 2.03;
        y *= 2.03;
    }
    return sum / total;
}

double Tile_Noise(double u, double v, uint32_t seed) {
    constexpr double TAU = 6.283185307179586;
    static const int FREQ[][2] = {{1, 0}, {0, 1}, {1, 1}, {2, -1}, {1, 2}, {3, 1}, {2, 3}};
    double sum = 0, total = 0;
    for (int i = 0; i < 7; ++i) {
        const double amp = i < 3 ? 1.0 : 0.5;
        sum += amp * std::sin(TAU * (FREQ[i][0] * u + FREQ[i][1] * v) + TAU * Hash01(seed, uint32_t(i)));
        total += amp;
    }
    return 0.5 + 0.5 * sum / total;
}

// ---- colours ----

bool Is_Key(Color c) { return (c.r >> 3) == 0 && (c.g >> 2) == 0 && (c.b >> 3) == 0; }

Color Solid(double r, double g, double b) {
    auto clamp = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
    Color c{clamp(r), clamp(g), clamp(b)};
    return Is_Key(c) ? Near_Black : c;
}

Color Shade(Color c, double k) { return Solid(c.r * k, c.g * k, c.b * k); }

Color Lerp(Color a, Color b, double t) {
    return Solid(a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t);
}

// ---- atlas ----

int Atlas::Add(const std::string& key, Picture picture) {
    auto found = keys_.find(key);
    if (found != keys_.end()) return found->second;
    const int handle = int(pictures_.size());
    keys_.emplace(key, handle);
    pictures_.push_back(std::move(picture));
    return handle;
}

void Atlas::Pack() {
    std::vector<int> order(pictures_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return pictures_[size_t(a)].height > pictures_[size_t(b)].height; });
    rects_.assign(pictures_.size(), {});
    int x = 0, y = 0, shelf = 0;
    for (int i : order) {
        const Picture& p = pictures_[size_t(i)];
        if (x + p.width > width_) {
            y += shelf;
            x = 0;
            shelf = 0;
        }
        rects_[size_t(i)] = {x, y, p.width, p.height};
        x += p.width + 1;
        shelf = std::max(shelf, p.height + 1);
    }
    sheet_ = Picture(width_, std::max(1, y + shelf));
    for (size_t i = 0; i < pictures_.size(); ++i) sheet_.Paste(pictures_[i], rects_[i].x, rects_[i].y);
}

// ---- vectors ----

double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(V3 a) { return std::sqrt(Dot(a, a)); }
V3 Normalized(V3 a) {
    const double l = Length(a);
    return l > 0 ? a * (1 / l) : V3{0, 0, 1};
}

// ---- shapes ----

Shape Box(V3 lo, V3 hi, std::function<Color(const Surface_Point&)> paint) {
    return Polytope({{{1, 0, 0}, hi.x},
                     {{-1, 0, 0}, -lo.x},
                     {{0, 1, 0}, hi.y},
                     {{0, -1, 0}, -lo.y},
                     {{0, 0, 1}, hi.z},
                     {{0, 0, -1}, -lo.z}},
                    lo, hi, std::move(paint));
}

Shape Polytope(const std::vector<std::pair<V3, double>>& planes, V3 lo, V3 hi,
               std::function<Color(const Surface_Point&)> paint) {
    Shape s;
    for (auto& [n, d] : planes) {
        const double l = Length(n);
        s.planes.push_back({n * (1 / l), d / l});
    }
    s.lo = lo;
    s.hi = hi;
    s.paint = std::move(paint);
    return s;
}

Shape Implicit(std::function<double(V3)> f, V3 lo, V3 hi, std::function<Color(const Surface_Point&)> paint) {
    Shape s;
    s.f = std::move(f);
    s.lo = lo;
    s.hi = hi;
    s.paint = std::move(paint);
    return s;
}

Shape Sphere(V3 c, double r, std::function<Color(const Surface_Point&)> paint) {
    return Implicit([c, r](V3 p) { return Length(p - c) - r; }, c - V3{r, r, r}, c + V3{r, r, r}, std::move(paint));
}

Shape Ellipsoid(V3 c, V3 r, std::function<Color(const Surface_Point&)> paint) {
    const double m = std::min({r.x, r.y, r.z});
    return Implicit(
        [c, r, m](V3 p) {
            V3 q = p - c;
            return (Length({q.x / r.x, q.y / r.y, q.z / r.z}) - 1) * m;
        },
        c - r, c + r, std::move(paint));
}

Shape Capsule(V3 a, V3 b, double r, std::function<Color(const Surface_Point&)> paint) {
    const V3 lo{std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::min(a.z, b.z) - r};
    const V3 hi{std::max(a.x, b.x) + r, std::max(a.y, b.y) + r, std::max(a.z, b.z) + r};
    return Implicit(
        [a, b, r](V3 p) {
            const V3 ab = b - a, ap = p - a;
            const double len2 = Dot(ab, ab);
            const double t = len2 > 0 ? std::clamp(Dot(ap, ab) / len2, 0.0, 1.0) : 0.0;
            return Length(ap - ab * t) - r;
        },
        lo, hi, std::move(paint));
}

Shape Cone(V3 base, double r0, double r1, double height, std::function<Color(const Surface_Point&)> paint) {
    const double rmax = std::max(r0, r1);
    return Implicit(
        [=](V3 p) {
            const double k = std::clamp((p.z - base.z) / height, 0.0, 1.0);
            const double radius = r0 + (r1 - r0) * k;
            const double side = std::hypot(p.x - base.x, p.y - base.y) - radius;
            const double caps = std::max(base.z - p.z, p.z - base.z - height);
            return std::max(side, caps);
        },
        {base.x - rmax, base.y - rmax, base.z}, {base.x + rmax, base.y + rmax, base.z + height}, std::move(paint));
}

std::function<Color(const Surface_Point&)> Flat(Color c) {
    return [c](const Surface_Point&) { return c; };
}

V3 Light_Direction() { return Normalized({-0.3, 0.55, 0.78}); }

Color Lit(Color base, V3 normal, double lit) {
    const double diffuse = std::max(0.0, Dot(normal, Light_Direction()));
    const double k = 1.0 - lit + lit * (0.52 + 0.62 * diffuse);
    return Shade(base, k);
}

// ---- rendering ----

namespace {

constexpr double SX_X = 0.707107, SY_X = 0.353553;
const V3 RAY{1, 1, 2 * SY_X / SCREEN_Z};

struct Ray_Hit {
    double t = -std::numeric_limits<double>::infinity();
    int shape = -1;
    int face = 0;
};

// The front-most point of the shape along the ray P0 + t RAY, if any.
bool Intersect(const Shape& s, V3 p0, double& t_hit, int& face) {
    if (!s.planes.empty()) {
        double upper = std::numeric_limits<double>::infinity(), lower = -upper;
        for (size_t i = 0; i < s.planes.size(); ++i) {
            const auto& [n, d] = s.planes[i];
            const double k = Dot(n, RAY), r = d - Dot(n, p0);
            if (std::abs(k) < 1e-12) {
                if (r < 0) return false;
            } else if (k > 0) {
                if (r / k < upper) {
                    upper = r / k;
                    face = int(i);
                }
            } else {
                lower = std::max(lower, r / k);
            }
        }
        if (!(upper >= lower) || std::isinf(upper)) return false;
        t_hit = upper;
        return true;
    }
    double t0 = -std::numeric_limits<double>::infinity(), t1 = -t0;
    const double lo[3] = {s.lo.x, s.lo.y, s.lo.z}, hi[3] = {s.hi.x, s.hi.y, s.hi.z};
    const double o[3] = {p0.x, p0.y, p0.z}, d[3] = {RAY.x, RAY.y, RAY.z};
    for (int a = 0; a < 3; ++a) {
        t0 = std::max(t0, (lo[a] - o[a]) / d[a]);
        t1 = std::min(t1, (hi[a] - o[a]) / d[a]);
    }
    if (t0 > t1) return false;
    constexpr double STEP = 0.3;
    double outside = t1 + STEP * 0.01;
    for (double t = t1; t >= t0 - STEP; t -= STEP) {
        const double tt = std::max(t, t0);
        if (s.f(p0 + RAY * tt) <= 0) {
            double in = tt, out = std::min(outside, t1 + 1e-9);
            if (s.f(p0 + RAY * out) <= 0) out = t1 + STEP;
            for (int i = 0; i < 10; ++i) {
                const double mid = (in + out) / 2;
                (s.f(p0 + RAY * mid) <= 0 ? in : out) = mid;
            }
            t_hit = in;
            face = 0;
            return true;
        }
        outside = tt;
        if (tt == t0) break;
    }
    return false;
}

V3 Normal_At(const Shape& s, V3 p, int face) {
    if (!s.planes.empty()) return s.planes[size_t(face)].first;
    constexpr double E = 0.05;
    return Normalized({s.f(p + V3{E, 0, 0}) - s.f(p - V3{E, 0, 0}), s.f(p + V3{0, E, 0}) - s.f(p - V3{0, E, 0}),
                       s.f(p + V3{0, 0, E}) - s.f(p - V3{0, 0, E})});
}

}   // namespace

Rendered Render(const Model& model) {
    // Screen bounds relative to the anchor cell's top corner.
    double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
    for (const Shape& s : model.shapes)
        for (int i = 0; i < 8; ++i) {
            const V3 c{(i & 1) ? s.hi.x : s.lo.x, (i & 2) ? s.hi.y : s.lo.y, (i & 4) ? s.hi.z : s.lo.z};
            const double sx = (c.x - c.y) * SX_X, sy = (c.x + c.y) * SY_X - c.z * SCREEN_Z;
            left = std::min(left, sx);
            right = std::max(right, sx);
            top = std::min(top, sy);
            bottom = std::max(bottom, sy);
        }
    Rendered out;
    if (model.shapes.empty()) return out;
    const int x0 = int(std::floor(left)) - 1, y0 = int(std::floor(top)) - 1;
    const int w = int(std::ceil(right)) + 1 - x0, h = int(std::ceil(bottom)) + 1 - y0;
    Picture object(w, h), overlay(w, h);
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            const double sx = x0 + px + 0.5, sy = y0 + py + 0.5;
            const V3 p0{(sx / SX_X + sy / SY_X) / 2, (sy / SY_X - sx / SX_X) / 2, 0};
            Ray_Hit best;
            for (size_t i = 0; i < model.shapes.size(); ++i) {
                double t = 0;
                int face = 0;
                if (Intersect(model.shapes[i], p0, t, face) && t > best.t) best = {t, int(i), face};
            }
            if (best.shape < 0) continue;
            const Shape& s = model.shapes[size_t(best.shape)];
            Surface_Point sp;
            sp.p = p0 + RAY * best.t;
            sp.n = Normal_At(s, sp.p, best.face);
            sp.face = best.face;
            const Color c = Lit(s.paint(sp), sp.n, s.lit);
            const bool over =
                s.layer == OVERLAY_LAYER || (s.layer == AUTO_LAYER && sp.p.z * SCREEN_Z >= model.overlay_from);
            (over ? overlay : object).Set(px, py, c);
        }
    // Positions relative to the anchor's tile origin, whose top corner is 20 pixels to the right.
    out.object = {std::move(object), x0 + 20, y0};
    out.overlay = {std::move(overlay), x0 + 20, y0};
    return out;
}

Picture Crop(const Picture& p, int x, int y, int w, int h) {
    Picture out(w, h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) out.Set(i, j, p.Get(x + i, y + j));
    return out;
}

void Outline(Picture& picture, Color colour) {
    Picture copy = picture;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            if (!(copy.Get(x, y) == Transparent)) continue;
            const bool edge = !(copy.Get(x - 1, y) == Transparent) || !(copy.Get(x + 1, y) == Transparent) ||
                              !(copy.Get(x, y - 1) == Transparent) || !(copy.Get(x, y + 1) == Transparent);
            if (edge) picture.Set(x, y, colour);
        }
}

std::vector<Cell_Piece> Cut_Into_Pieces(const Model& model, const Rendered& rendered) {
    // Front cells, one per screen column c = dx - dy, from the left corner to the right corner.
    const int cmin = -(model.foot_d - 1), cmax = model.foot_w - 1;
    auto front_cell = [&](int c) {
        // Left part of the front runs along the last row, right part along the last column.
        const int split = (model.foot_w - 1) - (model.foot_d - 1);
        if (c <= split) return std::pair{c + model.foot_d - 1, model.foot_d - 1};
        return std::pair{model.foot_w - 1, model.foot_w - 1 - c};
    };
    std::vector<Cell_Piece> pieces;
    for (int layer = 0; layer < 2; ++layer) {
        const Layer_Picture& lp = layer == 0 ? rendered.object : rendered.overlay;
        std::map<int, Picture> by_column;   // column -> picture in the layer's frame
        for (int y = 0; y < lp.picture.height; ++y)
            for (int x = 0; x < lp.picture.width; ++x) {
                const Color c = lp.picture.Get(x, y);
                if (c == Transparent) continue;
                const int sx = lp.left + x - 20;   // relative to the anchor's top corner
                int k = int(std::floor(sx / 20.0));
                k = std::clamp(k, cmin - 1, cmax);
                const int column = k + 1 <= cmax ? k + 1 : k;
                auto [it, fresh] = by_column.try_emplace(column, lp.picture.width, lp.picture.height);
                (void)fresh;
                it->second.Set(x, y, c);
            }
        for (auto& [column, pic] : by_column) {
            int bx0 = pic.width, by0 = pic.height, bx1 = -1, by1 = -1;
            for (int y = 0; y < pic.height; ++y)
                for (int x = 0; x < pic.width; ++x)
                    if (!(pic.Get(x, y) == Transparent)) {
                        bx0 = std::min(bx0, x);
                        by0 = std::min(by0, y);
                        bx1 = std::max(bx1, x);
                        by1 = std::max(by1, y);
                    }
            if (bx1 < 0) continue;
            Cell_Piece piece;
            std::tie(piece.dx, piece.dy) = front_cell(column);
            piece.overlay = layer == 1;
            piece.art.picture = Crop(pic, bx0, by0, bx1 - bx0 + 1, by1 - by0 + 1);
            const int origin_x = 20 * (piece.dx - piece.dy), origin_y = 10 * (piece.dx + piece.dy);
            piece.art.left = lp.left + bx0 - origin_x;
            piece.art.top = lp.top + by0 - origin_y;
            pieces.push_back(std::move(piece));
        }
    }
    return pieces;
}

}   // namespace world
