// world_models.cpp -- the things that stand on the map: trees, rocks, fences, walls, houses and the
// small furniture of a village, each built from simple solids in model space.
#include <algorithm>
#include <cmath>

#include "tools/isocontent/world_parts.h"

namespace world {

namespace {

using Paint = std::function<Color(const Surface_Point&)>;

constexpr double MID = CELL / 2;   // the centre of the anchor cell
const V3 CENTRE{MID, MID, 0};

uint32_t Cell_Of(double v, double size) { return uint32_t(int32_t(std::floor(v / size)) + 100000); }

double Noise3(V3 p, uint32_t seed) {
    const double fx = std::floor(p.x), fy = std::floor(p.y), fz = std::floor(p.z);
    const auto ix = uint32_t(int32_t(fx) + 100000), iy = uint32_t(int32_t(fy) + 100000),
               iz = uint32_t(int32_t(fz) + 100000);
    auto s = [](double t) { return t * t * (3 - 2 * t); };
    const double tx = s(p.x - fx), ty = s(p.y - fy), tz = s(p.z - fz);
    double v[2][2][2];
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b)
            for (int c = 0; c < 2; ++c) v[a][b][c] = Hash01(ix + uint32_t(a), iy + uint32_t(b), iz + uint32_t(c), seed);
    auto lerp = [](double a, double b, double t) { return a + (b - a) * t; };
    const double x00 = lerp(v[0][0][0], v[1][0][0], tx), x10 = lerp(v[0][1][0], v[1][1][0], tx);
    const double x01 = lerp(v[0][0][1], v[1][0][1], tx), x11 = lerp(v[0][1][1], v[1][1][1], tx);
    return lerp(lerp(x00, x10, ty), lerp(x01, x11, ty), tz);
}

// Leaves: clusters of lighter and darker green, a few highlights.
Paint Leafy(Color base, uint32_t seed, Color fruit = Transparent, double fruit_share = 0) {
    return [=](const Surface_Point& sp) {
        const double h = Hash01(Cell_Of(sp.p.x, 2.4), Cell_Of(sp.p.y, 2.4), Cell_Of(sp.p.z, 2.4), seed);
        if (fruit_share > 0 && h > 1 - fruit_share) return fruit;
        Color c = Shade(base, 0.8 + 0.36 * h);
        const double fine = Hash01(Cell_Of(sp.p.x, 1.1), Cell_Of(sp.p.y, 1.1), Cell_Of(sp.p.z, 1.1), seed + 1);
        if (fine > 0.9)
            c = Shade(c, 1.18);
        else if (fine < 0.08)
            c = Shade(c, 0.75);
        return c;
    };
}

Paint Bark(Color base, V3 axis, uint32_t seed) {
    return [=](const Surface_Point& sp) {
        const double angle = std::atan2(sp.p.y - axis.y, sp.p.x - axis.x);
        const double stripe = Hash01(uint32_t(int(std::floor(angle * 3.2)) + 50), Cell_Of(sp.p.z, 5), seed);
        return Shade(base, 0.85 + 0.25 * stripe);
    };
}

Paint Grainy(Color base, uint32_t seed, double amount = 0.2) {
    return [=](const Surface_Point& sp) {
        const double h = Hash01(Cell_Of(sp.p.x, 1.3), Cell_Of(sp.p.y, 1.3), Cell_Of(sp.p.z, 1.3), seed);
        return Shade(base, 1 - amount / 2 + amount * h);
    };
}

// Coordinates across a face: along its width and up its height, from the face's normal.
void Face_Coords(const Surface_Point& sp, double& along, double& up) {
    if (std::abs(sp.n.z) > 0.7) {
        along = sp.p.x;
        up = sp.p.y;
    } else if (std::abs(sp.n.x) > std::abs(sp.n.y)) {
        along = sp.p.y;
        up = sp.p.z;
    } else {
        along = sp.p.x;
        up = sp.p.z;
    }
}

Paint Bricks(Color stone, Color mortar, uint32_t seed, double course = 5.0, double length = 9.0) {
    return [=](const Surface_Point& sp) {
        double along, up;
        Face_Coords(sp, along, up);
        const int row = int(std::floor(up / course));
        const double a = along + ((row & 1) ? length / 2 : 0);
        const int col = int(std::floor(a / length));
        const double fu = up / course - row, fa = a / length - col;
        if (fu < 0.16 || fa < 0.08) return mortar;
        const double h = Hash01(uint32_t(row + 1000), uint32_t(col + 1000), seed);
        Color c = Shade(stone, 0.84 + 0.3 * h);
        if (fu > 0.8) c = Shade(c, 0.9);
        return c;
    };
}

Shape With_Layer(Shape s, Layer layer) {
    s.layer = layer;
    return s;
}

// A roof slab following the plane z = top - slope * |c - ridge| on one side of the ridge.
// Coordinates are given in "roof space" where the ridge runs along the first axis; swap maps them.
Shape Roof_Slab(bool ridge_along_x, double a0, double a1, double ridge, double edge, double top, double slope,
                double thickness, Paint paint) {
    const double side = edge > ridge ? 1.0 : -1.0;   // which side of the ridge
    auto v = [&](double a, double c, double z) { return ridge_along_x ? V3{a, c, z} : V3{c, a, z}; };
    std::vector<std::pair<V3, double>> planes = {
        {v(1, 0, 0), a1},
        {v(-1, 0, 0), -a0},
        {v(0, -side, 0), -side * ridge},
        {v(0, side, 0), side * edge},
        // top and bottom of the slab: z + slope * side * (c - ridge) between top and top + thickness
        {v(0, slope * side, 1), top + thickness + slope * side * ridge},
        {v(0, -slope * side, -1), -(top + slope * side * ridge)},
    };
    const double low = top - slope * std::abs(edge - ridge);
    const V3 lo = v(a0, std::min(ridge, edge), low), hi = v(a1, std::max(ridge, edge), top + thickness);
    return Polytope(planes, lo, hi, std::move(paint));
}

}   // namespace

