// text.cpp -- faces found by name (platform/fonts.h), opened with SDL_ttf, strings rasterised once into
// glyph masks kept in a least-recently-used cache.
#include "display/text.h"

#include <SDL_ttf.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <unordered_map>

#include "platform/encoding.h"

namespace {

constexpr const char16_t* FALLBACK_FACE = u"新細明體";

struct Font_Hash {
    size_t operator()(const Font_Spec& f) const {
        return std::hash<std::u16string>()(f.face) * 31 + size_t(uint16_t(f.size)) * 2 + (f.bold ? 1 : 0);
    }
};

struct Cache_Key {
    Font_Spec font;
    std::u16string text;
    bool operator==(const Cache_Key&) const = default;
};

struct Key_Hash {
    size_t operator()(const Cache_Key& k) const {
        return Font_Hash()(k.font) ^ (std::hash<std::u16string>()(k.text) * 0x9E3779B97F4A7C15ull);
    }
};

struct Cache_Entry {
    Cache_Key key;
    Text_Mask mask;
    size_t bytes = 0;
};

// Everything the text module keeps for the life of the program; released at exit so the
// sanitizer's leak check sees a clean end.
struct Text_System {
    bool ttf_ready = false;
    std::unordered_map<Font_Spec, TTF_Font*, Font_Hash> fonts;   // null: the face cannot be opened
    std::list<Cache_Entry> lru;                                  // most recently used first
    std::unordered_map<Cache_Key, std::list<Cache_Entry>::iterator, Key_Hash> index;
    size_t bytes = 0;
    uint64_t renders = 0;

    Text_System() {
        ttf_ready = TTF_Init() == 0;
        if (!ttf_ready) std::fprintf(stderr, "isoclient: cannot start the text renderer: %s\n", TTF_GetError());
    }
    ~Text_System() {
        for (auto& [wanted, font] : fonts)
            if (font) TTF_CloseFont(font);
        if (ttf_ready) TTF_Quit();
    }
};

Text_System& Text() {
    static Text_System system;
    return system;
}

TTF_Font* Open_Font(const Font_Spec& wanted) {
    Text_System& sys = Text();
    auto found = sys.fonts.find(wanted);
    if (found != sys.fonts.end()) return found->second;

    TTF_Font* font = nullptr;
    std::optional<Resolved_Face> face = sys.ttf_ready ? Resolve_Face(wanted.face, wanted.bold) : std::nullopt;
    if (face) {
        int points = std::max<int>(1, wanted.size);
        font = TTF_OpenFontIndexDPI(face->file.c_str(), points, face->index, 96, 96);
        if (font && face->synthetic_bold) TTF_SetFontStyle(font, TTF_STYLE_BOLD);
    }
    if (!font)
        std::fprintf(stderr, "isoclient: no usable font for the face \"%s\" (size %d%s)%s%s\n",
                     To_Utf8(wanted.face).c_str(), int(wanted.size), wanted.bold ? ", bold" : "", face ? ": " : "",
                     face ? TTF_GetError() : "");
    sys.fonts.emplace(wanted, font);
    return font;
}

// The glyph pixels of one rendering: 1 where a glyph is.
struct Glyph_Pixels {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> bits;
};

Glyph_Pixels Render_Pixels(TTF_Font* font, const std::string& utf8) {
    Glyph_Pixels out;
    SDL_Surface* s = TTF_RenderUTF8_Solid(font, utf8.c_str(), SDL_Color{255, 255, 255, 255});
    if (!s) return out;   // nothing to paint (a string of zero width)
    if (s->format->BytesPerPixel == 1 && SDL_LockSurface(s) == 0) {
        out.width = s->w;
        out.height = s->h;
        out.bits.resize(size_t(s->w) * size_t(s->h));
        const auto* pixels = static_cast<const uint8_t*>(s->pixels);
        for (int y = 0; y < s->h; ++y)
            for (int x = 0; x < s->w; ++x)
                out.bits[size_t(y) * size_t(s->w) + size_t(x)] = pixels[size_t(y) * size_t(s->pitch) + size_t(x)] != 0;
        SDL_UnlockSurface(s);
    }
    SDL_FreeSurface(s);
    return out;
}

int32_t Measure(TTF_Font* font, const std::string& utf8) {
    int w = 0, h = 0;
    return TTF_SizeUTF8(font, utf8.c_str(), &w, &h) == 0 ? w : 0;
}

// A stretch of the text drawn with one face: [begin, end) in UTF-16 units.
struct Run {
    TTF_Font* font;
    size_t begin, end;
};

// The text cut where the face changes: a character the font lacks goes to the fallback face when
// that face has it. One run with the font itself when nothing is missing.
std::vector<Run> Face_Runs(TTF_Font* font, TTF_Font* fallback, const std::u16string& text) {
    std::vector<Run> runs;
    for (size_t i = 0; i < text.size();) {
        char32_t c = text[i];
        size_t next = i + 1;
        if (c >= 0xD800 && c < 0xDC00 && next < text.size() && text[next] >= 0xDC00 && text[next] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[next] - 0xDC00);
            ++next;
        }
        TTF_Font* face = font;
        if (fallback && c >= 0x80 && !TTF_GlyphIsProvided32(font, c) && TTF_GlyphIsProvided32(fallback, c))
            face = fallback;
        if (!runs.empty() && runs.back().font == face)
            runs.back().end = next;
        else
            runs.push_back(Run{face, i, next});
        i = next;
    }
    return runs;
}

