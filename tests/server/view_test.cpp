// view_test.cpp -- what each client hears of the others when moves reach only those near
// enough: every client's table, replayed from what it received as the game client applies it,
// must show every player in its view on its true cell, and "/delpl" must hit the right entry.
#include <map>
#include <random>

#include "server_seam.h"

namespace {

// A client's table of other players, as the game client keeps it.
struct Table_Model {
    struct Entry {
        int16_t id;
        int16_t x, y;
    };
    int16_t own_id = 0, own_x = 0, own_y = 0;
    int16_t from_x = 0, from_y = 0;   // while its walk has not ended: where it started
    bool walking = false;
    std::vector<Entry> entries;
    size_t applied = 0;
    std::string fault;

    Entry* Find(int16_t id) {
        for (Entry& e : entries)
            if (e.id == id) return &e;
        return nullptr;
    }
    // A walk ends on its target whether the client walks or places the player: the cell a
    // "/move" gives is where the player will stand.
    void Apply(const Peer& p) {
        for (; applied < p.messages.size(); ++applied) {
            std::u16string command, data;
            Split_Message(p.messages[applied], command, data);
            int16_t f[3] = {0, 0, 0};
            const bool ok = Number_Fields(data, f, command == CMD_SETPLXY || command == CMD_MOVE ? 3 : 1);
            if (!ok) continue;
            if (command == CMD_SETPL && f[0] != own_id) {
                entries.push_back({f[0], 0, 0});
            } else if (command == CMD_DELPL) {
                if (f[0] < 0 || size_t(f[0]) >= entries.size())
                    fault = "/delpl outside the table";
                else
                    entries.erase(entries.begin() + f[0]);
            } else if (command == CMD_SETPLXY || command == CMD_MOVE) {
                if (f[0] == own_id) {
                    own_x = f[1];
                    own_y = f[2];
                } else if (Entry* e = Find(f[0])) {
                    e->x = f[1];
                    e->y = f[2];
                } else {
                    fault = "a cell for a player not in the table";
                }
            }
        }
    }
};

class View : public Server_Seam {
protected:
    // Joins, moves and leaves at random, at least `least` and at most `most` players at once;
    // every `check_every` steps and at the end every client's table must agree with the game
    // wherever its view box reaches. Gives the messages all clients received.
    size_t Play(int32_t radius, int steps, size_t least = 4, size_t most = 40, int check_every = 1) {
        options.register_open = true;
        options.view_radius = radius;
        options.messages_per_second = 0;
        options.connects_per_minute = 0;
        Start();
        std::mt19937 random(11);
        std::vector<Peer*> in_game;
        std::map<Peer*, Table_Model> tables;
        int joined = 0;
        for (int step = 0; step < steps; ++step) {
            const int roll = int(random() % 100);
            if (in_game.size() < least || (roll < 6 && in_game.size() < most)) {
                std::u16string name = u"p";
                name += Num(++joined);
                Peer& p = Join(name);
                in_game.push_back(&p);
                tables[&p].own_id = p.id;
            } else if (roll < 10) {
                Peer* p = in_game[random() % in_game.size()];
                Forget_Connection(game, p->serial);
                Pump();
                in_game.erase(std::find(in_game.begin(), in_game.end(), p));
                tables.erase(p);
            } else {
                Peer* p = in_game[random() % in_game.size()];
                // Walks of every length the view box allows, each once the last has ended.
                const Table_Model& t = tables[p];
                const int reach = random() % 4 != 0 ? 15 : 19;
                const int16_t tx = int16_t(
                    std::clamp<int>(t.own_x + int(random() % unsigned(2 * reach + 1)) - reach, 0, map.Map_Width - 1));
                const int16_t ty = int16_t(
                    std::clamp<int>(t.own_y + int(random() % unsigned(2 * reach + 1)) - reach, 0, map.Map_Height - 1));
                now += 13000;
                const int16_t fx = t.own_x, fy = t.own_y;
                const size_t echoes = p->Count(u"/move " + Num(p->id) + u"\\");
                Send_Text(*p,
                          std::u16string(u"/move ").append(Join_Numbers({t.own_x, t.own_y, tx, ty})).append(u"/e/"));
                if (p->Count(u"/move " + Num(p->id) + u"\\") > echoes)   // taken: it walks
                    tables[p].from_x = fx, tables[p].from_y = fy, tables[p].walking = true;
                if (random() % 5 != 0) {
                    Send_Text(*p, std::u16string(u"/got ").append(Join_Numbers({tx, ty})).append(u"/e/"));
                    tables[p].walking = false;
                }
            }
            if (step % check_every == 0 || step == steps - 1)
                for (Peer* p : in_game) Check(*p, tables[p], step);
            if (HasFailure()) return 0;
        }
        size_t received = 0;
        for (auto& p : peers) received += p->messages.size();
        return received;
    }