// ---- trees and plants ----

Prop Round_Tree(uint32_t seed) {
    Prop prop;
    Model& m = prop.model;
    const double lean_x = (Hash01(seed, 1) - 0.5) * 4, lean_y = (Hash01(seed, 2) - 0.5) * 4;
    const Paint bark = Bark(Solid(104, 76, 50), CENTRE, seed);
    m.shapes.push_back(Cone(CENTRE, 3.8, 2.6, 66, bark));
    m.shapes.push_back(Capsule(CENTRE + V3{0, 0, 42}, CENTRE + V3{8 + lean_x, -4, 58}, 1.7, bark));
    // Mostly greens; one variant in twelve turns to autumn, one bears apples.
    static const Color LEAVES[] = {Solid(62, 124, 50), Solid(78, 138, 54), Solid(54, 112, 58),  Solid(92, 146, 58),
                                   Solid(70, 130, 46), Solid(66, 118, 62), Solid(196, 128, 44), Solid(84, 134, 50),
                                   Solid(60, 120, 54), Solid(86, 140, 62), Solid(74, 126, 48),  Solid(58, 116, 46)};
    const Color leaves = LEAVES[seed % 12];
    const bool fruit = seed % 12 == 3;
    const Paint paint = Leafy(leaves, seed, Solid(214, 48, 40), fruit ? 0.05 : 0);
    const V3 top = CENTRE + V3{lean_x, lean_y, 72};
    m.shapes.push_back(Sphere(top, 16.5 + 2.5 * Hash01(seed, 3), paint));
    const int lobes = 5 + int(seed % 3);
    for (int i = 0; i < lobes; ++i) {
        const double a = 6.2832 * (i + Hash01(seed, 10 + uint32_t(i)) * 0.5) / lobes;
        const double d = 11 + 3 * Hash01(seed, 20 + uint32_t(i));
        const double z = 60 + 14 * Hash01(seed, 30 + uint32_t(i));
        m.shapes.push_back(Sphere(top + V3{d * std::cos(a), d * std::sin(a), z - 72},
                                  10.5 + 2.5 * Hash01(seed, 40 + uint32_t(i)), paint));
    }
    // Lower boughs on the sides break the round outline.
    for (int i = 0; i < 3; ++i) {
        const double a = 6.2832 * (i + Hash01(seed, 50 + uint32_t(i))) / 3;
        m.shapes.push_back(Sphere(
            CENTRE + V3{12 * std::cos(a), 12 * std::sin(a), 52 + 4 * Hash01(seed, 60 + uint32_t(i))}, 8.5, paint));
    }
    for (size_t i = 2; i < m.shapes.size(); ++i) m.shapes[i].layer = AUTO_LAYER;
    m.overlay_from = 40;
    return prop;
}

Prop Pine_Tree(uint32_t seed) {
    Prop prop;
    Model& m = prop.model;
    m.shapes.push_back(Cone(CENTRE, 2.8, 2.0, Px(22), Bark(Solid(92, 66, 46), CENTRE, seed)));
    const Color needles = seed % 3 == 0 ? Solid(40, 96, 64) : Solid(46, 106, 58);
    const double scale = 0.9 + 0.25 * Hash01(seed, 5);
    for (int i = 0; i < 4; ++i) {
        const double base = Px(12 + 15 * i) * scale, r0 = (17.5 - 3.6 * i) * std::min(1.0, scale);
        Paint leafy = Leafy(needles, seed + uint32_t(i));
        Paint banded = [leafy, base](const Surface_Point& sp) {
            Color c = leafy(sp);
            return sp.p.z - base < 3 ? Shade(c, 0.78) : c;   // the shade under each tier
        };
        Shape cone = Cone(CENTRE, r0, 0.5, Px(27) * scale, banded);
        cone.f = [inner = cone.f, base](V3 p) {   // a cone that starts at its tier's base
            return inner(p - V3{0, 0, base});
        };
        cone.lo.z += base;
        cone.hi.z += base;
        cone.layer = AUTO_LAYER;
        m.shapes.push_back(cone);
    }
    m.overlay_from = 38;
    return prop;
}