// The face that fills in characters a font lacks: the Chinese one, at the same size and weight
// (null for the Chinese face itself).
TTF_Font* Fallback_Font(const Font_Spec& font) {
    if (font.face == FALLBACK_FACE) return nullptr;
    return Open_Font(Font_Spec{FALLBACK_FACE, font.size, font.bold});
}

Text_Mask Render(TTF_Font* font, TTF_Font* fallback, const std::u16string& text) {
    Text_Mask mask;
    mask.line_height = TTF_FontHeight(font);
    if (text.empty()) return mask;
    const std::vector<Run> runs = Face_Runs(font, fallback, text);
    const size_t shown_end = std::min(text.size(), TEXT_RENDER_LIMIT);

    if (runs.size() == 1 && runs[0].font == font) {
        const std::string whole = To_Utf8(text);
        mask.measured_width = Measure(font, whole);
        Glyph_Pixels pixels = Render_Pixels(font, shown_end < text.size() ? To_Utf8(text.substr(0, shown_end)) : whole);
        mask.width = pixels.width;
        mask.height = pixels.height;
        mask.bits = std::move(pixels.bits);
        return mask;
    }

    // Each run rendered whole in its face, side by side, on the font's own baseline; a taller
    // face reaches above the drawing position (mask.top < 0).
    const int32_t baseline = TTF_FontAscent(font);
    struct Placed {
        Glyph_Pixels pixels;
        int32_t x, y;
    };
    std::vector<Placed> placed;
    int32_t pen = 0, bottom = 0;
    for (const Run& run : runs) {
        const std::string utf8 = To_Utf8(text.substr(run.begin, run.end - run.begin));
        const int32_t advance = Measure(run.font, utf8);
        if (run.begin < shown_end) {
            const size_t shown = std::min(run.end, shown_end) - run.begin;
            Glyph_Pixels pixels =
                Render_Pixels(run.font, shown < run.end - run.begin ? To_Utf8(text.substr(run.begin, shown)) : utf8);
            const int32_t x = pen, y = baseline - TTF_FontAscent(run.font);
            mask.top = std::min(mask.top, y);
            bottom = std::max(bottom, y + pixels.height);
            mask.width = std::max(mask.width, x + pixels.width);
            placed.push_back(Placed{std::move(pixels), x, y});
        }
        pen += advance;
    }
    mask.measured_width = pen;
    mask.height = bottom - mask.top;
    mask.bits.assign(size_t(mask.width) * size_t(mask.height), 0);
    for (const Placed& p : placed)
        for (int32_t row = 0; row < p.pixels.height; ++row)
            for (int32_t col = 0; col < p.pixels.width; ++col)
                if (p.pixels.bits[size_t(row) * size_t(p.pixels.width) + size_t(col)])
                    mask.bits[size_t(p.y - mask.top + row) * size_t(mask.width) + size_t(p.x + col)] = 1;
    return mask;
}

}   // namespace

