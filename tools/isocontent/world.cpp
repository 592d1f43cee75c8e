// world.cpp -- the default world: where everything lies on the 120 x 120 map, and the map file, its
// tile and piece sheets that come out of it.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "map/map_file.h"
#include "tools/isocontent/world_parts.h"

namespace world {

namespace {

constexpr int SIZE = 120;
constexpr int16_t TILES_ID = 3, OBJECTS_ID = 7, OVERLAY_ID = 12;

struct Placement {
    std::string key;
    int x, y;
};

// The map while it is being laid out.
class Layout {
public:
    Layout() : terrain_(CELLS, GRASS), taken_(CELLS, 0), road_(CELLS, 0) {}

    static constexpr size_t CELLS = size_t(SIZE) * size_t(SIZE);
    static size_t At(int x, int y) { return size_t(y) * size_t(SIZE) + size_t(x); }
    static bool Inside(int x, int y) { return x >= 0 && y >= 0 && x < SIZE && y < SIZE; }
    uint8_t& T(int x, int y) { return terrain_[At(x, y)]; }
    uint8_t T(int x, int y) const { return terrain_[At(x, y)]; }
    bool Taken(int x, int y) const { return taken_[At(x, y)] != 0; }
    bool Road(int x, int y) const { return road_[At(x, y)] != 0; }
    void Mark_Road(int x, int y) { road_[At(x, y)] = 1; }
    void Reserve(int x, int y) { taken_[At(x, y)] = 1; }

    // Registers a prop under its key the first time it is asked for: a key names one prop, so
    // everything that tells props apart (seed, size) belongs in it.
    const Prop& Get(const std::string& key, const std::function<Prop()>& make) {
        auto found = props_.find(key);
        if (found == props_.end()) found = props_.emplace(key, make()).first;
        return found->second;
    }
    const Prop& Prop_Of(const std::string& key) const { return props_.at(key); }