Prop Dead_Tree(uint32_t seed) {
    Prop prop;
    Model& m = prop.model;
    const Paint bark = Bark(Solid(116, 100, 84), CENTRE, seed);
    m.shapes.push_back(Cone(CENTRE, 3.2, 1.6, 52, bark));
    for (int i = 0; i < 4; ++i) {
        const double a = 6.2832 * (i + 0.3 * Hash01(seed, uint32_t(i))) / 4, z = 26 + 7 * i;
        const V3 from = CENTRE + V3{0, 0, z};
        m.shapes.push_back(Capsule(from, from + V3{10 * std::cos(a), 10 * std::sin(a), 9}, 1.1, bark));
    }
    for (Shape& s : m.shapes) s.layer = AUTO_LAYER;
    m.overlay_from = 40;
    return prop;
}

Prop Bush(uint32_t seed, bool dry) {
    Prop prop;
    Model& m = prop.model;
    const bool flowering = !dry && seed % 3 == 0;
    const Paint paint =
        Leafy(dry ? Solid(150, 132, 78) : Solid(58, 118, 48), seed, Solid(232, 120, 170), flowering ? 0.08 : 0);
    for (int i = 0; i < 4; ++i) {
        const double a = 6.2832 * i / 4 + Hash01(seed, uint32_t(i));
        const double d = i == 0 ? 0 : 5;
        m.shapes.push_back(Sphere(CENTRE + V3{d * std::cos(a), d * std::sin(a), 6 + 2 * Hash01(seed, 9, uint32_t(i))},
                                  7 + 1.5 * Hash01(seed, 7, uint32_t(i)), paint));
    }
    return prop;
}

Prop Rock(uint32_t seed, double size) {
    Prop prop;
    const V3 r{10.5 * size, 8.5 * size, 7.5 * size};
    const V3 c = CENTRE + V3{0, 0, 1.5 * size};
    const double m = std::min({r.x, r.y, r.z});
    const double bump = 2.4 * size;
    Shape rock = Implicit(
        [=](V3 p) {
            const V3 q = p - c;
            const double e = (Length({q.x / r.x, q.y / r.y, q.z / r.z}) - 1) * m;
            return std::max(e - bump * (Noise3(p * (0.22 / size), seed) - 0.5) * 2, -p.z);
        },
        c - r - V3{bump, bump, bump}, c + r + V3{bump, bump, bump},
        [=](const Surface_Point& sp) {
            const double h = Noise3(sp.p * 0.5, seed + 7);
            const double lichen = Noise3(sp.p * 0.3, seed + 9);
            Color base = lichen > 0.68 && sp.n.z > 0.2 ? Solid(118, 132, 84) : Solid(132, 128, 122);
            return Shade(base, 0.82 + 0.36 * h);
        });
    prop.model.shapes.push_back(rock);
    return prop;
}

Prop Standing_Stone(uint32_t seed) {
    Prop prop;
    const V3 c = CENTRE + V3{0, 0, 0};
    const double height = Px(34 + 6 * Hash01(seed, 1)), rx = 7.5, ry = 5.5;
    prop.model.shapes.push_back(Implicit(
        [=](V3 p) {
            const V3 q = p - c;
            // A slab that narrows a little towards its rounded top.
            const double taper = 1 - 0.25 * std::clamp(q.z / height, 0.0, 1.0);
            const double side = std::max(std::abs(q.x) - rx * taper, std::abs(q.y) - ry * taper);
            const double top = q.z - height + 3 * (q.x / rx) * (q.x / rx);
            return std::max({side, top, -p.z}) - 1.2 * (Noise3(p * 0.3, seed) - 0.5);
        },
        c - V3{rx + 1, ry + 1, 0}, c + V3{rx + 1, ry + 1, height + 1},
        [=](const Surface_Point& sp) {
            const double h = Noise3(sp.p * 0.45, seed + 3);
            const double lichen = Noise3(sp.p * 0.25, seed + 5);
            return Shade(lichen > 0.7 ? Solid(124, 140, 100) : Solid(150, 148, 154), 0.8 + 0.36 * h);
        }));
    return prop;
}

Prop Flowers(uint32_t seed) {
    Prop prop;
    prop.walkable = true;
    static const Color PETALS[] = {Solid(244, 238, 226), Solid(250, 214, 64), Solid(222, 72, 96), Solid(160, 110, 220),
                                   Solid(250, 150, 60)};
    const Color petal = PETALS[seed % 5];
    for (int i = 0; i < 7; ++i) {
        const V3 at =
            CENTRE + V3{(Hash01(seed, uint32_t(i), 1) - 0.5) * 18, (Hash01(seed, uint32_t(i), 2) - 0.5) * 18, 0};
        const double h = 5 + 3 * Hash01(seed, uint32_t(i), 3);
        prop.model.shapes.push_back(Capsule(at, at + V3{0, 0, h}, 0.5, Flat(Solid(60, 120, 46))));
        prop.model.shapes.push_back(Sphere(at + V3{0, 0, h + 0.8}, 1.5, Flat(petal)));
    }
    return prop;
}