    void Check(const Peer& p, Table_Model& t, int step) {
        t.Apply(p);
        ASSERT_EQ(t.fault, "") << "step " << step;
        // The table is everyone else in order of arrival.
        std::vector<int16_t> expected, seen;
        for (const Connection* c : game.players)
            if (c->id != p.id) expected.push_back(c->id);
        for (const Table_Model::Entry& e : t.entries) seen.push_back(e.id);
        ASSERT_EQ(seen, expected) << "step " << step << ", player " << p.id;
        // The client's view box: 19 cells each way from its own cell, and while it walks, from
        // wherever it is on the way, which includes its start.
        auto near = [](int x, int y, int cx, int cy) { return std::abs(x - cx) <= 19 && std::abs(y - cy) <= 19; };
        auto in_view = [&](int x, int y) {
            return near(x, y, t.own_x, t.own_y) || (t.walking && near(x, y, t.from_x, t.from_y));
        };
        for (const Table_Model::Entry& e : t.entries) {
            const Connection& m = *game.by_id.at(e.id);
            if (in_view(m.cell_x, m.cell_y) || in_view(e.x, e.y)) {
                ASSERT_EQ(std::pair(e.x, e.y), std::pair(m.cell_x, m.cell_y))
                    << "step " << step << ": player " << p.id << " at (" << t.own_x << ", " << t.own_y
                    << ") shows player " << e.id << " on a wrong cell";
            }
        }
    }
};

TEST_F(View, Every_Player_In_View_Is_On_Its_True_Cell_With_Fewer_Messages) {
    const size_t everyone = Play(0, 1500);
    ASSERT_FALSE(HasFailure());
    peers.clear();
    Close_Accounts(store);
    const size_t nearby = Play(20, 1500);
    ASSERT_FALSE(HasFailure());
    EXPECT_LT(nearby * 2, everyone) << "hearing only the players nearby should save most of the traffic";
}

// A few hundred players on the default world repeated 3 x 3, walking across the buckets the
// server keeps them in, and forgetting what they were told far away after only a few cells: what
// is kept of each client, and the room it takes, grows with the players near it.
TEST_F(View, On_A_Large_World_Every_Player_In_View_Is_On_Its_True_Cell) {
    map = Repeat_Map(map, 360, 360);
    options.beliefs_kept = 8;
    Play(20, 4000, 250, 320, 50);
    ASSERT_FALSE(HasFailure());
    size_t kept = 0, bytes = 0;
    for (const Belief_Map& b : game.beliefs) kept += b.count, bytes += Belief_Bytes(b);
    EXPECT_LT(kept, game.players.size() * 40) << "what each client was told far away is forgotten";
    EXPECT_LT(bytes, game.players.size() * 40 * 4 * sizeof(uint64_t)) << "in room that grows with what is kept";
}

// A crowd on the default world: each client knows a good share of everyone, which the server
// keeps as a cell per slot and checks by looking at every slot rather than the grid.
TEST_F(View, In_A_Crowd_Every_Player_In_View_Is_On_Its_True_Cell) {
    Play(20, 900, 160, 220, 150);
    ASSERT_FALSE(HasFailure());
    size_t by_slot = 0;
    for (const Belief_Map& b : game.beliefs) by_slot += !b.cells.empty();
    EXPECT_GT(by_slot, game.players.size() / 2) << "the crowd is kept by slot";
}

// What a client was told, kept either way and moved between the two as it grows and is pruned,
// against a plain map of the same operations.
TEST(Belief_Map, Keeps_What_It_Was_Told_Across_Both_Forms) {
    Belief_Map map;
    std::map<int32_t, uint32_t> truth;
    std::mt19937 random(5);
    bool were_cells = false, back_to_table = false;
    for (int step = 0; step < 40000; ++step) {
        // First a growing crowd of slots, then most of them forgotten.
        const int32_t slot = int32_t(random() % 600);
        const bool forgetting = step > 20000 && random() % 64 != 0;
        const uint32_t cell = forgetting || random() % 10 == 0 ? ORIGIN_CELL : Pack_Cell(int32_t(random() % 300), 7);
        Set_Belief(map, slot, cell);
        if (cell == ORIGIN_CELL)
            truth.erase(slot);
        else
            truth[slot] = cell;
        if (step % 500 == 0) Compact_Beliefs(map);
        were_cells |= !map.cells.empty();
        back_to_table |= were_cells && map.cells.empty();
        ASSERT_EQ(map.count, truth.size()) << "step " << step;
        ASSERT_EQ(Belief_Of(map, slot), cell) << "step " << step;
    }
    std::map<int32_t, uint32_t> listed;
    For_Each_Belief(map, [&](int32_t slot, uint32_t cell) { listed[slot] = cell; });
    EXPECT_EQ(listed, truth);
    EXPECT_TRUE(were_cells && back_to_table) << "both forms were used";
}

// Chat within a radius: the speaker and those near it hear it, farther players do not; the
// console's announcements reach everyone.
TEST_F(View, Chat_Reaches_The_Players_Within_Its_Radius_And_Announcements_Everyone) {
    options.chat_radius = 10;
    options.register_open = true;
    Start();
    const std::pair<int16_t, int16_t> cells[] = {{40, 40}, {50, 30}, {51, 40}, {40, 60}};
    std::vector<Peer*> players;
    for (size_t i = 0; i < 4; ++i) {
        std::u16string name = u"c";
        Peer& p = Join(name.append(Num(int(i))));
        Connection& c = Server_Side(p);
        // Placed by hand: where they stand is what counts.
        c.cell_x = cells[i].first, c.cell_y = cells[i].second;
        game.views[size_t(c.slot)].cell_x = c.cell_x, game.views[size_t(c.slot)].cell_y = c.cell_y;
        Grid_Place(game.grid, c.slot, c.cell_x, c.cell_y);
        players.push_back(&p);
    }
    Send(*players[0], "/say hi/e/");
    const std::u16string line = u"/say " + Num(players[0]->id) + u"\\hi";
    const bool heard[] = {true, true, false, false};   // itself, 10 cells away; 11 and 20 away
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(players[i]->Last(u"/say ") == line, heard[i]) << "player " << i;
    std::string reply;
    Operator_Command(game, "say 大家好", reply);
    Pump();
    for (Peer* p : players) EXPECT_EQ(p->Last(u"/say "), u"/say 0\\大家好");
}

// What the server keeps of what each client was told, for 3000 players spread over the large
// world who have each walked a few times: a few dozen cells each, far from one per pair.
TEST_F(View, What_Is_Kept_Of_Each_Client_Grows_With_The_Players_Near_It) {
    map = Repeat_Map(map, 360, 360);
    options.register_open = true;
    options.view_radius = 20;
    options.messages_per_second = 0;
    options.connects_per_minute = 0;
    options.max_output = size_t(1) << 30;
    Start();
    std::vector<Connection*> players;
    auto drain = [&] {
        for (const uint64_t serial : Take_Writes(game, true))
            if (Connection* c = Find_Connection(game, serial)) c->out.clear();
    };
    for (int i = 0; i < 3000; ++i) {
        Connection* c = Open_Connection(game, "10.0.0.1", "10.0.0.1:1", now);
        Receive(game, *c, "/ver 0.1 beta/e//id p" + std::to_string(i) + "/e//pass pw/e/", now);
        Run_Checks_Now(game);
        Receive(game, *c, "/ready /e/", now);
        drain();
        players.push_back(c);
    }
    std::mt19937 random(3);
    for (int round = 0; round < 5; ++round) {
        now += 20000;
        for (Connection* c : players) {
            const auto [x, y] = game.free_cells[random() % game.free_cells.size()];
            if (std::abs(x - c->cell_x) > VIEW_HALF || std::abs(y - c->cell_y) > VIEW_HALF) continue;
            Receive(game, *c,
                    "/move " + std::to_string(c->cell_x) + "\\" + std::to_string(c->cell_y) + "\\" + std::to_string(x) +
                        "\\" + std::to_string(y) + "/e/",
                    now);
            drain();
        }
    }
    size_t kept = 0, bytes = 0;
    for (const Belief_Map& b : game.beliefs) kept += b.count, bytes += Belief_Bytes(b);
    RecordProperty("cells_kept", std::to_string(kept));
    EXPECT_LT(kept, players.size() * 64) << "a pair for every two players would be " << players.size() * players.size();
    EXPECT_LT(bytes, size_t(8) << 20);
}

}   // namespace