    // Puts the prop with its anchor at (x, y) when its whole footprint is on the map, untaken and
    // (unless on_water) dry and off the roads.
    bool Place(const std::string& key, int x, int y, const std::function<Prop()>& make) {
        return Place(key, x, y, false, false, make);
    }
    bool Place(const std::string& key, int x, int y, bool on_water, bool on_road, const std::function<Prop()>& make) {
        const Prop& prop = Get(key, make);
        for (int j = 0; j < prop.model.foot_d; ++j)
            for (int i = 0; i < prop.model.foot_w; ++i) {
                const int cx = x + i, cy = y + j;
                if (!Inside(cx, cy) || Taken(cx, cy)) return false;
                if (!on_water && T(cx, cy) == WATER) return false;
                if (on_water && T(cx, cy) != WATER) return false;
                if (!on_road && Road(cx, cy)) return false;
            }
        for (int j = 0; j < prop.model.foot_d; ++j)
            for (int i = 0; i < prop.model.foot_w; ++i) Reserve(x + i, y + j);
        placements_.push_back({key, x, y});
        return true;
    }
    // Records a prop on cells the caller has reserved itself (fence and wall runs).
    void Put(const std::string& key, int x, int y, const std::function<Prop()>& make) {
        Get(key, make);
        placements_.push_back({key, x, y});
    }
    const std::vector<Placement>& Placements() const { return placements_; }

private:
    std::vector<uint8_t> terrain_, taken_, road_;
    std::map<std::string, Prop> props_;
    std::vector<Placement> placements_;
};

// ---- terrain ----

double River_Centre(int s) { return 74 + 6 * std::sin(0.085 * s) + 3 * std::sin(0.21 * s + 1.3); }
double River_Half_Width(int s) { return 3.3 + 0.8 * std::sin(0.05 * s + 0.4); }
// Signed distance across the river, in steps of x + y: negative on the village side.
double River_Side(int x, int y) { return (x + y) - River_Centre(x - y); }

constexpr double LAKE_X = 98, LAKE_Y = 92;
double Lake_Radius(double angle) {
    return 10.5 + 3.0 * (Value_Noise(2 + 1.6 * std::cos(angle), 2 + 1.6 * std::sin(angle), 41) - 0.5) * 2;
}
double Lake_Distance(int x, int y) {
    const double dx = x - LAKE_X, dy = y - LAKE_Y;
    return std::hypot(dx, dy) - Lake_Radius(std::atan2(dy, dx));
}

bool In_Desert(int x, int y) {
    return std::hypot(x - 60.0, (y - 110.0) * 1.2) < 15 + 5 * (Fbm(x / 6.0, y / 6.0, 17, 3) - 0.5);
}
bool In_Highlands(int x, int y) { return x >= 70 && y <= 66 && River_Side(x, y) > 4; }
bool In_Darkwood(int x, int y) {
    return x >= 42 && x <= 82 && y >= 40 && y <= 96 && River_Side(x, y) > 5 && !In_Desert(x, y) &&
           Lake_Distance(x, y) > 5 && !In_Highlands(x, y);
}
bool In_Ruins(int x, int y) { return x >= 8 && x <= 42 && y >= 75 && y <= 99; }

void Paint_Ground(Layout& L) {
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            uint8_t t = Fbm(x / 9.0, y / 9.0, 5, 3) > 0.58 ? LUSH : GRASS;
            if (In_Darkwood(x, y)) t = Fbm(x / 7.0, y / 7.0, 8, 2) > 0.35 ? LUSH : GRASS;
            if (In_Highlands(x, y) && Fbm(x / 7.0, y / 7.0, 6, 3) > 0.52) t = GRAVEL;
            if (In_Desert(x, y)) t = SAND;
            if (In_Ruins(x, y) && Fbm(x / 5.0, y / 5.0, 9, 2) > 0.62) t = DIRT;
            // River with sandy banks here and there.
            const double across = std::abs(River_Side(x, y)), half = River_Half_Width(x - y);
            if (across <= half)
                t = WATER;
            else if (across <= half + 1.3 && Fbm(x / 5.0, y / 5.0, 13, 2) > 0.45)
                t = SAND;
            // Lake with a beach and an islet.
            const double lake = Lake_Distance(x, y);
            if (lake <= 0)
                t = WATER;
            else if (lake <= 2.2)
                t = SAND;
            if (std::hypot(x - 100.0, y - 93.0) < 1.7) t = GRASS;
            L.T(x, y) = t;
        }
}

// Lays a road over the rectangle; over water it becomes a bridge whose planks cross the road.
void Road(Layout& L, int x0, int x1, int y0, int y1, uint8_t surface) {
    const bool along_x = (x1 - x0) >= (y1 - y0);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            if (!Layout::Inside(x, y)) continue;
            uint8_t& t = L.T(x, y);
            if (t == WATER || t == BRIDGE_U || t == BRIDGE_V)
                t = along_x ? BRIDGE_U : BRIDGE_V;
            else
                t = surface;
            L.Mark_Road(x, y);
        }
}