Prop Tall_Grass(uint32_t seed) {
    Prop prop;
    prop.walkable = true;
    for (int i = 0; i < 12; ++i) {
        const V3 at =
            CENTRE + V3{(Hash01(seed, uint32_t(i), 1) - 0.5) * 16, (Hash01(seed, uint32_t(i), 2) - 0.5) * 16, 0};
        const V3 tip = at + V3{(Hash01(seed, uint32_t(i), 4) - 0.5) * 5, (Hash01(seed, uint32_t(i), 5) - 0.5) * 5,
                               7 + 5 * Hash01(seed, uint32_t(i), 3)};
        prop.model.shapes.push_back(
            Capsule(at, tip, 0.55, Flat(Shade(Solid(84, 150, 56), 0.85 + 0.3 * Hash01(seed, uint32_t(i))))));
    }
    return prop;
}

Prop Reeds(uint32_t seed) {
    Prop prop;
    for (int i = 0; i < 9; ++i) {
        const V3 at =
            CENTRE + V3{(Hash01(seed, uint32_t(i), 1) - 0.5) * 16, (Hash01(seed, uint32_t(i), 2) - 0.5) * 16, 0};
        const double h = 14 + 8 * Hash01(seed, uint32_t(i), 3);
        prop.model.shapes.push_back(Capsule(at, at + V3{1.5, 0, h}, 0.6, Flat(Solid(96, 140, 60))));
        if (i % 2 == 0)
            prop.model.shapes.push_back(
                Capsule(at + V3{1.2, 0, h - 4}, at + V3{1.5, 0, h - 0.5}, 1.2, Flat(Solid(110, 70, 40))));
    }
    return prop;
}

Prop Crops(uint32_t seed, bool wheat) {
    Prop prop;
    prop.walkable = true;
    Model& m = prop.model;
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i < (wheat ? 5 : 3); ++i) {
            const double x = wheat ? 3 + i * 5.5 : 5 + i * 9, y = 7 + row * 14;
            const V3 at{x + Hash01(seed, uint32_t(i), uint32_t(row)) * 2, y, 0};
            if (wheat) {
                const double h = Px(13) + 3 * Hash01(seed, uint32_t(i), uint32_t(row), 2);
                m.shapes.push_back(Capsule(at, at + V3{0.6, 0, h}, 0.6, Flat(Solid(196, 170, 84))));
                m.shapes.push_back(
                    Capsule(at + V3{0.5, 0, h - 3}, at + V3{0.7, 0, h + 1.5}, 1.3, Flat(Solid(230, 196, 96))));
            } else {
                m.shapes.push_back(Sphere(at + V3{0, 0, 2.5}, 4.2, Leafy(Solid(110, 168, 78), seed + uint32_t(i))));
            }
        }
    return prop;
}

// ---- fences and walls ----

Prop Fence(int mask) {
    Prop prop;
    Model& m = prop.model;
    const Paint wood = Grainy(Solid(150, 110, 66), 17);
    m.shapes.push_back(Box({MID - 1.5, MID - 1.5, 0}, {MID + 1.5, MID + 1.5, Px(21)}, wood));
    const double rails[2] = {Px(7), Px(15)};
    for (int bit = 0; bit < 4; ++bit) {
        if (!(mask & (1 << bit))) continue;
        for (double z : rails) {
            V3 lo{MID - 0.8, MID - 0.8, z - 1.1}, hi{MID + 0.8, MID + 0.8, z + 1.1};
            if (bit == 0) lo.y = 0;
            if (bit == 1) hi.x = CELL;
            if (bit == 2) hi.y = CELL;
            if (bit == 3) lo.x = 0;
            m.shapes.push_back(Box(lo, hi, wood));
        }
    }
    return prop;
}

Prop Stone_Wall(int mask, uint32_t seed) {
    Prop prop;
    Model& m = prop.model;
    const Paint stone = Bricks(Solid(150, 144, 132), Solid(96, 90, 82), seed);
    m.shapes.push_back(Box({MID - 5, MID - 5, 0}, {MID + 5, MID + 5, Px(30 + 6 * Hash01(seed, 1))}, stone));
    for (int bit = 0; bit < 4; ++bit) {
        if (!(mask & (1 << bit))) continue;
        V3 lo{MID - 4, MID - 4, 0}, hi{MID + 4, MID + 4, Px(16 + 12 * Hash01(seed, 2, uint32_t(bit)))};
        if (bit == 0) lo.y = 0;
        if (bit == 1) hi.x = CELL;
        if (bit == 2) hi.y = CELL;
        if (bit == 3) lo.x = 0;
        m.shapes.push_back(Box(lo, hi, stone));
    }
    return prop;
}

// ---- buildings ----

