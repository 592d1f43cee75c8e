// fonts_fontconfig.cpp -- face names resolved through fontconfig.
#include <fontconfig/fontconfig.h>

#include "platform/encoding.h"
#include "platform/fonts.h"

namespace {

// fontconfig's configuration, loaded on first use and released at exit so the sanitizer's leak
// check sees a clean end.
struct Fontconfig {
    FcConfig* config = nullptr;
    ~Fontconfig() {
        if (config) FcConfigDestroy(config);
    }
    FcConfig* Get() {
        if (!config) config = FcInitLoadConfigAndFonts();
        return config;
    }
};

FcConfig* Config() {
    static Fontconfig fc;
    return fc.Get();
}

bool Ascii_Equal_No_Case(const std::u16string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char16_t x = a[i], y = char16_t(uint8_t(b[i]));
        if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

}   // namespace

std::string Font_Pattern(const std::u16string& face, bool bold) {
    std::string pattern;
    if (face == u"新細明體") {
        pattern = "AR PL UMing TW:lang=zh-tw";
    } else if (Ascii_Equal_No_Case(face, "Impact")) {
        pattern = "DejaVu Sans:style=Condensed Bold";
    } else {
        // fontconfig's name syntax gives these characters a meaning; a face name means them literally.
        for (char c : To_Utf8(face)) {
            if (c == '\\' || c == '-' || c == ':' || c == ',' || c == '=') pattern += '\\';
            pattern += c;
        }
    }
    if (bold) pattern += ":weight=bold";
    return pattern;
}

std::optional<Resolved_Face> Resolve_Face(const std::u16string& face, bool bold) {
    FcConfig* config = Config();
    if (!config) return std::nullopt;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(Font_Pattern(face, bold).c_str()));
    if (!pattern) return std::nullopt;
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return std::nullopt;

    std::optional<Resolved_Face> resolved;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        resolved.emplace();
        resolved->file = reinterpret_cast<const char*>(file);
        int index = 0, weight = FC_WEIGHT_REGULAR;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch)
            resolved->index = index & 0xFFFF;   // the high bits name a variable font's instance
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        // fontconfig's own rules may already have marked a light face for emboldening (and
        // rewritten its weight); either way the renderer has to make the strokes bold.
        FcBool embolden = FcFalse;
        FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
        resolved->synthetic_bold = bold && (weight < FC_WEIGHT_DEMIBOLD || embolden);
    }
    FcPatternDestroy(match);
    return resolved;
}