void Lay_Roads(Layout& L) {
    // Village plaza around the starting corner, its streets, then the country roads.
    for (int y = 0; y <= 7; ++y)
        for (int x = 0; x <= 7; ++x)
            if (x + y <= 11) {
                L.T(x, y) = COBBLE;
                L.Mark_Road(x, y);
            }
    Road(L, 0, 27, 2, 3, COBBLE);
    Road(L, 2, 3, 0, 27, COBBLE);
    Road(L, 28, 104, 2, 3, DIRT);
    Road(L, 103, 104, 4, 79, DIRT);
    Road(L, 2, 3, 28, 102, DIRT);
    Road(L, 4, 86, 101, 102, DIRT);
    // The lane straight down from the plaza to the fishing pier on the river.
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x)
            if (std::abs(x - y) <= 1 && x + y >= 9 && x + y <= 64) {
                L.T(x, y) = x + y <= 30 ? COBBLE : DIRT;
                L.Mark_Road(x, y);
            }
    // The pier: a path down to the bank, then planks three cells out over the water.
    for (int y = 32; y <= 33; ++y)
        for (int x = 32, out = 0; out < 3 && Layout::Inside(x, y); ++x) {
            uint8_t& t = L.T(x, y);
            if (t == WATER) {
                t = PIER;
                ++out;
            } else {
                t = DIRT;
            }
            L.Mark_Road(x, y);
        }
    // Forest trail to the woodcutter's clearing, farm track, ruins path, hermit's trail, lake path.
    Road(L, 44, 45, 4, 16, DIRT);
    Road(L, 4, 30, 40, 41, DIRT);
    Road(L, 4, 13, 87, 88, DIRT);
    Road(L, 60, 61, 80, 100, DIRT);
    Road(L, 84, 85, 91, 100, DIRT);
    for (int x = 86; x <= 91; ++x)
        for (int y = 91; y <= 92; ++y) {
            if (L.T(x, y) == WATER) L.T(x, y) = PIER;
            L.Mark_Road(x, y);
        }
    // The ruins' old square: broken paving.
    for (int y = 83; y <= 93; ++y)
        for (int x = 20; x <= 30; ++x)
            if (Fbm(x / 3.0, y / 3.0, 21, 2) > 0.38) L.T(x, y) = COBBLE;
}

// ---- things on the map ----

House_Style Style(int w, int d, bool along_x, int door_face, double door_at, Color roof, Color plaster, bool stone,
                  double wall = 50, double roof_h = 30) {
    House_Style s;
    s.w = w;
    s.d = d;
    s.ridge_along_x = along_x;
    s.door_face = door_face;
    s.door_at = door_at;
    s.roof_light = roof;
    s.plaster = plaster;
    s.timber = Solid(92, 62, 40);
    s.stone = Solid(158, 150, 136);
    s.stone_walls = stone;
    s.wall = wall;
    s.roof = roof_h;
    return s;
}

void Place_House(Layout& L, const std::string& name, const House_Style& style, int x, int y) {
    if (!L.Place("house " + name, x, y, [&] { return House(style); }))
        throw std::logic_error("the house " + name + " does not fit at its place");
}

void Place_Fence_Ring(Layout& L, std::vector<std::pair<int, int>>& fence, int x0, int x1, int y0, int y1, int gate_x,
                      int gate_y) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const bool edge = x == x0 || x == x1 || y == y0 || y == y1;
            const bool gate = (x == gate_x || x == gate_x + 1) && y == gate_y;
            if (edge && !gate && !L.Taken(x, y) && !L.Road(x, y) && L.T(x, y) != WATER) {
                L.Reserve(x, y);
                fence.push_back({x, y});
            }
        }
}

