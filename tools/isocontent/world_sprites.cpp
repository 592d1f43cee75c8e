// world_sprites.cpp -- the walking figures: a small jointed body posed for each direction and frame,
// their sprite sheets, the animation file and the character file.
#include <cmath>
#include <fstream>
#include <stdexcept>

#include "characters/animation.h"
#include "characters/character_file.h"
#include "characters/player.h"
#include "map/map_file.h"
#include "tools/isocontent/world_parts.h"

namespace world {

namespace {

struct Look {
    Color skin, hair, shirt, sleeve, legs, boots, belt, trim;
    bool dress = false, long_hair = false, hood = false;
};

// Frame size and where the figure's feet stand inside it.
constexpr int FRAME_W = 26, FRAME_H = 54, FOOT_X = 13, FOOT_Y = 49;
constexpr int FRAMES = 4;
constexpr int16_t FRAME_MS = 40;   // played at speed 2.0: 80 ms a frame, one cycle per step

// Screen directions of the map steps, as ground vectors in model space.
constexpr int STEP_DX[9] = {1, 0, 1, 1, 1, 0, -1, -1, -1};
constexpr int STEP_DY[9] = {1, -1, -1, 0, 1, 1, 1, 0, -1};

struct Pose {
    V3 f, s;                          // forward and the figure's right, on the ground
    double leg[2], knee[2], arm[2];   // swing angles in radians, forward positive; knee bend
    bool walking;
};

Pose Make_Pose(int direction, int frame, bool walking, double stride) {
    Pose p;
    p.f = Normalized({double(STEP_DX[direction]), double(STEP_DY[direction]), 0});
    p.s = {-p.f.y, p.f.x, 0};
    p.walking = walking;
    const double swing = walking ? stride * std::sin(frame * 1.5707963) : 0.0;
    p.leg[0] = swing;    // left
    p.leg[1] = -swing;   // right
    p.knee[0] = swing < 0 ? 0.35 : 0.08;
    p.knee[1] = -swing < 0 ? 0.35 : 0.08;
    if (walking && frame == 2) {   // the right leg passes, lifted
        p.leg[1] = 0.25;
        p.knee[1] = 0.75;
    }
    if (walking && frame == 0) { p.knee[0] = p.knee[1] = 0.1; }
    p.arm[0] = -0.8 * p.leg[0];
    p.arm[1] = -0.8 * p.leg[1];
    if (walking && frame == 2) p.arm[1] = -0.15, p.arm[0] = 0.15;
    return p;
}

Model Figure(const Look& look, const Pose& pose) {
    const V3 up{0, 0, 1};
    auto at = [&](double side, double fwd, double z) { return pose.s * side + pose.f * fwd + up * z; };
    auto limb_end = [&](V3 from, double angle, double length) {
        return from + pose.f * (std::sin(angle) * length) + up * (-std::cos(angle) * length);
    };
    constexpr double THIGH = 12, SHIN = 11.5, HIP_Z = 25;
    // Lower the body so the lower foot touches the ground.
    double lowest = 1e9;
    for (int i = 0; i < 2; ++i) {
        const double z = HIP_Z - std::cos(pose.leg[i]) * THIGH - std::cos(pose.leg[i] - pose.knee[i]) * SHIN;
        lowest = std::min(lowest, z);
    }
    const double drop = lowest - 1.8;
    auto body = [&](double side, double fwd, double z) { return at(side, fwd, z - drop); };

    Model m;
    auto add = [&](Shape s) { m.shapes.push_back(std::move(s)); };
    // Legs and feet.
    for (int i = 0; i < 2; ++i) {
        const double side = i == 0 ? -3.2 : 3.2;
        const V3 hip = body(side, 0, HIP_Z);
        const V3 knee = limb_end(hip, pose.leg[i], THIGH);
        const V3 ankle = limb_end(knee, pose.leg[i] - pose.knee[i], SHIN);
        const double far = Dot(pose.s * side, Normalized({1, 1, 0})) < 0 ? 0.85 : 1.0;   // the far leg a bit darker
        add(Capsule(hip, knee, 2.5, Flat(Shade(look.legs, far))));
        add(Capsule(knee, ankle, 2.2, Flat(Shade(look.dress ? look.skin : look.legs, far))));
        add(Capsule(ankle + up * 0.2, ankle + pose.f * 3.2 + up * 0.2, 1.9, Flat(Shade(look.boots, far))));
    }
    // Hips, body, shoulders.
    add(Ellipsoid(body(0, 0, 26), {5.0, 5.0, 3.4}, Flat(look.legs)));
    {
        const V3 c = body(0, 0, 31.5);
        const V3 f = pose.f, s = pose.s;
        const Color shirt = look.shirt, belt = look.belt, trim = look.trim;
        const double belt_z = 26.3 - drop;
        Shape torso = Implicit(
            [c, f, s](V3 p) {
                const V3 q = p - c;
                const double a = Dot(q, s) / 6.2, b = Dot(q, f) / 3.9, z = q.z / 8.6;
                return (std::sqrt(a * a + b * b + z * z) - 1) * 3.9;
            },
            c - V3{8.6, 8.6, 8.6}, c + V3{8.6, 8.6, 8.6},
            [=](const Surface_Point& sp) {
                if (sp.p.z > belt_z && sp.p.z < belt_z + 1.6) return belt;
                if (Dot(sp.n, f) > 0.3 && sp.p.z > c.z + 6.4) return trim;   // collar
                return shirt;
            });
        add(torso);
    }
    if (look.dress)
        add(Cone(body(0, 0, 8.5), 8.6, 5.2, 19,
                 [=](const Surface_Point& sp) { return sp.p.z < 11 - drop ? look.trim : look.shirt; }));
    add(Capsule(body(-5.6, 0, 37.3), body(5.6, 0, 37.3), 2.7, Flat(look.shirt)));
    // Arms.
    for (int i = 0; i < 2; ++i) {
        const double side = i == 0 ? -7.0 : 7.0;
        const V3 shoulder = body(side, 0, 37.2);
        const V3 elbow = limb_end(shoulder, pose.arm[i], 8.5) + pose.s * (side * 0.04);
        const V3 hand = limb_end(elbow, pose.arm[i] + 0.35, 8.0);
        add(Capsule(shoulder, elbow, 2.0, Flat(look.sleeve)));
        add(Capsule(elbow, hand, 1.7, Flat(look.sleeve)));
        add(Sphere(hand, 1.9, Flat(look.skin)));
    }
    // Neck and head.
    add(Capsule(body(0, 0, 38.5), body(0, 0, 42), 1.9, Flat(look.skin)));
    {
        const V3 c = body(0, 0.3, 45.4);
        const V3 f = pose.f, s = pose.s;
        const V3 eye_l = Normalized(f * 0.93 + s * -0.37 + V3{0, 0, 0.05});
        const V3 eye_r = Normalized(f * 0.93 + s * 0.37 + V3{0, 0, 0.05});
        const Look l = look;
        add(Sphere(c, 5.5, [=](const Surface_Point& sp) {
            const double nf = Dot(sp.n, f), nz = sp.n.z;
            if (Dot(sp.n, eye_l) > 0.972 || Dot(sp.n, eye_r) > 0.972) return Solid(36, 26, 30);
            // A hood leaves only the face open; hair covers the top and back of the head.
            if (l.hood) return nz > -0.6 && (nf < 0.72 || nz > 0.42) ? l.hair : l.skin;
            const bool hair = nz > 0.5 || nf < -0.2 || (nf < 0.45 && nz > 0.15);
            return hair ? l.hair : l.skin;
        }));
        if (look.long_hair) add(Ellipsoid(c - f * 2.4 + V3{0, 0, -3.5}, {4.6, 4.6, 6.5}, Flat(look.hair)));
        if (look.hood) add(Ellipsoid(body(0, -3.4, 30), {5.0, 5.0, 10}, Flat(Shade(look.hair, 0.9))));
    }
    for (Shape& s : m.shapes) s.lit = 0.85;
    return m;
}

Picture Render_Frame(const Look& look, int direction, int frame, bool walking) {
    // A dress allows a shorter stride.
    Model m = Figure(look, Make_Pose(direction, frame, walking, look.dress ? 0.34 : 0.5));
    Rendered r = Render(m);
    const Layer_Picture& lp = r.object;
    // The ground point (0, 0, 0) is the tile origin's top corner: 20 pixels right of lp's origin.
    Picture out(FRAME_W, FRAME_H);
    for (int y = 0; y < FRAME_H; ++y)
        for (int x = 0; x < FRAME_W; ++x) out.Set(x, y, lp.picture.Get(x - FOOT_X + 20 - lp.left, y - FOOT_Y - lp.top));
    Outline(out, Solid(30, 24, 34));
    return out;
}

struct Sprite_Kind {
    const char* sheet_file;   // host name under images/
    const char16_t* sheet_name;
    int16_t sheet_id;
    int16_t first_id;   // standing sequence id; walks are first_id + 1 .. first_id + 8
    Look look;
};

}   // namespace

void Make_Characters(const std::string& out_dir) {
    const Sprite_Kind kinds[] = {
        {"hero.bmp",
         u"images\\hero.bmp",
         2,
         0,
         {Solid(238, 192, 152), Solid(96, 58, 30), Solid(52, 98, 176), Solid(46, 86, 156), Solid(98, 74, 52),
          Solid(64, 42, 30), Solid(120, 80, 40), Solid(222, 210, 170), false, false, false}},
        {"maiden.bmp",
         u"images\\maiden.bmp",
         5,
         10,
         {Solid(242, 200, 166), Solid(232, 186, 84), Solid(184, 52, 60), Solid(236, 226, 206), Solid(232, 220, 200),
          Solid(110, 62, 40), Solid(90, 40, 40), Solid(240, 232, 214), true, true, false}},
        {"ranger.bmp",
         u"images\\ranger.bmp",
         9,
         20,
         {Solid(222, 176, 136), Solid(58, 104, 58), Solid(104, 128, 64), Solid(84, 110, 56), Solid(110, 92, 64),
          Solid(74, 54, 36), Solid(140, 100, 52), Solid(190, 170, 110), false, false, true}},
    };

    Animation_Data anim;
    Character_File chars;
    chars.Animation_File_Name = u"data\\testani.ani";
    int16_t type_value = 1;
    for (const Sprite_Kind& kind : kinds) {
        Picture sheet(FRAME_W * FRAMES, FRAME_H * 9);
        for (int row = 0; row < 9; ++row) {
            // Row 0 stands facing the viewer; row d walks in direction d.
            Sequence seq;
            seq.id = int16_t(kind.first_id + row);
            seq.sheet_id = kind.sheet_id;
            for (int k = 0; k < FRAMES; ++k) {
                const int direction = row == 0 ? 4 : row;
                sheet.Paste(Render_Frame(kind.look, direction, k, row != 0), k * FRAME_W, row * FRAME_H);
                Frame f;
                f.duration = FRAME_MS;
                f.source_x = int16_t(k * FRAME_W);
                f.source_y = int16_t(row * FRAME_H);
                f.width = FRAME_W;
                f.height = FRAME_H;
                f.offset_x = int16_t(20 - FOOT_X);   // feet on the diamond's centre (20, 10)
                f.offset_y = int16_t(10 - FOOT_Y);
                seq.frames.push_back(f);
            }
            seq.frame_count = int16_t(seq.frames.size());
            anim.Sequences.push_back(std::move(seq));
        }
        Save_Bmp(sheet, out_dir + "/images/" + kind.sheet_file);
        Sheet s;
        s.file_name = kind.sheet_name;
        s.id = kind.sheet_id;
        anim.Sheets.push_back(std::move(s));

        Action walk;
        walk.name = u"walk";
        Action stand;
        stand.name = u"stand";
        for (int d = 1; d <= 8; ++d) {
            walk.sequence_ids[size_t(d)] = int16_t(kind.first_id + d);
            stand.sequence_ids[size_t(d)] = kind.first_id;
        }
        Sprite_Type type;
        type.type_value = type_value++;
        // The second type lists another action first, so the game must look "walk" up by name.
        if (kind.first_id == 10)
            type.actions = {stand, walk};
        else
            type.actions = {walk, stand};
        type.action_count = int16_t(type.actions.size());
        chars.Sprite_Types.push_back(std::move(type));
    }
    anim.sheet_count = int16_t(anim.Sheets.size());
    anim.sequence_count = int16_t(anim.Sequences.size());
    chars.Sprite_Type_Count = int16_t(chars.Sprite_Types.size());

    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream file(out_dir + "/data/" + name, std::ios::binary);
        if (!file || !file.write(bytes.data(), std::streamsize(bytes.size())))
            throw std::runtime_error("cannot write " + out_dir + "/data/" + name);
    };
    write("testani.ani", Write_Animation_File(anim));
    write("testple.ple", Write_Character_File(chars));
}

}   // namespace world
