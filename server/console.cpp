// console.cpp -- the operator's commands: the players in the game, kicks, bans and announcements.
#include "game_parts.h"
#include "platform/encoding.h"
#include "platform/error_codes.h"
#include "text.h"

namespace {

Connection* Find_Player_By(Game& game, const std::string& who) {
    const std::optional<int16_t> id = Field_Number(From_Utf8(who));
    if (id) {
        auto hit = game.by_id.find(*id);
        if (hit != game.by_id.end()) return hit->second;
    }
    for (auto& [n, c] : game.by_id)
        if (c->name_utf8 == who) return c;
    return nullptr;
}

}   // namespace

bool Operator_Command(Game& game, const std::string& line, std::string& reply) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    const size_t space = text.find(' ');
    const std::string word = text.substr(0, space);
    std::string arg = space == std::string::npos ? "" : text.substr(space + 1);
    reply.clear();
    if (word.empty()) return true;
    if (word == "quit") return false;
    if (word == "help") {
        reply = "commands: list, kick ID|NAME, ban NAME REASON, unban NAME, say TEXT, quit\n";
    } else if (word == "list") {
        reply = Number(int64_t(game.connections.size())) + " connections, " + Number(int64_t(game.players.size())) +
                " players in the game\n";
        for (const Connection* p : game.players)
            reply +=
                "  " + Number(p->id) + " " + Quote_Text(p->name) + " at " + Cell_Text(*p) + " from " + p->peer + "\n";
    } else if (word == "kick") {
        Connection* target = Find_Player_By(game, arg);
        if (!target) {
            reply = "kick: no player " + Quote_Text(From_Utf8(arg)) + "\n";
        } else {
            ++game.counts.cut_off[CUT_KICKED];
            reply = "kicked " + Number(target->id) + " " + Quote_Text(target->name) + "\n";
            Queue(game, *target, Frame_Bytes(CMD_ERR, Number(ERROR_KICKED) + FIELD_SEPARATOR_BYTE));
            Refuse(game, *target, u"", "kicked by the operator");
        }
    } else if (word == "ban" || word == "unban") {
        const size_t gap = arg.find(' ');
        const std::string name = arg.substr(0, gap);
        const std::string reason = word == "ban" && gap != std::string::npos ? arg.substr(gap + 1) : "";
        if (name.empty() || !game.accounts) {
            reply = word + ": NAME" + (word == "ban" ? " REASON" : "") + "\n";
        } else if (!Set_Ban(*game.accounts, name, word == "ban", reason)) {
            reply = word + ": no account " + Quote_Text(From_Utf8(name)) + "\n";
        } else {
            reply = (word == "ban" ? "banned " : "unbanned ") + Quote_Text(From_Utf8(name)) + "\n";
            if (word == "ban")
                for (auto& [id, c] : game.by_id)
                    if (c->name_utf8 == name) {
                        Refuse(game, *c, Ban_Text(reason), "banned by the operator");   // leaves by_id
                        break;
                    }
        }
    } else if (word == "say") {
        // An announcement: identifier 0 is nobody's, so every client shows it as the last chat line.
        game.frame =
            Frame_Bytes(CMD_SAY, "0" + std::string(1, FIELD_SEPARATOR_BYTE) + To_Cp950(Escape_Text(From_Utf8(arg))));
        for (Connection* o : game.players) Queue(game, *o, game.frame);
        reply = "said to " + Number(int64_t(game.players.size())) + " players\n";
    } else {
        reply = "unknown command " + Quote_Text(From_Utf8(word)) + " (try help)\n";
    }
    Settle(game);
    return true;
}