void Place_Village(Layout& L) {
    const Color cream = Solid(232, 220, 188), white = Solid(236, 232, 220), ochre = Solid(222, 196, 140);
    const Color red = Solid(176, 72, 52), slate = Solid(92, 104, 134), brown = Solid(150, 104, 62),
                green = Solid(88, 120, 76);
    Place_House(L, "smith", Style(4, 3, true, 0, 1.5, red, cream, false), 9, 5);
    Place_House(L, "weaver", Style(3, 4, false, 1, 1.5, slate, white, false), 5, 9);
    Place_House(L, "inn", Style(5, 4, true, 0, 2.5, brown, ochre, false, 56, 34), 14, 6);
    Place_House(L, "chapel", Style(4, 4, false, 1, 2.0, slate, white, true, 56, 36), 5, 15);
    Place_House(L, "baker", Style(3, 3, true, 0, 1.5, red, white, false), 16, 12);
    Place_House(L, "cooper", Style(3, 3, false, 1, 1.5, green, cream, false), 11, 16);
    Place_House(L, "mill", Style(4, 3, false, 1, 1.5, red, ochre, true), 22, 6);
    Place_House(L, "toll", Style(3, 3, true, 0, 1.5, slate, cream, true), 6, 22);

    auto well = [] { return Well(); };
    auto lamp = [] { return Lamp(); };
    L.Place("well", 4, 4, false, true, well);
    for (auto [x, y] : {std::pair{7, 1}, {1, 7}, {8, 4}, {4, 8}, {14, 4}, {4, 14}, {24, 1}, {1, 24}})
        L.Place("lamp", x, y, false, true, lamp);
    L.Place("stall red", 9, 0, [] { return Stall(Solid(196, 58, 52), 1); });
    L.Place("stall blue", 13, 0, [] { return Stall(Solid(60, 96, 176), 2); });
    L.Place("stall green", 0, 9, [] { return Stall(Solid(70, 140, 70), 3); });
    L.Place("arch east", 28, 1, false, true, [] { return Arch(false, 4); });
    L.Place("arch west", 1, 28, false, true, [] { return Arch(true, 4); });
    L.Place("sign", 27, 5, [] { return Signpost(); });
    L.Place("sign", 5, 27, [] { return Signpost(); });
    for (auto [x, y] : {std::pair{13, 8}, {20, 11}, {8, 13}, {14, 17}})
        L.Place("barrel", x, y, [] { return Barrel(); });
    for (auto [x, y] : {std::pair{14, 8}, {21, 10}, {9, 14}, {10, 21}}) {
        const uint32_t seed = uint32_t(x + y) % 2;
        L.Place("crate " + std::to_string(seed), x, y, [seed] { return Crate(seed); });
    }
    // A fenced kitchen garden behind the inn, and flower beds along the streets.
    std::vector<std::pair<int, int>> fence;
    Place_Fence_Ring(L, fence, 21, 26, 11, 16, 21, 11);
    for (int y = 12; y <= 15; ++y)
        for (int x = 22; x <= 25; ++x) {
            L.T(x, y) = FIELD;
            L.Place("cabbage " + std::to_string((x + y) % 3), x, y, [=] { return Crops(uint32_t(x + y) % 3, false); });
        }
    for (int x = 16; x <= 26; x += 2)
        L.Place("flowers " + std::to_string(x % 5), x, 4, [x] { return Flowers(uint32_t(x % 5)); });
    for (int y = 10; y <= 20; y += 3)
        L.Place("flowers " + std::to_string(y % 5), 4, y, [y] { return Flowers(uint32_t(y % 5)); });
    for (auto [x, y] : {std::pair{12, 12}, {13, 15}, {18, 19}, {21, 18}, {16, 22}, {24, 20}, {8, 26}, {26, 9}})
        L.Place("round " + std::to_string((x * 7 + y) % 6), x, y,
                [seed = uint32_t(x * 7 + y) % 6] { return Round_Tree(seed); });

    // Farmland below the village: fields in fences, a barn, haystacks, an orchard.
    struct Field {
        int x0, x1, y0, y1;
        bool wheat;
    };
    for (const Field& f : {Field{6, 12, 31, 37, true}, Field{16, 22, 31, 37, false}, Field{6, 12, 44, 50, true}}) {
        Place_Fence_Ring(L, fence, f.x0 - 1, f.x1 + 1, f.y0 - 1, f.y1 + 1, (f.x0 + f.x1) / 2,
                         f.y0 < 40 ? f.y1 + 1 : f.y0 - 1);
        for (int y = f.y0; y <= f.y1; ++y)
            for (int x = f.x0; x <= f.x1; ++x) {
                L.T(x, y) = FIELD;
                const uint32_t seed = uint32_t(x * 3 + y) % 4;
                L.Place(std::string(f.wheat ? "wheat " : "cabbage ") + std::to_string(seed), x, y,
                        [=] { return Crops(seed, f.wheat); });
            }
    }
    for (const auto& [x, y] : fence) {
        auto is_fence = [&](int fx, int fy) {
            return std::find(fence.begin(), fence.end(), std::pair{fx, fy}) != fence.end();
        };
        int mask = (is_fence(x, y - 1) ? 1 : 0) | (is_fence(x + 1, y) ? 2 : 0) | (is_fence(x, y + 1) ? 4 : 0) |
                   (is_fence(x - 1, y) ? 8 : 0);
        L.Put("fence " + std::to_string(mask), x, y, [mask] { return Fence(mask); });
    }
    Place_House(L, "barn", Style(5, 4, true, 0, 2.5, red, Solid(170, 120, 80), false, 52, 34), 17, 44);
    for (auto [x, y] : {std::pair{23, 44}, {23, 46}, {16, 49}}) L.Place("haystack", x, y, [] { return Haystack(); });
    for (int y = 28; y <= 37; y += 3)
        for (int x = 27; x <= 36; x += 3)
            if (std::abs(x - y) > 2) {
                const uint32_t seed = uint32_t(3 + 7 * ((x + y) % 2));
                L.Place("fruit " + std::to_string(seed), x, y, [seed] { return Round_Tree(seed); });
            }
}