Prop House(const House_Style& st) {
    Prop prop;
    Model& m = prop.model;
    m.foot_w = st.w;
    m.foot_d = st.d;
    constexpr double IN = 2.5, OVERHANG = 4, THICK = 2.4;
    const double W = st.w * CELL, D = st.d * CELL, ZW = Px(st.wall), R = Px(st.roof);
    const uint32_t seed = Hash(uint32_t(st.w), uint32_t(st.d), uint32_t(st.plaster.r), uint32_t(st.roof_light.g));

    // Walls: plaster between timbers, or stone courses; a stone plinth, a door and windows.
    const int door_face = st.door_face == 0 ? 2 : 0;
    const double door_at = st.door_at * CELL;
    Paint brick = Bricks(st.stone, Shade(st.stone, 0.62), seed);
    auto wall_paint = [=](const Surface_Point& sp) -> Color {
        const int face = std::abs(sp.n.x) > std::abs(sp.n.y) ? 0 : 2;
        const double along = face == 0 ? sp.p.y : sp.p.x, z = sp.p.z;
        const double length = face == 0 ? D : W;
        if (face == door_face && std::abs(along - door_at) < 6.5 && z < Px(31)) {
            if (std::abs(along - door_at) > 5.2 || z > Px(29.5)) return st.timber;
            const double plank = std::fmod(along - door_at + 10, 3.0);
            return plank < 0.5 ? Shade(Solid(104, 64, 36), 0.7) : Solid(118, 74, 42);
        }
        for (int i = 0; i < int(length / CELL); ++i) {
            const double a = (i + 0.5) * CELL;
            if (face == door_face && std::abs(a - door_at) < CELL * 0.8) continue;
            if (std::abs(along - a) < 5 && z > Px(21) && z < Px(37)) {
                if (std::abs(along - a) > 3.9 || z < Px(22.2) || z > Px(35.8)) return Solid(232, 224, 200);
                if (std::abs(along - a) < 0.5 || std::abs(z - Px(29)) < 0.6) return Solid(232, 224, 200);
                return Lerp(Solid(54, 74, 104), Solid(120, 160, 196), (z - Px(22)) / Px(14));
            }
            if (std::abs(along - a) >= 5 && std::abs(along - a) < 8 && z > Px(21) && z < Px(37) && !st.stone_walls)
                return Shade(st.timber, 1.25);   // shutters
        }
        if (z < 6 || st.stone_walls) return brick(sp);
        const double from_end = std::min(along - IN, length - IN - along);
        if (from_end < 2.4 || z > ZW - 3 || std::abs(z - Px(20)) < 1.2) return st.timber;
        // Diagonal braces in the panels between windows.
        const double panel = std::fmod(along + CELL * 0.5, CELL) - CELL * 0.5;
        if (std::abs(panel) < 9 && std::abs(std::abs(panel) * 1.3 - (z - Px(20))) < 1.3 && z > Px(20) &&
            !(std::abs(along - door_at) < 8 && face == door_face))
            return st.timber;
        return Grainy(st.plaster, seed, 0.08)(sp);
    };
    m.shapes.push_back(Box({IN, IN, 0}, {W - IN, D - IN, ZW}, wall_paint));

    // Gable ends and the roof, in roof space (ridge along a, slope across c).
    const bool ax = st.ridge_along_x;
    const double a_len = ax ? W : D, c_len = ax ? D : W;
    const double ridge = c_len / 2, half = c_len / 2 - IN, slope = R / half;
    auto rv = [&](double a, double c, double z) { return ax ? V3{a, c, z} : V3{c, a, z}; };
    {
        auto gable_paint = [=](const Surface_Point& sp) -> Color {
            const double c = ax ? sp.p.y : sp.p.x;
            if (st.stone_walls) return brick(sp);
            if (std::abs(c - ridge) < 1.2 || sp.p.z < ZW + 1.8) return st.timber;
            return Grainy(st.plaster, seed, 0.08)(sp);
        };
        std::vector<std::pair<V3, double>> planes = {{rv(1, 0, 0), a_len - IN},
                                                     {rv(-1, 0, 0), -IN},
                                                     {{0, 0, -1}, -ZW},
                                                     {rv(0, slope, 1), ZW + R + slope * ridge},
                                                     {rv(0, -slope, 1), ZW + R - slope * ridge}};
        m.shapes.push_back(With_Layer(Polytope(planes, rv(IN, IN, ZW), rv(a_len - IN, c_len - IN, ZW + R), gable_paint),
                                      OVERLAY_LAYER));
    }
    const Color roof_dark = Shade(st.roof_light, 0.7);
    auto roof_paint = [=](const Surface_Point& sp) -> Color {
        if (std::abs(sp.n.z) < 0.3) return Shade(st.timber, 0.8);   // the slab's edges
        const double a = ax ? sp.p.x : sp.p.y, c = ax ? sp.p.y : sp.p.x;
        const double from_eave = half + OVERHANG - std::abs(c - ridge);
        if (from_eave > half + OVERHANG - 1.6) return roof_dark;   // ridge cap
        const int row = int(std::floor(from_eave / 4.4));
        const double joint = std::fmod(a + (row % 2) * 4 + 100, 8.0);
        Color c0 = Shade(st.roof_light, 0.92 + 0.14 * Hash01(uint32_t(row), Cell_Of(a + (row % 2) * 4, 8), seed));
        if (from_eave - row * 4.4 < 1.0) c0 = Shade(c0, 0.72);
        if (joint < 0.8) c0 = Shade(c0, 0.8);
        return c0;
    };
    m.shapes.push_back(With_Layer(Roof_Slab(ax, IN - OVERHANG, a_len - IN + OVERHANG, ridge, c_len - IN + OVERHANG,
                                            ZW + R, slope, THICK, roof_paint),
                                  OVERLAY_LAYER));
    m.shapes.push_back(With_Layer(
        Roof_Slab(ax, IN - OVERHANG, a_len - IN + OVERHANG, ridge, IN - OVERHANG, ZW + R, slope, THICK, roof_paint),
        OVERLAY_LAYER));
    if (st.chimney) {
        const double a = a_len * 0.72, c = ridge - half * 0.45;
        m.shapes.push_back(With_Layer(Box(rv(a - 3.5, c - 3.5, ZW), rv(a + 3.5, c + 3.5, ZW + R + 10),
                                          Bricks(Solid(150, 92, 72), Solid(100, 70, 60), seed + 5, 3, 5)),
                                      OVERLAY_LAYER));
    }
    return prop;
}