const Text_Mask* Find_Text_Mask(const Font_Spec& font, const std::u16string& text) {
    Text_System& sys = Text();
    Cache_Key key{font, text};
    auto hit = sys.index.find(key);
    if (hit != sys.index.end()) {
        sys.lru.splice(sys.lru.begin(), sys.lru, hit->second);
        return &hit->second->mask;
    }

    TTF_Font* ttf = Open_Font(font);
    if (!ttf) return nullptr;
    ++sys.renders;
    Cache_Entry entry;
    entry.mask = Render(ttf, Fallback_Font(font), text);
    Make_Outline(entry.mask);
    entry.bytes = entry.mask.bits.size() + entry.mask.outline.size() + 2 * text.size() + 2 * font.face.size() + 128;
    entry.key = std::move(key);
    sys.lru.push_front(std::move(entry));
    sys.index.emplace(sys.lru.front().key, sys.lru.begin());
    sys.bytes += sys.lru.front().bytes;

    // The newest entry stays even when it alone is over the byte bound.
    while (sys.lru.size() > 1 && (sys.lru.size() > TEXT_CACHE_MAX_ENTRIES || sys.bytes > TEXT_CACHE_MAX_BYTES)) {
        sys.bytes -= sys.lru.back().bytes;
        sys.index.erase(sys.lru.back().key);
        sys.lru.pop_back();
    }
    return &sys.lru.front().mask;
}

void Make_Outline(Text_Mask& mask) {
    mask.outline.clear();
    const size_t w = size_t(std::max(0, mask.width)), h = size_t(std::max(0, mask.height));
    if (w == 0 || h == 0 || mask.bits.size() < w * h) return;
    const size_t ow = w + 2;
    mask.outline.assign(ow * (h + 2), 0);
    // Bit (x, y) of the mask is outline (x + 1, y + 1); the four moves reach (x, y + 1), (x + 2,
    // y + 1), (x + 1, y) and (x + 1, y + 2): row by row, four plain loops the compiler vectorises.
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* __restrict bits = &mask.bits[y * w];
        uint8_t* __restrict up = &mask.outline[y * ow + 1];
        uint8_t* __restrict level = &mask.outline[(y + 1) * ow];
        uint8_t* __restrict down = &mask.outline[(y + 2) * ow + 1];
        for (size_t x = 0; x < w; ++x) up[x] |= bits[x] != 0;
        for (size_t x = 0; x < w; ++x) down[x] |= bits[x] != 0;
        for (size_t x = 0; x < w; ++x) level[x] |= bits[x] != 0;
        for (size_t x = 0; x < w; ++x) level[x + 2] |= bits[x] != 0;
    }
}

void Blit_Text_Outline(Surface& dest, int32_t x, int32_t top, const Text_Mask& mask, uint16_t pixel) {
    if (mask.width <= 0 || mask.height <= 0 ||
        mask.outline.size() != size_t(mask.width + 2) * size_t(mask.height + 2)) {
        Blit_Text_Mask(dest, x - 1, top, mask, pixel);
        Blit_Text_Mask(dest, x + 1, top, mask, pixel);
        Blit_Text_Mask(dest, x, top - 1, mask, pixel);
        Blit_Text_Mask(dest, x, top + 1, mask, pixel);
        return;
    }
    Blit_Mask(dest, int64_t(x) - 1, int64_t(top) + mask.top - 1, mask.outline.data(), mask.width + 2, mask.height + 2,
              pixel);
}

void Blit_Text_Mask(Surface& dest, int32_t x, int32_t top, const Text_Mask& mask, uint16_t pixel) {
    if (mask.bits.size() < size_t(std::max(0, mask.width)) * size_t(std::max(0, mask.height))) return;
    Blit_Mask(dest, x, int64_t(top) + mask.top, mask.bits.data(), mask.width, mask.height, pixel);
}

void Clear_Text_Cache() {
    Text_System& sys = Text();
    sys.index.clear();
    sys.lru.clear();
    sys.bytes = 0;
}

size_t Text_Cache_Entries() { return Text().lru.size(); }
size_t Text_Cache_Bytes() { return Text().bytes; }
uint64_t Text_Renders() { return Text().renders; }