void Place_Ruins(Layout& L) {
    // Rooms of broken stone walls, entered through gaps and an arch.
    struct Room {
        int x0, x1, y0, y1;
    };
    std::vector<std::pair<int, int>> wall;
    for (const Room& r : {Room{14, 20, 77, 82}, Room{33, 40, 81, 89}, Room{13, 19, 92, 98}, Room{32, 39, 92, 98}}) {
        for (int y = r.y0; y <= r.y1; ++y)
            for (int x = r.x0; x <= r.x1; ++x) {
                const bool edge = x == r.x0 || x == r.x1 || y == r.y0 || y == r.y1;
                const bool broken = Hash01(uint32_t(x), uint32_t(y), 77) < 0.22;
                const bool door = (y == r.y1 && x == (r.x0 + r.x1) / 2) || (x == r.x0 && y == (r.y0 + r.y1) / 2);
                if (edge && !broken && !door && !L.Taken(x, y) && !L.Road(x, y)) {
                    L.Reserve(x, y);
                    wall.push_back({x, y});
                }
            }
    }
    for (const auto& [x, y] : wall) {
        auto is_wall = [&](int wx, int wy) {
            return std::find(wall.begin(), wall.end(), std::pair{wx, wy}) != wall.end();
        };
        const int mask = (is_wall(x, y - 1) ? 1 : 0) | (is_wall(x + 1, y) ? 2 : 0) | (is_wall(x, y + 1) ? 4 : 0) |
                         (is_wall(x - 1, y) ? 8 : 0);
        const uint32_t seed = Hash(uint32_t(x), uint32_t(y)) % 3;
        const std::string key = "wall " + std::to_string(mask) + " " + std::to_string(seed);
        L.Put(key, x, y, [=] { return Stone_Wall(mask, seed); });
    }
    L.Place("arch ruins", 12, 86, false, true, [] { return Arch(false, 4); });
    L.Place("arch square", 24, 82, [] { return Arch(true, 4); });
    for (auto [x, y] : {std::pair{21, 91}, {29, 91}, {21, 85}, {29, 85}})
        L.Place("stone 1", x, y, [] { return Standing_Stone(1); });
}