Prop Well() {
    Prop prop;
    Model& m = prop.model;
    const Paint stone = Bricks(Solid(150, 146, 138), Solid(94, 90, 84), 3, 4, 6);
    m.shapes.push_back(Implicit(
        [](V3 p) {
            const double r = std::hypot(p.x - MID, p.y - MID);
            return std::max({r - 11.5, 7.5 - r, -p.z, p.z - Px(12)});
        },
        {MID - 12, MID - 12, 0}, {MID + 12, MID + 12, Px(12)}, stone));
    Shape water = Cone(CENTRE, 7.6, 7.6, Px(7), Flat(Solid(40, 70, 120)));
    water.lit = 0.2;
    m.shapes.push_back(water);
    const Paint wood = Grainy(Solid(128, 92, 58), 4);
    for (double dx : {-9.5, 9.5})
        m.shapes.push_back(Box({MID + dx - 1.4, MID - 1.4, Px(8)}, {MID + dx + 1.4, MID + 1.4, Px(36)}, wood));
    m.shapes.push_back(Capsule({MID - 9, MID, Px(31)}, {MID + 9, MID, Px(31)}, 1.1, wood));
    Shape roof_a = Roof_Slab(true, MID - 14, MID + 14, MID, MID + 10, Px(46), 1.0, 1.8, Flat(Solid(150, 70, 52)));
    Shape roof_b = Roof_Slab(true, MID - 14, MID + 14, MID, MID - 10, Px(46), 1.0, 1.8, Flat(Solid(150, 70, 52)));
    roof_a.layer = roof_b.layer = AUTO_LAYER;
    m.shapes.push_back(roof_a);
    m.shapes.push_back(roof_b);
    m.overlay_from = 36;
    return prop;
}

Prop Arch(bool along_x, int span) {
    Prop prop;
    Model& m = prop.model;
    m.foot_w = along_x ? span : 1;
    m.foot_d = along_x ? 1 : span;
    for (int i = 1; i + 1 < span; ++i) prop.free.push_back(along_x ? std::pair{i, 0} : std::pair{0, i});
    const Paint stone = Bricks(Solid(170, 160, 140), Solid(110, 102, 90), 21, 6, 10);
    auto at = [&](double a, double c, double z) { return along_x ? V3{a, c, z} : V3{c, a, z}; };
    const double first = MID, last = (span - 1) * CELL + MID, middle = (first + last) / 2, reach = (last - first) / 2;
    for (double a : {first, last}) {
        m.shapes.push_back(Box(at(a - 6.5, MID - 6.5, 0), at(a + 6.5, MID + 6.5, Px(52)), stone));
        m.shapes.push_back(Box(at(a - 8, MID - 8, Px(50)), at(a + 8, MID + 8, Px(55)), stone));
    }
    // High enough that the beam, drawn over everything, clears the heads of passers-by.
    const double bottom = Px(55), top = Px(68), rise = Px(6);
    Shape beam = Implicit(
        [=](V3 p) {
            const double a = along_x ? p.x : p.y, c = along_x ? p.y : p.x;
            const double box =
                std::max({first - 6.5 - a, a - (last + 6.5), std::abs(c - MID) - 6.5, bottom - rise - p.z, p.z - top});
            // The underside curves up towards the middle of the span.
            const double k = std::min(1.0, std::abs(a - middle) / (reach - 6));
            const double under = bottom - rise * std::sqrt(std::max(0.0, 1 - k * k)) - p.z;
            return std::max(box, under);
        },
        at(first - 6.5, MID - 6.5, bottom - rise), at(last + 6.5, MID + 6.5, top), stone);
    beam.layer = OVERLAY_LAYER;
    m.shapes.push_back(beam);
    m.shapes.push_back(
        With_Layer(Box(at(middle - 4, MID - 7.5, top - 2), at(middle + 4, MID + 7.5, top + 4), stone), OVERLAY_LAYER));
    return prop;
}

