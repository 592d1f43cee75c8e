// ops_process_test.cpp -- the side port read by the real tools (promtool, a Prometheus that
// scrapes it, headless Chromium on the status page), and a backup taken while 200 bots move.
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <set>

#include "server_process.h"

namespace {

// The program's path, or "" when it is not installed (scripts/deps.sh --dev installs it).
std::string Tool(const std::string& name) {
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
        if (access((folder + name).c_str(), X_OK) == 0) return folder + name;
    return "";
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint16_t Free_Port() {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

uint16_t Side_Port_Of(const Child& server) {
    uint16_t port = 0;
    Eventually(20, [&] {
        const std::string text = server.Output();
        const size_t at = text.find("status page on http://127.0.0.1:");
        port = at != std::string::npos ? uint16_t(std::atoi(text.c_str() + at + 32)) : 0;
        return port != 0;
    });
    return port;
}

std::vector<std::string> Account_Names(const std::string& db) {
    std::vector<std::string> names;
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(raw, 2000);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(raw, "SELECT name FROM accounts;", -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW)
                names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    sqlite3_close(raw);
    return names;
}

// A figure that changes when any player's saved cell does.
int64_t Cell_Sum(const std::string& db) {
    int64_t sum = 0;
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(raw, 2000);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(raw, "SELECT total(cell_x * 1000 + cell_y * 7) FROM accounts;", -1, &s, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            sum = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(raw);
    return sum;
}

TEST(Side_Port_Process, Promtool_Prometheus_And_Chromium_Read_It) {
    const std::string promtool = Tool("promtool"), prometheus = Tool("prometheus"), chromium = Tool("chromium");
    ASSERT_FALSE(promtool.empty() || prometheus.empty() || chromium.empty())
        << "promtool, prometheus and chromium are needed: scripts/deps.sh --dev";
    Temp_Folder temp;
    Child server(Server_Args(temp.path / "game.db",
                             {"--plain", "--register", "open", "--http", "127.0.0.1:0", "--name", "測試站"}),
                 temp.path, "server");
    const uint16_t port = Listening_Port(server), side = Side_Port_Of(server);
    ASSERT_NE(side, 0) << server.Output() << Read_Whole_File(server.err).value_or("");
    std::vector<std::unique_ptr<Wire_Player>> players;
    for (int i = 0; i < 3; ++i) {
        players.push_back(std::make_unique<Wire_Player>());
        ASSERT_TRUE(players.back()->Join(port, "ops" + std::to_string(i)))
            << i << Read_Whole_File(server.err).value_or("");
    }

    // promtool on /metrics, once the snapshot (published every second) has the three.
    httplib::Client http("127.0.0.1", side);
    std::string metrics;
    EXPECT_TRUE(Eventually(10, [&] {
        const auto got = http.Get("/metrics");
        metrics = got && got->status == 200 ? got->body : "";
        return metrics.find("\nisoserver_players_online 3\n") != std::string::npos;
    })) << metrics;
    ASSERT_TRUE(Write_Whole_File(temp / "metrics.txt", metrics));
    EXPECT_EQ(
        Shell(promtool + " check metrics < '" + (temp / "metrics.txt") + "' > '" + (temp / "promtool.out") + "' 2>&1"),
        0)
        << Read_Whole_File(temp / "promtool.out").value_or("");

    // A real Prometheus scraping every second, asked through its query API.
    const uint16_t web = Free_Port();
    ASSERT_TRUE(Write_Whole_File(temp / "prometheus.yml",
                                 "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: isoserver\n"
                                 "    static_configs:\n      - targets: ['127.0.0.1:" +
                                     std::to_string(side) + "']\n"));
    Child scraper({prometheus, "--config.file=" + (temp / "prometheus.yml"), "--storage.tsdb.path=" + (temp / "tsdb"),
                   "--web.listen-address=127.0.0.1:" + std::to_string(web)},
                  temp.path, "prometheus");
    httplib::Client api("127.0.0.1", web);
    std::string answer;
    EXPECT_TRUE(Eventually(60,
                           [&] {
                               const auto got = api.Get("/api/v1/query?query=isoserver_players_online");
                               answer = got && got->status == 200 ? got->body : "";
                               const nlohmann::json reply = nlohmann::json::parse(answer, nullptr, false);
                               if (reply.is_discarded() || !reply.contains("data") || reply["data"]["result"].empty())
                                   return false;
                               return reply["data"]["result"][0]["value"][1] == "3";
                           }))
        << answer << Read_Whole_File(scraper.err).value_or("");

    // The page after its script ran: the names, and a dot per player on the minimap.
    const std::string flags =
        " --headless --no-sandbox --disable-gpu --disable-background-networking "
        "--disable-component-update --disable-sync --no-first-run --virtual-time-budget=5000";
    const std::string url = " http://127.0.0.1:" + std::to_string(side) + "/";
    const std::string dom = temp / "dom.html";
    ASSERT_EQ(Shell("timeout 120 " + chromium + flags + " --user-data-dir='" + (temp / "chromium") + "' --dump-dom" +
                    url + " > '" + dom + "' 2> '" + (temp / "chromium.err") + "'"),
              0)
        << Read_Whole_File(temp / "chromium.err").value_or("");
    const std::string page = Read_Whole_File(dom).value_or("");
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(page.find("<li class=\"player\">ops" + std::to_string(i) + "（"), std::string::npos) << page;
    EXPECT_NE(page.find("data-dots=\"3\""), std::string::npos) << page;
    EXPECT_NE(page.find("<h1 id=\"name\">測試站</h1>"), std::string::npos);
    // A picture to look at, beside the build's programs.
    const std::string picture = (fs::path(ISO_OUT_DIR).parent_path() / "status_page.png").string();
    EXPECT_EQ(Shell("timeout 120 " + chromium + flags + " --user-data-dir='" + (temp / "chromium") +
                    "' --window-size=1000,640 --screenshot='" + picture + "'" + url + " > /dev/null 2>&1"),
              0);
    std::printf("status page picture: %s\n", picture.c_str());
}

TEST(Side_Port_Process, A_Backup_Under_Load_Is_Whole_And_Holds_Every_Earlier_Account) {
    Temp_Folder temp;
    const std::string db = temp / "load.db";
    Child server(Server_Args(db, {"--register", "open", "--connects-per-minute", "0", "--max-checks", "4000",
                                  "--log-per-second", "5"}),
                 temp.path, "server");
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0);
    Child bots({ISO_OUT_DIR "/isobot", "--port", std::to_string(port), "--bots", "200", "--seconds", "60", "--map",
                ISO_OUT_DIR "/data/testmap.map"},
               temp.path, "bots");
    std::vector<std::string> before;
    ASSERT_TRUE(Eventually(60,
                           [&] {
                               before = Account_Names(db);
                               return before.size() >= 200;
                           }))
        << before.size() << " accounts";
    // Moving: their cells in the database change between two looks.
    const int64_t cells = Cell_Sum(db);
    ASSERT_TRUE(Eventually(30, [&] { return Cell_Sum(db) != cells; }));
    for (int round = 0; round < 3; ++round) {
        const std::string copy = temp / ("copy" + std::to_string(round) + ".db");
        Child backup({ISO_OUT_DIR "/isoserver", "--db", db, "backup", copy}, temp.path, "backup");
        const int status = backup.Wait();
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Read_Whole_File(backup.err).value_or("");
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open_v2(copy.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(raw, "PRAGMA integrity_check;", -1, &check, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok") << round;
        sqlite3_finalize(check);
        sqlite3_close(raw);
        const std::vector<std::string> names = Account_Names(copy);
        const std::set<std::string> copied(names.begin(), names.end());
        for (const std::string& name : before) EXPECT_EQ(copied.count(name), 1u) << name;
    }
    EXPECT_EQ(waitpid(bots.pid, nullptr, WNOHANG), 0) << "the bots had stopped before the backups ended";
}

}   // namespace