void Place_Landmarks(Layout& L) {
    const Color slate = Solid(92, 104, 134), brown = Solid(150, 104, 62), cream = Solid(232, 220, 188);
    // Woodcutter's clearing in the east wood.
    Place_House(L, "woodcutter", Style(3, 3, true, 0, 1.5, brown, Solid(176, 130, 88), false), 41, 17);
    L.Place("campfire", 46, 21, [] { return Campfire(); });
    for (auto [x, y] : {std::pair{48, 18}, {47, 24}, {44, 23}}) L.Place("stump", x, y, [] { return Stump(); });
    for (int y = 15; y <= 25; ++y)
        for (int x = 40; x <= 50; ++x)
            if (std::hypot(x - 45.0, y - 20.0) < 5) L.Reserve(x, y);
    // Standing stones on the heath.
    for (int i = 0; i < 9; ++i) {
        const double a = 6.2832 * i / 9;
        L.Place("stone " + std::to_string(i % 3), int(std::lround(90 + 4.6 * std::cos(a))),
                int(std::lround(30 + 4.6 * std::sin(a))), [i] { return Standing_Stone(uint32_t(i % 3)); });
    }
    for (int y = 26; y <= 34; ++y)
        for (int x = 86; x <= 94; ++x)
            if (std::hypot(x - 90.0, y - 30.0) < 4) L.Reserve(x, y);
    // Hermit's hut at the end of the trail in the dark wood, fisher's hut and boats on the lake.
    Place_House(L, "hermit", Style(3, 3, false, 1, 1.5, slate, cream, true), 56, 74);
    for (int y = 73; y <= 80; ++y)
        for (int x = 55; x <= 64; ++x) L.Reserve(x, y);
    Place_House(L, "fisher", Style(3, 3, true, 0, 1.5, brown, cream, false), 80, 93);
    L.Place("boat", 92, 90, true, false, [] { return Boat(); });
    L.Place("boat", 40, 34, true, false, [] { return Boat(); });
    // A traders' camp in the dunes.
    L.Place("tent red", 56, 106, [] { return Tent(Solid(190, 80, 60)); });
    L.Place("tent sand", 59, 105, [] { return Tent(Solid(226, 210, 170)); });
    L.Place("tent blue", 55, 109, [] { return Tent(Solid(80, 110, 170)); });
    L.Place("campfire", 58, 108, [] { return Campfire(); });
    L.Place("barrel", 60, 107, [] { return Barrel(); });
    L.Place("crate 1", 57, 104, [] { return Crate(1); });
    L.Place("sign", 102, 5, [] { return Signpost(); });
    L.Place("sign", 4, 100, [] { return Signpost(); });
}

// Railings along the sides of every bridge.
void Place_Railings(Layout& L) {
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            const uint8_t t = L.T(x, y);
            if (t != BRIDGE_U && t != BRIDGE_V) continue;
            const bool along_x = t == BRIDGE_U;
            for (int side : {-1, 1}) {
                const int nx = along_x ? x : x + side, ny = along_x ? y + side : y;
                if (!Layout::Inside(nx, ny) || L.T(nx, ny) != WATER) continue;
                const bool plus = side < 0;   // the railing hugs the edge that touches the bridge
                L.Place(std::string("railing ") + (along_x ? "x" : "y") + (plus ? "+" : "-"), nx, ny, true, false,
                        [=] { return Railing(along_x, plus); });
            }
        }
}