Prop Railing(bool along_x, bool plus_side) {
    Prop prop;
    Model& m = prop.model;
    const Paint wood = Grainy(Solid(140, 98, 58), 8);
    const double c = plus_side ? CELL - 2.5 : 2.5;
    auto box = [&](double a0, double a1, double c0, double c1, double z0, double z1) {
        return along_x ? Box({a0, c0, z0}, {a1, c1, z1}, wood) : Box({c0, a0, z0}, {c1, a1, z1}, wood);
    };
    m.shapes.push_back(box(MID - 1.4, MID + 1.4, c - 1.4, c + 1.4, 0, Px(19)));
    m.shapes.push_back(box(0, CELL, c - 0.9, c + 0.9, Px(15), Px(17.5)));
    m.shapes.push_back(box(0, CELL, c - 0.7, c + 0.7, Px(8), Px(9.5)));
    return prop;
}

// ---- furniture ----

Prop Lamp() {
    Prop prop;
    Model& m = prop.model;
    const Paint iron = Flat(Solid(60, 58, 64));
    m.shapes.push_back(Box({MID - 2, MID - 2, 0}, {MID + 2, MID + 2, Px(4)}, iron));
    m.shapes.push_back(Box({MID - 0.9, MID - 0.9, 0}, {MID + 0.9, MID + 0.9, Px(50)}, iron));
    Shape glass = Box({MID - 2.6, MID - 2.6, Px(50)}, {MID + 2.6, MID + 2.6, Px(58)}, Flat(Solid(255, 222, 120)));
    glass.lit = 0;
    m.shapes.push_back(glass);
    m.shapes.push_back(Box({MID - 3.4, MID - 3.4, Px(58)}, {MID + 3.4, MID + 3.4, Px(60)}, iron));
    return prop;
}

Prop Barrel() {
    Prop prop;
    const Color wood = Solid(150, 100, 56);
    prop.model.shapes.push_back(Implicit(
        [](V3 p) {
            const double r = std::hypot(p.x - MID, p.y - MID);
            const double bulge = 6 + 1.0 * std::sin(3.1416 * std::clamp(p.z / Px(17), 0.0, 1.0));
            return std::max({r - bulge, -p.z, p.z - Px(17)});
        },
        {MID - 7, MID - 7, 0}, {MID + 7, MID + 7, Px(17)},
        [wood](const Surface_Point& sp) {
            if (sp.n.z > 0.7) return Shade(wood, 0.8);
            const double z = sp.p.z;
            if (std::abs(z - Px(3)) < 0.9 || std::abs(z - Px(14)) < 0.9) return Solid(70, 68, 72);
            const double angle = std::atan2(sp.p.y - MID, sp.p.x - MID);
            return std::fmod(angle + 10, 0.45) < 0.06 ? Shade(wood, 0.7) : wood;
        }));
    return prop;
}

Prop Crate(uint32_t seed) {
    Prop prop;
    const double s = 6 + Hash01(seed) * 1.5;
    prop.model.shapes.push_back(
        Box({MID - s, MID - s, 0}, {MID + s, MID + s, 2 * s * 0.95}, [s](const Surface_Point& sp) {
            double along, up;
            Face_Coords(sp, along, up);
            const double ea = std::abs(std::fmod(along - MID + s + 100, 2 * s) - s),
                         eu = up - (sp.n.z > 0.7 ? MID - s : 0);
            if (ea > s - 1.6 || eu < 1.6 || eu > 2 * s * 0.95 - 1.6) return Solid(120, 82, 48);
            return std::fmod(up, 3.2) < 0.4 ? Solid(142, 100, 58) : Solid(178, 134, 82);
        }));
    return prop;
}

Prop Signpost() {
    Prop prop;
    Model& m = prop.model;
    const Paint wood = Grainy(Solid(136, 96, 60), 6);
    m.shapes.push_back(Box({MID - 1.2, MID - 1.2, 0}, {MID + 1.2, MID + 1.2, Px(36)}, wood));
    m.shapes.push_back(Box({MID - 1, MID - 10, Px(28)}, {MID + 0.6, MID + 2, Px(33)}, Flat(Solid(178, 136, 86))));
    m.shapes.push_back(Box({MID - 2, MID - 0.8, Px(20)}, {MID + 10, MID + 0.8, Px(25)}, Flat(Solid(178, 136, 86))));
    return prop;
}

Prop Stall(Color awning, uint32_t seed) {
    Prop prop;
    Model& m = prop.model;
    m.foot_w = 2;
    const double L = 2 * CELL;
    const Paint wood = Grainy(Solid(140, 100, 62), seed);
    m.shapes.push_back(Box({4, MID - 6, 0}, {L - 4, MID + 6, Px(15)}, wood));
    static const Color GOODS[] = {Solid(220, 60, 40), Solid(240, 190, 60), Solid(120, 180, 60), Solid(200, 130, 60)};
    for (int i = 0; i < 8; ++i)
        m.shapes.push_back(
            Sphere({7 + i * 5.6, MID - 2 + 4 * (i % 2), Px(15) + 2.2}, 2.4, Flat(GOODS[(seed + uint32_t(i)) % 4])));
    for (double x : {4.0, L - 4})
        for (double y : {MID - 6, MID + 6})
            m.shapes.push_back(Box({x - 1, y - 1, 0}, {x + 1, y + 1, Px(y > MID ? 40 : 46)}, wood));
    Shape cover = Roof_Slab(true, 1, L - 1, MID - 9, MID + 10, Px(48), 0.35, 1.5, [awning](const Surface_Point& sp) {
        if (std::abs(sp.n.z) < 0.3) return Shade(awning, 0.7);
        return std::fmod(sp.p.x + 100, 8.0) < 4 ? awning : Solid(240, 236, 224);
    });
    cover.layer = OVERLAY_LAYER;
    m.shapes.push_back(cover);
    return prop;
}

