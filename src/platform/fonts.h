// fonts.h -- where a face name leads on this machine: a font file and the face inside it. The
// game asks for "新細明體" and "Impact"; fonts_fontconfig.cpp finds them through fontconfig,
// fonts_windows.cpp in the Windows fonts folder, either falling back to the fonts shipped with it.
#pragma once
#include <optional>
#include <string>

struct Resolved_Face {
    std::string file;              // font file (host path)
    long index = 0;                // face inside a collection file
    bool synthetic_bold = false;   // bold asked for, but the face found is not bold
};

// The font file of a face name, or nothing when no face at all is found. Names other than the
// game's own still lead to some face where the system has one.
std::optional<Resolved_Face> Resolve_Face(const std::u16string& face, bool bold);

// The fontconfig variant's own (not built on Windows): the pattern a face name is looked up with. "新細明體" and
// "Impact" go to faces a Linux machine has (a Ming face with Traditional Chinese, a condensed bold sans); other names
// as they are, fontconfig's syntax characters escaped.
std::string Font_Pattern(const std::u16string& face, bool bold);
