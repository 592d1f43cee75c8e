// fonts_windows.cpp -- face names resolved on Windows: the font files the system lists in its
// registry and its Fonts folder, the face chosen inside a file by its name; where the system
// lacks a face, the fonts shipped in fonts\ beside the program.
#include <windows.h>

#include <array>
#include <vector>

#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/font_faces.h"
#include "platform/fonts.h"

namespace {

// The faces the game asks for: the names they go by, the file Windows keeps them in, and the
// shipped stand-in (the same faces the Linux build uses).
struct Known_Face {
    std::u16string face;
    std::vector<std::u16string> names;
    std::u16string system_file;
    std::string fallback_file;
    std::u16string fallback_face;
};

const Known_Face CHINESE{u"新細明體", {u"新細明體", u"PMingLiU"}, u"mingliu.ttc", "uming.ttc", u"AR PL UMing TW"};
const Known_Face IMPACT{
    u"Impact", {u"Impact"}, u"impact.ttf", "DejaVuSansCondensed-Bold.ttf", u"DejaVu Sans Condensed"};

std::u16string Wide(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::string Fonts_Folder() {
    std::array<wchar_t, MAX_PATH + 1> windows{};
    const UINT n = GetSystemWindowsDirectoryW(windows.data(), UINT(windows.size()));   // not a per-user copy
    if (n == 0 || n >= windows.size()) return "C:/Windows/Fonts";
    return To_Utf8(Wide(std::wstring(windows.data(), n))) + "/Fonts";
}

// The display names of a registry entry: "PMingLiU & MingLiU (TrueType)" holds two.
std::vector<std::u16string> Entry_Names(std::u16string entry) {
    const size_t kind = entry.rfind(u" (");
    if (kind != std::u16string::npos && entry.ends_with(u')')) entry.resize(kind);
    std::vector<std::u16string> names;
    for (size_t start = 0;;) {
        const size_t amp = entry.find(u" & ", start);
        names.push_back(entry.substr(start, amp == std::u16string::npos ? std::u16string::npos : amp - start));
        if (amp == std::u16string::npos) return names;
        start = amp + 3;
    }
}

// The files the registry lists for any of the names, machine-wide fonts first, then the user's.
void Registry_Files(const std::vector<std::u16string>& wanted, std::vector<std::string>& files) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;; ++i) {
            std::array<wchar_t, 512> name{};
            std::array<wchar_t, MAX_PATH + 1> data{};
            DWORD name_size = DWORD(name.size()), data_size = DWORD(sizeof data) - sizeof(wchar_t), type = 0;
            const LONG r = RegEnumValueW(key, i, name.data(), &name_size, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &data_size);
            if (r == ERROR_NO_MORE_ITEMS) break;
            if (r != ERROR_SUCCESS || type != REG_SZ) continue;
            // "DejaVu Serif Bold" is listed apart from "DejaVu Serif": a style after the name counts.
            bool match = false;
            for (const std::u16string& entry : Entry_Names(Wide(std::wstring(name.data(), name_size))))
                for (const std::u16string& w : wanted)
                    match = match || Same_Face_Name(entry, w) ||
                            (entry.size() > w.size() && entry[w.size()] == u' ' &&
                             Same_Face_Name(entry.substr(0, w.size()), w));
            if (!match) continue;
            const std::string file = To_Utf8(Wide(data.data()));
            // A bare file name lies in the Fonts folder; a user's font is listed with its full path.
            const bool full = file.find_first_of("\\/") != std::string::npos;
            files.push_back(full ? file : Fonts_Folder() + "/" + file);
        }
        RegCloseKey(key);
    }
}

// The best fit among the files' faces by one of the names; the earlier file, then name, of equals.
std::optional<Resolved_Face> Find_In(const std::vector<std::string>& files, const std::vector<std::u16string>& names,
                                     bool bold) {
    std::optional<Resolved_Face> best;
    int best_fit = -1;
    for (const std::string& file : files) {
        const std::vector<Font_File_Face> faces = Read_Font_File_Faces(file);
        for (const std::u16string& name : names) {
            const std::optional<long> index = Find_Face_By_Name(faces, name, bold);
            if (!index) continue;
            const Font_File_Face& face = faces[size_t(*index)];
            if (Face_Fit(face, bold) > best_fit) {
                best_fit = Face_Fit(face, bold);
                best = Resolved_Face{file, *index, bold && !face.bold};
            }
        }
    }
    return best;
}

}   // namespace

std::optional<Resolved_Face> Resolve_Face(const std::u16string& face, bool bold) {
    const Known_Face* known = Same_Face_Name(face, CHINESE.face)  ? &CHINESE
                              : Same_Face_Name(face, IMPACT.face) ? &IMPACT
                                                                  : nullptr;
    const std::vector<std::u16string> names = known ? known->names : std::vector<std::u16string>{face};
    std::vector<std::string> files;
    Registry_Files(names, files);
    if (known) files.push_back(Fonts_Folder() + "/" + To_Utf8(known->system_file));
    if (std::optional<Resolved_Face> found = Find_In(files, names, bold)) return found;
    // Any other name, like a face the system lacks, gets the shipped Chinese face.
    const Known_Face& stand_in = known ? *known : CHINESE;
    return Find_In({Executable_Folder() + "/fonts/" + stand_in.fallback_file}, {stand_in.fallback_face}, bold);
}