Prop Stump() {
    Prop prop;
    prop.model.shapes.push_back(Cone(CENTRE, 5.5, 4.8, Px(7), [](const Surface_Point& sp) {
        if (sp.n.z > 0.7) {
            const double r = std::hypot(sp.p.x - MID, sp.p.y - MID);
            return std::fmod(r, 1.6) < 0.5 ? Solid(150, 110, 70) : Solid(196, 160, 110);
        }
        return Solid(104, 76, 50);
    }));
    return prop;
}

Prop Haystack() {
    Prop prop;
    prop.model.shapes.push_back(Implicit(
        [](V3 p) {
            const V3 q = p - CENTRE;
            return std::max((Length({q.x / 11.5, q.y / 11.5, q.z / Px(20)}) - 1) * 11.5, -p.z);
        },
        {MID - 12, MID - 12, 0}, {MID + 12, MID + 12, Px(20)},
        [](const Surface_Point& sp) {
            const double h = Hash01(Cell_Of(sp.p.x, 0.9), Cell_Of(sp.p.z, 2.5), 5);
            return Shade(Solid(222, 190, 96), 0.82 + 0.3 * h);
        }));
    return prop;
}

Prop Campfire() {
    Prop prop;
    Model& m = prop.model;
    for (int i = 0; i < 8; ++i) {
        const double a = 6.2832 * i / 8;
        m.shapes.push_back(
            Sphere(CENTRE + V3{8 * std::cos(a), 8 * std::sin(a), 1}, 2.6, Grainy(Solid(130, 126, 120), uint32_t(i))));
    }
    m.shapes.push_back(Capsule(CENTRE + V3{-5, -2, 1.5}, CENTRE + V3{5, 2, 1.5}, 1.4, Flat(Solid(96, 64, 40))));
    m.shapes.push_back(Capsule(CENTRE + V3{-2, 5, 1.5}, CENTRE + V3{2, -5, 1.5}, 1.4, Flat(Solid(110, 72, 44))));
    Shape flame = Implicit(
        [](V3 p) {
            const V3 q = p - CENTRE - V3{0, 0, 2};
            const double k = std::clamp(q.z / 13, 0.0, 1.0);
            return std::max(std::hypot(q.x, q.y) - 4.2 * (1 - k) * std::sqrt(std::max(0.0, 1 - k) + 0.1),
                            std::max(-q.z, q.z - 13));
        },
        CENTRE + V3{-5, -5, 2}, CENTRE + V3{5, 5, 15},
        [](const Surface_Point& sp) {
            return Lerp(Solid(255, 220, 90), Solid(236, 96, 30), std::clamp((sp.p.z - 3) / 10, 0.0, 1.0));
        });
    flame.lit = 0;
    m.shapes.push_back(flame);
    return prop;
}

Prop Tent(Color canvas) {
    Prop prop;
    const double height = Px(26), half = 11, slope = height / half;
    prop.model.shapes.push_back(
        Polytope({{{1, 0, 0}, CELL - 3},
                  {{-1, 0, 0}, -3},
                  {{0, 0, -1}, 0},
                  {{0, slope, 1}, height + slope * MID},
                  {{0, -slope, 1}, height - slope * MID}},
                 {3, MID - half, 0}, {CELL - 3, MID + half, height}, [=](const Surface_Point& sp) {
                     // The open flap on the end facing the lower right.
                     if (sp.n.x > 0.9 && std::abs(sp.p.y - MID) < (height - sp.p.z) / slope * 0.55)
                         return Solid(60, 44, 36);
                     return std::fmod(sp.p.y + 100, 5.0) < 2.5 ? canvas : Shade(canvas, 0.86);
                 }));
    return prop;
}

Prop Boat() {
    Prop prop;
    prop.model.shapes.push_back(Implicit(
        [](V3 p) {
            const V3 q = p - CENTRE - V3{0, 0, 5};
            const double hull = (Length({q.x / 13, q.y / 5.5, q.z / 6}) - 1) * 5.5;
            return std::max(hull, q.z);
        },
        CENTRE + V3{-13, -6, -1}, CENTRE + V3{13, 6, 5},
        [](const Surface_Point& sp) {
            if (sp.n.z > 0.9) return Solid(96, 66, 40);
            return std::fmod(sp.p.z + 10, 2.2) < 0.4 ? Solid(100, 70, 44) : Solid(150, 104, 62);
        }));
    return prop;
}

}   // namespace world
