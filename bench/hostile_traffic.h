// hostile_traffic.h -- what a hostile server sends, frame by frame, for the hostile-server
// benchmark: "/setpl" floods up to the table's cap and past it, placements and moves to cells
// off the map, huge names and chat texts, runs of terminators, "/err" that is no command, random
// bytes and oversized messages, the whole stream cut into receipts at random places.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct Hostile_Traffic {
    std::mt19937 random;
    size_t bytes_sent = 0;
    int32_t flooded = 0;   // "/setpl" sent by the flood so far
    std::string carry;     // the stream's unsent rest, ahead of the next frame's

    explicit Hostile_Traffic(uint32_t seed) : random(seed) {}

    int32_t Pick(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); }

    // Printable ASCII, code page 950 pairs and framing bytes, n bytes or a little more. A whole
    // text keeps to one field of one message: escapes instead of bare "/" and no "\\".
    std::string Text(size_t n, bool whole = false) {
        static const char* const raw[] = {"a", "Z", "7", " ",        "/",        "\\",
                                          "#", "$", "e", "\xA4\x5C", "\xB3\x5C", "\xA7\x41"};
        static const char* const escaped[] = {"a", "Z", "7", " ",        "/#",       "/$",
                                              "#", "$", "e", "\xA4\x5C", "\xB3\x5C", "\xA7\x41"};
        const char* const* pieces = whole ? escaped : raw;
        std::string out;
        while (out.size() < n) out += pieces[size_t(Pick(0, int32_t(std::size(raw)) - 1))];
        return out;
    }

    // An identifier the flood has used (the own one is 1), or one that nobody holds.
    std::string Id() { return std::to_string(Pick(2, 2 + std::min(flooded, 32000))); }

    // A cell of the default world's 120 x 120 map (the own player stands at 60, 60), or one off it.
    std::string Cell(bool off_map) {
        static const char* const far[] = {"-1", "120", "32767", "-32768", "5000", "-300"};
        if (off_map) return std::string(far[Pick(0, 5)]) + "\\" + far[Pick(0, 5)];
        return std::to_string(Pick(0, 119)) + "\\" + std::to_string(Pick(0, 119));
    }

    // The stream of frame `frame` (from 1), cut into 1 to 4 receipts.
    std::vector<std::string> Frame_Receipts(int32_t frame) {
        std::string s = std::move(carry);
        carry.clear();
        // The flood: 2500 new players a frame until well past the table's cap of 32767 (the
        // identifiers come round again: a second entry with one identifier is still an entry).
        for (int i = 0; i < 2500 && flooded < 40000; ++i, ++flooded)
            s += "/setpl " + std::to_string(2 + flooded % 32000) + "\\" +
                 (flooded % 997 == 0 ? Text(60000, true) : Text(size_t(Pick(1, 24)))) + "/e/";
        if (frame % 10 == 0)
            s += "/delpl " + std::to_string(Pick(-2, 40000)) + "/e//setpl " + Id() + "\\" + Text(8) + "/e/";
        for (int i = 0; i < 6; ++i) s += "/setplxy " + Id() + "\\" + Cell(Pick(0, 9) == 0) + "/e/";
        for (int i = 0; i < 6; ++i) s += "/move " + Id() + "\\" + Cell(true) + "/e/";
        // Walks inside the map, for a few players only (each walker keeps a path search grid).
        s += "/move " + std::to_string(Pick(2, 41)) + "\\" + Cell(false) + "/e/";
        for (int i = 0; i < 3; ++i) s += "/say " + Id() + "\\" + Text(size_t(Pick(0, 40))) + "/e/";
        if (frame % 10 == 0) s += "/say " + Id() + "\\" + Text(60000, true) + "/e/";
        s += "/say 0\\" + Text(30) + "/e/";
        s += "/err/e//errx 5\\a/e//er r/e//err\\7 x/e//ERR\\ 9/e/";   // no "/err" command among them
        for (int i = Pick(0, 2000); i > 0; --i) s += "/e/";
        for (int i = 0; i < 256; ++i) s += char(Pick(0, 255));
        s += "/e/";
        if (frame % 100 == 0) s += "/setpl 3\\" + std::string(70000, 'x');   // oversized: dropped at its end
        // Cut anywhere, and keep a piece back for the next frame now and then.
        std::vector<size_t> cuts{0, s.size()};
        for (int i = Pick(0, 3); i > 0; --i) cuts.push_back(size_t(Pick(0, int32_t(s.size()))));
        std::sort(cuts.begin(), cuts.end());
        if (Pick(0, 1) == 1) {
            const size_t keep = size_t(Pick(0, int32_t(std::min<size_t>(s.size() - cuts[cuts.size() - 2], 20))));
            carry = s.substr(s.size() - keep);
            cuts.back() -= keep;
        }
        std::vector<std::string> receipts;
        for (size_t i = 0; i + 1 < cuts.size(); ++i) receipts.push_back(s.substr(cuts[i], cuts[i + 1] - cuts[i]));
        bytes_sent += s.size() - carry.size();
        return receipts;
    }
};