void Place_Nature(Layout& L) {
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            if (L.Taken(x, y) || L.Road(x, y)) continue;
            const uint8_t t = L.T(x, y);
            const double r = Hash01(uint32_t(x), uint32_t(y), 1234);
            const uint32_t pick = Hash(uint32_t(x), uint32_t(y), 99);
            // Keep a free margin along the roads.
            bool near_road = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (Layout::Inside(x + dx, y + dy) && L.Road(x + dx, y + dy)) near_road = true;
            auto tree = [&](bool pine) {
                if (pine) return L.Place("pine " + std::to_string(pick % 5), x, y, [=] { return Pine_Tree(pick % 5); });
                return L.Place("round " + std::to_string(pick % 12), x, y, [=] { return Round_Tree(pick % 12); });
            };
            if (t == WATER) {
                bool shore = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (Layout::Inside(x + dx, y + dy) && L.T(x + dx, y + dy) != WATER) shore = true;
                if (shore && r < 0.12 && Lake_Distance(x, y) > -6)
                    L.Place("reeds " + std::to_string(pick % 3), x, y, true, false, [=] { return Reeds(pick % 3); });
                continue;
            }
            if (x + y < 30) {   // the village: a hedge of trees along the map's edges only
                if ((x == 0 || y == 0) && x + y > 14 && r < 0.7) tree(false);
                continue;
            }
            const double side = River_Side(x, y);
            const double forest = Fbm(x / 11.0, y / 11.0, 3, 3);
            double p_tree = 0.02, p_pine = 0.3, p_rock = 0.01, p_flower = 0.03, p_bush = 0.02, p_grass = 0.03;
            if (In_Highlands(x, y))
                p_tree = 0.05, p_pine = 0.9, p_rock = t == GRAVEL ? 0.1 : 0.04, p_flower = 0.01;
            else if (In_Darkwood(x, y))
                p_tree = 0.36, p_pine = 0.6, p_bush = 0.05, p_flower = 0.01;
            else if (In_Desert(x, y))
                p_tree = 0, p_rock = 0.07, p_flower = 0, p_bush = 0.04, p_grass = 0.02;
            else if (In_Ruins(x, y))
                p_tree = 0.015, p_pine = 0.2, p_rock = 0.03;
            else if (side < 0 && x - y > 10)
                p_tree = forest > 0.45 ? 0.38 : 0.1, p_pine = 0.25;   // east wood
            else if (side < 0 && y - x > 12)
                p_tree = 0.05, p_flower = 0.02;   // farmland
            else if (side < 0)
                p_tree = 0.03, p_flower = 0.1, p_bush = 0.03;   // meadow
            else
                p_tree = forest > 0.5 ? 0.3 : 0.06;
            if (x == 0 || y == 0 || x == SIZE - 1 || y == SIZE - 1) p_tree = std::max(p_tree, 0.6);
            if (near_road) p_tree = std::min(p_tree, 0.03), p_rock = std::min(p_rock, 0.01);
            if (t == SAND && !In_Desert(x, y)) p_tree = 0.01, p_flower = 0;
            double acc = p_tree;
            if (r < acc) {
                if (In_Desert(x, y)) continue;
                tree(Hash01(uint32_t(x), uint32_t(y), 5) < p_pine);
                continue;
            }
            if (r < (acc += p_rock)) {
                if (In_Desert(x, y) && pick % 3 == 0)
                    L.Place("dead tree " + std::to_string(pick % 3), x, y, [=] { return Dead_Tree(pick % 3); });
                else {
                    const double size = 0.7 + 0.12 * (pick % 5);
                    const std::string key = "rock " + std::to_string(pick % 8) + " " + std::to_string(pick % 5);
                    L.Place(key, x, y, [=] { return Rock(pick % 8, size); });
                }
                continue;
            }
            if ((t == SAND && !In_Desert(x, y)) || t == GRAVEL || t == FIELD) continue;
            if (r < (acc += p_flower))
                L.Place("flowers " + std::to_string(pick % 5), x, y, [=] { return Flowers(pick % 5); });
            else if (r < (acc += p_bush)) {
                const bool dry = In_Desert(x, y);
                L.Place((dry ? "dry bush " : "bush ") + std::to_string(pick % 4), x, y,
                        [=] { return Bush(pick % 4, dry); });
            } else if (r < (acc += p_grass))
                L.Place("grass " + std::to_string(pick % 4), x, y, [=] { return Tall_Grass(pick % 4); });
        }
    L.Place("round 2", 100, 93, [] { return Round_Tree(2); });   // the islet's tree
}

// ---- the map file ----

struct Piece_Slot {
    bool overlay;
    int handle;
    int left, top;
};

// The map stores positions as 16-bit numbers: a sheet that grew past them cannot be described.
int16_t Fits_16(int v) {
    if (v < -32768 || v > 32767) throw std::runtime_error("a world picture grew past 16-bit coordinates");
    return int16_t(v);
}

Piece_Cell To_Piece(const Atlas& atlas, const Piece_Slot& slot, int16_t image_id) {
    const Atlas_Rect& r = atlas.Rect_Of(slot.handle);
    Fits_16(r.y + r.h);
    Piece_Cell c;
    c.source_x = int16_t(r.x);
    c.source_y = int16_t(r.y);
    c.width = int16_t(r.w);
    c.height = int16_t(r.h);
    c.offset_x = int16_t(slot.left);
    c.offset_y = int16_t(slot.top);
    c.present = 1;
    c.image_id = image_id;
    return c;
}

