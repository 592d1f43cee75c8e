// output.cpp -- what the game queues for its clients: the lists the network layer writes from,
// refusals, closes, the cutting off of clients that do not read, and the saving of cells before
// anything is sent.
#include <chrono>

#include "game_parts.h"
#include "platform/encoding.h"
#include "platform/error_codes.h"

std::vector<uint64_t> Take_Writes(Game& game, bool all, uint64_t slices, uint64_t slice) {
    std::vector<uint64_t> list;
    if (all && slices > 1) {
        // Those of other slices stay listed, in this round; those taken are listed again when
        // more is queued for them.
        std::vector<uint64_t> rest;
        for (const uint64_t serial : game.dirty) {
            if (serial % slices != slice) {
                rest.push_back(serial);
                continue;
            }
            if (Connection* c = Find_Connection(game, serial)) c->dirty_round = 0;
            list.push_back(serial);
        }
        game.dirty.swap(rest);
    } else if (all) {
        list.swap(game.dirty);
        ++game.dirty_round;
        // Everything listed is written now: an urgent write after it would find nothing.
        game.urgent.clear();
        ++game.urgent_round;
    } else {
        list.swap(game.urgent);
        ++game.urgent_round;
    }
    return list;
}

void Refuse(Game& game, Connection& c, const std::u16string& text, const std::string& why) {
    Log(game, &c, why);
    if (c.life == Life::Gone || c.life == Life::Closing) return;
    if (!text.empty())
        Queue(game, c, Frame_Bytes(CMD_ERR, Number(ERROR_OTHER) + FIELD_SEPARATOR_BYTE + To_Cp950(text)));
    Leave_Game(game, c);
    if (c.life == Life::Open) {   // one cut off meanwhile is closed without its refusal
        c.life = Life::Closing;
        c.closing_ms = game.now_ms;
    }
    Mark_Urgent(game, c);
}

void Settle(Game& game) {
    // Indexed: closing one tells the others, which may cut off more of them.
    for (size_t i = 0; i < game.not_reading.size(); ++i) {
        Connection& c = *game.not_reading[i];
        if (c.life != Life::Cut_Off) continue;
        ++game.counts.cut_off[CUT_NOT_READING];
        Close_Now(game, c, "does not read: more than " + Number(int64_t(game.options.max_output)) + " bytes queued");
    }
    game.not_reading.clear();
}

void Close_Now(Game& game, Connection& c, const std::string& why) {
    if (c.life == Life::Gone) return;
    Log(game, &c, why);
    Leave_Game(game, c);
    c.life = Life::Gone;
    c.out.clear();
    Mark_Urgent(game, c);
}

void Close_Connection(Game& game, Connection& c, const std::string& why) {
    Close_Now(game, c, why);
    Settle(game);
}

void Forget_Connection(Game& game, uint64_t serial) {
    auto hit = game.connections.find(serial);
    if (hit == game.connections.end()) return;
    Close_Connection(game, *hit->second, "");
    game.connections.erase(hit);
}

void Commit_Positions(Game& game) {
    if (game.unsaved.empty() || !game.accounts) {
        game.unsaved.clear();
        return;
    }
    std::vector<Position_Save> cells;
    cells.reserve(game.unsaved.size());
    for (const auto& [account, cell] : game.unsaved) cells.push_back(cell);
    const auto started = std::chrono::steady_clock::now();
    const bool saved = Save_Positions(*game.accounts, cells);
    Record_Since(game.counts.commit_seconds, started);
    if (saved)
        game.unsaved.clear();
    else
        Log(game, nullptr, "could not save " + Number(int64_t(cells.size())) + " positions; trying again");
}
