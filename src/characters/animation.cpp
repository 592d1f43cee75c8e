// animation.cpp -- the animation file, its sprite sheets, the look-ups and the per-record clock.
#include "characters/animation.h"

#include "characters/player.h"
#include "display/bitmap.h"
#include "display/display.h"
#include "map/map.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/platform.h"

Animation_Data Parse_Animation_File(const std::string& bytes, const std::string& file_name) {
    Byte_Reader r{bytes, file_name};
    Animation_Data data;
    data.sheet_count = r.Count("the sheet count");
    data.Sheets.resize(size_t(data.sheet_count));
    for (int16_t i = 0; i < data.sheet_count; ++i) {
        std::string what = "sheet " + std::to_string(i);
        data.Sheets[size_t(i)].file_name = r.Counted_String(what.c_str());
        data.Sheets[size_t(i)].id = r.Int16(what.c_str());
    }
    data.sequence_count = r.Count("the sequence count");
    data.Sequences.resize(size_t(data.sequence_count));
    for (int16_t i = 0; i < data.sequence_count; ++i) {
        Sequence& s = data.Sequences[size_t(i)];
        std::string what = "sequence " + std::to_string(i);
        s.sheet_id = r.Int16(what.c_str());
        s.id = r.Int16(what.c_str());
        s.frame_count = r.Count("the frame count of " + what);
        // Check the whole frame table at once: seven fields of two bytes each.
        if (r.Remaining() < size_t(s.frame_count) * 14) {
            size_t frame = r.Remaining() / 14;
            r.Fail_Short("frame " + std::to_string(frame) + " of " + what, r.pos + frame * 14);
        }
        s.frames.resize(size_t(s.frame_count));
        for (Frame& f : s.frames) {
            f.offset_x = r.Int16("a frame");
            f.offset_y = r.Int16("a frame");
            f.height = r.Int16("a frame");
            f.width = r.Int16("a frame");
            f.source_x = r.Int16("a frame");
            f.source_y = r.Int16("a frame");
            f.duration = r.Int16("a frame");
        }
    }
    return data;
}

std::string Write_Animation_File(const Animation_Data& data) {
    if (data.Sheets.size() > 32767 || data.Sequences.size() > 32767)
        throw Data_Error("animation data: more than 32767 sheets or sequences");
    Byte_Writer out;
    out.Int16(int16_t(data.Sheets.size()));
    for (const Sheet& sheet : data.Sheets) {
        out.Counted_String(sheet.file_name);
        out.Int16(sheet.id);
    }
    out.Int16(int16_t(data.Sequences.size()));
    for (const Sequence& s : data.Sequences) {
        if (s.frames.size() > 32767) throw Data_Error("animation data: more than 32767 frames in a sequence");
        out.Int16(s.sheet_id);
        out.Int16(s.id);
        out.Int16(int16_t(s.frames.size()));
        for (const Frame& f : s.frames)
            for (int16_t v : {f.offset_x, f.offset_y, f.height, f.width, f.source_x, f.source_y, f.duration})
                out.Int16(v);
    }
    return std::move(out.bytes);
}

void Load_Animation_File(const std::u16string& name) {
    const std::string bytes = Read_Data_File(name, Resolve_Program_File(name));
    Parse_Or_Raise(
        name, [&] { Animations = Parse_Animation_File(bytes, To_Utf8(name)); }, Reset_Animations);
    Load_Sheet_Images();
}

void Load_Sheet_Images() {
    for (Sheet& sheet : Animations.Sheets) Require_Bitmap(sheet.file_name, 0, sheet.surface);
}

int16_t Find_Sequence(int16_t id) {
    for (size_t i = 0; i < Animations.Sequences.size(); ++i)
        if (Animations.Sequences[i].id == id) return int16_t(i);
    return 0;
}

int16_t Find_Sheet(int16_t id) {
    for (size_t i = 0; i < Animations.Sheets.size(); ++i)
        if (Animations.Sheets[i].id == id) return int16_t(i);
    return 0;
}

void Start_Animation(Player_Record& record, float factor) {
    record.animating = true;
    record.frame_speed = factor;
}

// duration x speed is a single-precision product; adding the tick widens it.
static int32_t Frame_Due(int16_t duration, float speed) {
    float length = float(duration) * speed;
    return Round_Half_Even(double(length) + double(Get_Tick_Count()));
}

void Draw_Animation_Frame(const Sequence& sequence, Player_Record& record, int16_t x, int16_t y) {
    const int32_t frames = int32_t(sequence.frames.size());
    if (frames == 0) return;   // nothing to show (the file reader never lets one through)
    if (record.frame_index < 0 || record.frame_index > frames - 1) record.frame_index = 0;

    const Frame& f = sequence.frames[size_t(record.frame_index)];
    if (!Animations.Sheets.empty()) {
        int16_t dx = int16_t(x + f.offset_x), dy = int16_t(y + f.offset_y);
        Rect source{f.source_x, f.source_y, f.source_x + f.width, f.source_y + f.height};
        Rect clipped = Clip_Source_Rect(source, dx, dy);
        const Surface& sheet = Animations.Sheets[size_t(Find_Sheet(sequence.sheet_id))].surface;
        BltFast(Display.Back_Buffer, dx, dy, sheet, clipped, BLTFAST_SRCCOLORKEY_WAIT);
    }

    const int32_t last = frames - 1;
    const bool has_next = record.frame_index + 1 <= last;
    if (record.animating &&
        ((has_next && Get_Tick_Count() >= record.next_frame_time) || (has_next && record.next_frame_time == 0))) {
        record.frame_index = int16_t(record.frame_index + 1);
        record.next_frame_time = Frame_Due(sequence.frames[size_t(record.frame_index)].duration, record.frame_speed);
    } else if (!has_next && Get_Tick_Count() >= record.next_frame_time) {
        // The last frame has had its time (or a one-frame sequence just started): rest on frame 0.
        record.next_frame_time = Frame_Due(sequence.frames[size_t(last)].duration, record.frame_speed);
        record.frame_index = 0;
        record.animating = false;
    }
}
