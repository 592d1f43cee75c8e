// world_tiles.cpp -- the ground tiles: each terrain's texture, and soft edges where a neighbour's
// terrain spills into a cell (the spill is a function of world position, so tiles meet seamlessly).
#include <algorithm>
#include <cmath>

#include "tools/isocontent/world_parts.h"

namespace world {

namespace {

constexpr int NEIGHBOUR_DX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int NEIGHBOUR_DY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
constexpr double REACH = 0.75;   // how far, in cells, a neighbour's terrain reaches in
constexpr double RAGGED = 0.6;   // amplitude of the noise on the edge

bool Is_Deck(uint8_t t) { return t == BRIDGE_U || t == BRIDGE_V || t == PIER; }
// Water lies lowest, grass highest: the higher terrain spills over the lower one.
bool Spills_Into(uint8_t over, uint8_t under) { return over > under && !Is_Deck(over) && !Is_Deck(under); }

// Small round marks scattered inside the diamond, away from its edges.
struct Blob {
    double x, y, r;
    double tone;
};

std::vector<Blob> Blobs(uint32_t seed, int count, double rmin, double rmax) {
    std::vector<Blob> blobs;
    for (int i = 0; blobs.size() < size_t(count) && i < count * 20; ++i) {
        const double x = 4 + 32 * Hash01(seed, uint32_t(i), 1), y = 2 + 16 * Hash01(seed, uint32_t(i), 2);
        const double r = rmin + (rmax - rmin) * Hash01(seed, uint32_t(i), 3);
        if (std::abs(x - 20) / 20 + std::abs(y - 10) / 10 > 0.55) continue;
        blobs.push_back({x, y, r, Hash01(seed, uint32_t(i), 4)});
    }
    return blobs;
}

struct Texture_Context {
    uint32_t seed;
    int variant;
    std::vector<Blob> blobs, marks;
};

Color Grass_Color(Color base, const Texture_Context& t, double cx, double cy, int px, int py) {
    double k = 1.0;
    for (const Blob& b : t.blobs)
        if (std::hypot(cx - b.x, (cy - b.y) * 2) < b.r) k *= b.tone < 0.5 ? 0.9 : 1.08;
    const double r = Hash01(uint32_t(px), uint32_t(py), t.seed);
    if (r < 0.12)
        k *= 0.86;
    else if (r > 0.93)
        k *= 1.14;
    // Short upright blades: a lighter pixel with a darker one under it.
    const double blade = Hash01(uint32_t(px), uint32_t(py / 2), t.seed, 7);
    if (blade > 0.95) k *= (py % 2 == 0) ? 1.18 : 0.84;
    Color c = Shade(base, k);
    if (t.variant == 3)
        for (const Blob& m : t.marks) {
            if (int(m.x) == px && int(m.y) == py) return m.tone < 0.5 ? Solid(246, 240, 220) : Solid(248, 214, 70);
            if (int(m.x) == px && int(m.y) + 1 == py) return Shade(base, 0.7);
        }
    return c;
}

Color Speckled(Color base, const Texture_Context& t, int px, int py, double amount) {
    const double r = Hash01(uint32_t(px), uint32_t(py), t.seed);
    double k = 1.0 + (r - 0.5) * amount;
    if (r < 0.06) k *= 0.85;
    return Shade(base, k);
}

Color Pebbled(Color base, Color pebble, const Texture_Context& t, double cx, double cy, int px, int py) {
    for (const Blob& b : t.marks) {
        const double d = std::hypot(cx - b.x, (cy - b.y) * 1.6);
        if (d < b.r) return Shade(pebble, 0.85 + 0.3 * b.tone + (cy < b.y ? 0.12 : -0.05));
        if (d < b.r + 0.8 && cy > b.y) return Shade(base, 0.72);
    }
    return Speckled(base, t, px, py, 0.16);
}

Color Cobble_Color(const Texture_Context& t, double u, double v, int px, int py) {
    constexpr int N = 3;
    const double sv = v * N;
    const int j = int(std::floor(sv));
    const double su = u * N + ((j & 1) ? 0.5 : 0.0);
    const int i = int(std::floor(su));
    const double fu = su - i, fv = sv - j;
    if (fu < 0.12 || fv < 0.12) return Speckled(Solid(104, 98, 88), t, px, py, 0.2);
    const double tone = Hash01(uint32_t(i + 8), uint32_t(j + 8), t.seed);
    Color stone = Solid(150 + 26 * tone, 146 + 24 * tone, 138 + 20 * tone);
    if (fu < 0.26)
        stone = Shade(stone, 1.1);
    else if (fu > 0.88 || fv > 0.88)
        stone = Shade(stone, 0.84);
    return Speckled(stone, t, px, py, 0.1);
}

Color Plank_Color(Color wood, const Texture_Context& t, double along, double across, int px, int py) {
    constexpr int N = 5;
    const double s = along * N;
    const int i = int(std::floor(s));
    const double f = s - i;
    if (f < 0.14) return Solid(62, 42, 26);
    Color c = Shade(wood, 0.9 + 0.22 * Hash01(uint32_t(i + 4), t.seed, 3));
    if (f > 0.84) c = Shade(c, 0.85);
    // Grain runs along the plank.
    const double grain = Hash01(uint32_t(std::floor(across * 40)), uint32_t(i + 4), t.seed);
    if (grain > 0.8) c = Shade(c, 0.9);
    (void)px;
    (void)py;
    return c;
}

Color Water_Color(const Texture_Context& t, double u, double v, double cx, double cy, double shore) {
    Color c = Lerp(Solid(34, 78, 142), Solid(46, 100, 166), Tile_Noise(u, v, 77));
    if (shore > 0.47) return Solid(214, 232, 236);                             // foam on the edge
    if (shore > 0.3) c = Lerp(c, Solid(76, 146, 178), (shore - 0.3) / 0.17);   // shallows
    for (const Blob& m : t.marks)
        if (std::abs(cy - m.y) < 0.5 && std::abs(cx - m.x) < m.r) return Lerp(c, Solid(150, 196, 228), 0.75);
    return c;
}

Color Terrain_Color(uint8_t terrain, const Texture_Context& t, double u, double v, double cx, double cy, int px, int py,
                    double shore) {
    switch (terrain) {
        case WATER: return Water_Color(t, u, v, cx, cy, shore);
        case SAND: {
            Color c = Speckled(Solid(222, 198, 140), t, px, py, 0.12);
            const double ripple = std::sin(6.283185 * (3 * v + u));
            return Shade(c, 1.0 + 0.04 * ripple);
        }
        case GRAVEL: return Pebbled(Solid(140, 134, 122), Solid(168, 162, 152), t, cx, cy, px, py);
        case DIRT: return Pebbled(Solid(156, 118, 78), Solid(176, 160, 136), t, cx, cy, px, py);
        case FIELD: {
            const double ridge = 0.5 + 0.5 * std::cos(6.283185 * 4 * v);
            return Speckled(Lerp(Solid(96, 66, 42), Solid(150, 110, 70), ridge), t, px, py, 0.12);
        }
        case COBBLE: return Cobble_Color(t, u, v, px, py);
        case GRASS: return Grass_Color(Solid(92, 156, 64), t, cx, cy, px, py);
        case LUSH: return Grass_Color(Solid(72, 136, 56), t, cx, cy, px, py);
        case BRIDGE_U: return Plank_Color(Solid(160, 114, 66), t, u, v, px, py);
        case BRIDGE_V: return Plank_Color(Solid(160, 114, 66), t, v, u, px, py);
        case PIER: return Plank_Color(Solid(142, 120, 96), t, u, v, px, py);
        default: return Solid(255, 0, 255);
    }
}

}   // namespace

int Tile_Painter::Tile_For(uint8_t terrain, const std::array<uint8_t, 8>& neighbours, uint32_t cell_hash) {
    std::array<uint8_t, 8> spill;
    for (int i = 0; i < 8; ++i)
        spill[size_t(i)] = Spills_Into(neighbours[size_t(i)], terrain) ? neighbours[size_t(i)] : NO_TERRAIN;
    // A corner neighbour adds nothing when a side neighbour next to it has the same terrain.
    for (int i = 1; i < 8; i += 2)
        if (spill[size_t(i)] == spill[size_t(i - 1)] || spill[size_t((i + 1) % 8)] == spill[size_t(i)])
            spill[size_t(i)] = NO_TERRAIN;
    const bool plain = std::all_of(spill.begin(), spill.end(), [](uint8_t s) { return s == NO_TERRAIN; });
    const int variant = int(cell_hash % (plain ? 4u : 2u));

    std::string key(1, char(terrain));
    for (uint8_t s : spill) key += char(s);
    key += char(variant);
    auto found = keys_.find(key);
    if (found != keys_.end()) return found->second;

    Texture_Context ctx;
    ctx.seed = Hash(uint32_t(terrain), uint32_t(variant), 0x51ED);
    ctx.variant = variant;
    ctx.blobs = Blobs(ctx.seed, 5, 2.0, 4.5);
    if (terrain == WATER)
        ctx.marks = Blobs(ctx.seed + 1, 2 + variant % 2, 1.5, 3.0);
    else if (terrain == GRAVEL)
        ctx.marks = Blobs(ctx.seed + 1, 7, 1.0, 2.2);
    else if (terrain == DIRT)
        ctx.marks = Blobs(ctx.seed + 1, 3, 0.8, 1.6);
    else
        ctx.marks = Blobs(ctx.seed + 1, 3, 0.5, 1.0);
    // Each spilling terrain, lowest first, so the highest wins where several reach.
    std::vector<uint8_t> over;
    for (uint8_t s : spill)
        if (s != NO_TERRAIN && std::find(over.begin(), over.end(), s) == over.end()) over.push_back(s);
    std::sort(over.begin(), over.end());
    std::vector<Texture_Context> over_ctx;
    for (uint8_t s : over) {
        Texture_Context c = ctx;
        c.seed = Hash(uint32_t(s), uint32_t(variant), 0xB1E5);
        c.blobs = Blobs(c.seed, 5, 2.0, 4.5);
        c.marks = Blobs(c.seed + 1, s == GRAVEL ? 7 : 3, s == GRAVEL ? 1.0 : 0.8, s == GRAVEL ? 2.2 : 1.6);
        c.variant = 0;
        over_ctx.push_back(c);
    }

    Picture tile(40, 20);
    for (int py = 0; py < 20; ++py)
        for (int px = 0; px < 40; ++px) {
            const double cx = px + 0.5, cy = py + 0.5;
            if (std::abs(cx - 20) / 20 + std::abs(cy - 10) / 10 >= 1) continue;
            const double u = ((cx - 20) / 20 + cy / 10) / 2, v = (cy / 10 - (cx - 20) / 20) / 2;
            uint8_t chosen = terrain;
            const Texture_Context* chosen_ctx = &ctx;
            double shore = 0;
            for (size_t k = 0; k < over.size(); ++k) {
                double w = 0;
                for (int i = 0; i < 8; ++i) {
                    if (spill[size_t(i)] != over[k]) continue;
                    const double du = std::max({NEIGHBOUR_DX[i] - u, 0.0, u - (NEIGHBOUR_DX[i] + 1)});
                    const double dv = std::max({NEIGHBOUR_DY[i] - v, 0.0, v - (NEIGHBOUR_DY[i] + 1)});
                    w = std::max(w, 1 - std::hypot(du, dv) / REACH);
                }
                const double value = w + (Tile_Noise(u, v, 1000u + over[k]) - 0.5) * RAGGED;
                shore = std::max(shore, value);
                if (value > 0.5) {
                    chosen = over[k];
                    chosen_ctx = &over_ctx[k];
                }
            }
            tile.Set(px, py, Terrain_Color(chosen, *chosen_ctx, u, v, cx, cy, px, py, chosen == WATER ? shore : 0));
        }
    const int index = int(tiles_.size());
    tiles_.push_back(std::move(tile));
    keys_.emplace(std::move(key), index);
    return index;
}

Atlas_Rect Tile_Painter::Rect_Of(int index) const { return {40 * (index % PER_ROW), 20 * (index / PER_ROW), 40, 20}; }

Picture Tile_Painter::Sheet() const {
    const int rows = std::max<int>(1, int((tiles_.size() + PER_ROW - 1) / PER_ROW));
    Picture sheet(40 * PER_ROW, 20 * rows);
    for (size_t i = 0; i < tiles_.size(); ++i) {
        const Atlas_Rect r = Rect_Of(int(i));
        sheet.Paste(tiles_[i], r.x, r.y);
    }
    return sheet;
}

}   // namespace world