void Write_File(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    if (!file || !file.write(bytes.data(), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot write " + path);
}

}   // namespace

void Build_World(const std::string& out_dir) {
    Layout L;
    Paint_Ground(L);
    Lay_Roads(L);
    Place_Village(L);
    Place_Ruins(L);
    Place_Landmarks(L);
    Place_Railings(L);
    Place_Nature(L);

    Map_Model map;
    map.Map_Width = map.Map_Height = SIZE;
    map.Ground_Grid.Resize(SIZE, SIZE);
    map.Object_Grid.Resize(SIZE, SIZE);
    map.Overlay_Grid.Resize(SIZE, SIZE);

    // Ground tiles.
    Tile_Painter tiles;
    static const int DX[8] = {0, 1, 1, 1, 0, -1, -1, -1}, DY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            std::array<uint8_t, 8> n;
            for (int i = 0; i < 8; ++i) {
                const int nx = x + DX[i], ny = y + DY[i];
                n[size_t(i)] = Layout::Inside(nx, ny) ? L.T(nx, ny) : L.T(x, y);
            }
            const Atlas_Rect r = tiles.Rect_Of(tiles.Tile_For(L.T(x, y), n, Hash(uint32_t(x), uint32_t(y), 99)));
            Fits_16(r.y + r.h);
            Ground_Cell& g = map.Ground_Grid(x, y);
            g.image_id = TILES_ID;
            g.source_x = int16_t(r.x);
            g.source_y = int16_t(r.y);
            g.blocked = L.T(x, y) == WATER ? -1 : 0;
        }
    map.Ground_Grid(0, 0).text = u"村莊廣場";

    // Pieces: each prop drawn once, cut into cells, and stored once per atlas.
    Atlas objects(1024), overlay(1024);
    std::map<std::string, std::vector<Cell_Piece>> cut;
    std::vector<std::tuple<int, int, Piece_Slot>> slots;
    for (const Placement& p : L.Placements()) {
        const Prop& prop = L.Prop_Of(p.key);
        auto found = cut.find(p.key);
        if (found == cut.end()) found = cut.emplace(p.key, Cut_Into_Pieces(prop.model, Render(prop.model))).first;
        for (const Cell_Piece& piece : found->second) {
            const std::string key = p.key + "@" + std::to_string(piece.dx) + "," + std::to_string(piece.dy);
            Atlas& atlas = piece.overlay ? overlay : objects;
            const int handle = atlas.Add(key, piece.art.picture);
            slots.push_back({p.x + piece.dx, p.y + piece.dy, {piece.overlay, handle, piece.art.left, piece.art.top}});
        }
        if (!prop.walkable)
            for (int j = 0; j < prop.model.foot_d; ++j)
                for (int i = 0; i < prop.model.foot_w; ++i)
                    if (std::find(prop.free.begin(), prop.free.end(), std::pair{i, j}) == prop.free.end())
                        map.Ground_Grid(p.x + i, p.y + j).blocked = -1;
    }
    objects.Pack();
    overlay.Pack();
    for (const auto& [x, y, slot] : slots) {
        if (slot.overlay)
            map.Overlay_Grid(x, y) = To_Piece(overlay, slot, OVERLAY_ID);
        else
            map.Object_Grid(x, y) = To_Piece(objects, slot, OBJECTS_ID);
    }

    map.Map_Images.resize(3);
    map.Map_Images[0].file_name = u"images\\tiles.bmp";
    map.Map_Images[0].id = TILES_ID;
    map.Map_Images[1].file_name = u"images\\objects.bmp";
    map.Map_Images[1].id = OBJECTS_ID;
    map.Map_Images[2].file_name = u"images\\overlay.bmp";
    map.Map_Images[2].id = OVERLAY_ID;
    map.Map_Image_Count = 3;

    Save_Bmp(tiles.Sheet(), out_dir + "/images/tiles.bmp");
    Save_Bmp(objects.Sheet(), out_dir + "/images/objects.bmp");
    Save_Bmp(overlay.Sheet(), out_dir + "/images/overlay.bmp");
    Write_File(out_dir + "/data/testmap.map", Write_Map(map));
    Make_Characters(out_dir);
}

}   // namespace world

void Make_World(const std::string& out_dir) { world::Build_World(out_dir); }
