// world_parts.h -- the default world's generator, shared between its files: noise, colours, the
// picture atlas, the ground-tile painter and the small ray caster that draws models and figures.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tools/isocontent/picture.h"

namespace world {

// ---- numbers ----

uint32_t Hash(uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0);
double Hash01(uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0);   // [0, 1)
// Smooth value noise in [0, 1) over the plane, and a few octaves of it.
double Value_Noise(double x, double y, uint32_t seed);
double Fbm(double x, double y, uint32_t seed, int octaves);
// Smooth noise in [0, 1) that repeats with period 1 in both coordinates (ground-tile edges meet).
double Tile_Noise(double u, double v, uint32_t seed);

// ---- colours ----

// Clamped to 0..255 and kept visible through the colour key (never pure black in 16 bits).
Color Solid(double r, double g, double b);
Color Shade(Color c, double factor);
Color Lerp(Color a, Color b, double t);
bool Is_Key(Color c);   // true when the 16-bit form of c is 0

// ---- atlas ----

struct Atlas_Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Pictures packed into one sheet; identical keys are stored once.
class Atlas {
public:
    explicit Atlas(int width) : width_(width) {}
    // Returns the handle of the picture; a key seen before returns its first handle.
    int Add(const std::string& key, Picture picture);
    // Places every picture (tallest first, rows of shelves) and paints the sheet.
    void Pack();
    const Atlas_Rect& Rect_Of(int handle) const { return rects_[size_t(handle)]; }
    const Picture& Sheet() const { return sheet_; }
    size_t Count() const { return pictures_.size(); }

private:
    int width_;
    std::map<std::string, int> keys_;
    std::vector<Picture> pictures_;
    std::vector<Atlas_Rect> rects_;
    Picture sheet_;
};

// ---- ground ----

// Lowest first: a terrain spills over the edges of a lower neighbour. Bridge and pier decks neither
// spill nor take spill, so their planks keep straight edges.
enum Terrain : uint8_t {
    WATER,
    SAND,
    GRAVEL,
    DIRT,
    FIELD,
    COBBLE,
    GRASS,
    LUSH,
    BRIDGE_U,
    BRIDGE_V,
    PIER,
    TERRAIN_COUNT
};
constexpr uint8_t NO_TERRAIN = 255;

// Paints ground tiles on demand: a cell's tile depends on its terrain, the terrains of its eight
// neighbours that spill into it, and a variant; each distinct tile is painted once.
class Tile_Painter {
public:
    // neighbours in the order (dx, dy) = (0,-1) (1,-1) (1,0) (1,1) (0,1) (-1,1) (-1,0) (-1,-1).
    int Tile_For(uint8_t terrain, const std::array<uint8_t, 8>& neighbours, uint32_t cell_hash);
    Atlas_Rect Rect_Of(int index) const;
    Picture Sheet() const;
    size_t Count() const { return tiles_.size(); }
    static constexpr int PER_ROW = 16;

private:
    std::map<std::string, int> keys_;
    std::vector<Picture> tiles_;
};

// ---- ray caster ----

// Model space is true-size pixels: X along map columns, Y along map rows (one cell is CELL units),
// Z up. The screen shows a point at ((X - Y) * 0.7071, (X + Y) * 0.3536 - Z * 0.866), so one cell
// is a 40 x 20 diamond and a height of Z units is 0.866 Z screen pixels.
constexpr double CELL = 28.2843;
constexpr double SCREEN_Z = 0.866025;

struct V3 {
    double x = 0, y = 0, z = 0;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double Dot(V3 a, V3 b);
double Length(V3 a);
V3 Normalized(V3 a);

// A hit on a shape's surface, handed to its paint function.
struct Surface_Point {
    V3 p, n;        // position and outward unit normal
    int face = 0;   // for a polytope, the index of the plane hit
};

enum Layer : uint8_t { OBJECT_LAYER, OVERLAY_LAYER, AUTO_LAYER };

struct Shape {
    // A convex polytope (planes n.p <= d) when planes is not empty; otherwise the implicit
    // surface f(p) <= 0 inside the box lo..hi.
    std::vector<std::pair<V3, double>> planes;
    std::function<double(V3)> f;
    V3 lo, hi;
    std::function<Color(const Surface_Point&)> paint;
    Layer layer = OBJECT_LAYER;
    double lit = 1.0;   // 0 for a shape that is not shaded by the light
};

// Shape builders (model-space units).
Shape Box(V3 lo, V3 hi, std::function<Color(const Surface_Point&)> paint);
Shape Polytope(const std::vector<std::pair<V3, double>>& planes, V3 lo, V3 hi,
               std::function<Color(const Surface_Point&)> paint);
Shape Implicit(std::function<double(V3)> f, V3 lo, V3 hi, std::function<Color(const Surface_Point&)> paint);
Shape Sphere(V3 c, double r, std::function<Color(const Surface_Point&)> paint);
Shape Ellipsoid(V3 c, V3 r, std::function<Color(const Surface_Point&)> paint);
Shape Capsule(V3 a, V3 b, double r, std::function<Color(const Surface_Point&)> paint);
// Vertical cylinder and cone (radius r0 at z0 narrowing to r1 at z1).
Shape Cone(V3 base, double r0, double r1, double height, std::function<Color(const Surface_Point&)> paint);
std::function<Color(const Surface_Point&)> Flat(Color c);

struct Model {
    std::vector<Shape> shapes;
    double overlay_from = 36.0;   // AUTO_LAYER: hits at least this many screen pixels high go over
    // Footprint in cells from the anchor cell (0, 0): columns 0..foot_w-1, rows 0..foot_d-1.
    int foot_w = 1, foot_d = 1;
};

// A rendered layer: its picture and the screen position of its top-left corner, relative to the
// tile origin of the model's anchor cell.
struct Layer_Picture {
    Picture picture;
    int left = 0, top = 0;
};

struct Rendered {
    Layer_Picture object, overlay;
};
Rendered Render(const Model& model);

// A model cut into the per-cell pieces of the map: the object layer into 40-pixel columns, each
// owned by one cell on the footprint's front (lower) edges, so the game's row-by-row drawing order
// keeps characters in front of and behind it; the overlay layer likewise.
struct Cell_Piece {
    int dx = 0, dy = 0;   // cell relative to the anchor
    bool overlay = false;
    Layer_Picture art;   // left/top relative to that cell's tile origin
};
std::vector<Cell_Piece> Cut_Into_Pieces(const Model& model, const Rendered& rendered);

// The light: from the upper left of the screen.
V3 Light_Direction();
// Diffuse shading of a base colour.
Color Lit(Color base, V3 normal, double lit);

// A 1-pixel dark outline around every opaque area of a picture.
void Outline(Picture& picture, Color colour);
Picture Crop(const Picture& p, int x, int y, int w, int h);

// ---- the catalogue of things standing on the map (world_models.cpp) ----

// A model with its walkability: footprint cells are blocked unless listed as free.
struct Prop {
    Model model;
    bool walkable = false;                   // the whole footprint stays free
    std::vector<std::pair<int, int>> free;   // footprint cells that stay free
};

constexpr double Px(double screen_pixels) { return screen_pixels / SCREEN_Z; }   // height in model units

Prop Round_Tree(uint32_t seed);
Prop Pine_Tree(uint32_t seed);
Prop Dead_Tree(uint32_t seed);
Prop Bush(uint32_t seed, bool dry);
Prop Rock(uint32_t seed, double size);
Prop Standing_Stone(uint32_t seed);
// Connections to the neighbours: 1 = (0,-1), 2 = (1,0), 4 = (0,1), 8 = (-1,0).
Prop Fence(int mask);
Prop Stone_Wall(int mask, uint32_t seed);

struct House_Style {
    int w = 3, d = 3;              // footprint in cells
    double wall = 50, roof = 30;   // heights in screen pixels
    bool ridge_along_x = true;
    Color plaster, timber, roof_light, stone;
    bool stone_walls = false, chimney = true;
    int door_face = 0;      // 0: the +Y (lower left) face, 1: the +X (lower right) face
    double door_at = 1.5;   // door centre along that face, in cells
};
Prop House(const House_Style& style);
Prop Well();
// Two pillars at the ends of `span` cells along one axis and a beam over the free cells between.
Prop Arch(bool along_x, int span);
// A bridge railing along the cell, on its near (+) or far (-) edge.
Prop Railing(bool along_x, bool plus_side);
Prop Crops(uint32_t seed, bool wheat);
Prop Flowers(uint32_t seed);
Prop Tall_Grass(uint32_t seed);
Prop Reeds(uint32_t seed);
Prop Lamp();
Prop Barrel();
Prop Crate(uint32_t seed);
Prop Signpost();
Prop Stall(Color awning, uint32_t seed);
Prop Stump();
Prop Haystack();
Prop Campfire();
Prop Tent(Color canvas);
Prop Boat();

// ---- the parts of the world ----

// Writes the sprite sheets, "data/testani.ani" and "data/testple.ple" under out_dir.
void Make_Characters(const std::string& out_dir);

}   // namespace world
