// ops_process_test.cpp -- the side port read by the real tools (promtool, a Prometheus that
// scrapes it, headless Chromium on the status page).
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "server_process.h"

namespace {

// The program's path, or "" when it is not installed (scripts/deps.sh --dev installs it).
std::string Tool(const std::string& name) {
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
        if (access((folder + name).c_str(), X_OK) == 0) return folder + name;
    return "";
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
    const auto [checked, complaints] =
        Run_Shell(promtool + " check metrics < '" + (temp / "metrics.txt") + "'", temp.path);
    EXPECT_EQ(checked, 0) << complaints;

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
    const auto [dumped, page] = Run_Shell("timeout 120 " + chromium + flags + " --user-data-dir='" +
                                              (temp / "chromium") + "' --dump-dom" + url + " 2>/dev/null",
                                          temp.path);
    ASSERT_EQ(dumped, 0) << page;
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(page.find("<li class=\"player\">ops" + std::to_string(i) + "（"), std::string::npos) << page;
    EXPECT_NE(page.find("data-dots=\"3\""), std::string::npos) << page;
    EXPECT_NE(page.find("<h1 id=\"name\">測試站</h1>"), std::string::npos);
    // A picture to look at, beside the build's programs.
    const std::string picture = (fs::path(ISO_OUT_DIR).parent_path() / "status_page.png").string();
    EXPECT_EQ(Run_Shell("timeout 120 " + chromium + flags + " --user-data-dir='" + (temp / "chromium") +
                            "' --window-size=1000,640 --screenshot='" + picture + "'" + url,
                        temp.path)
                  .first,
              0);
    std::printf("status page picture: %s\n", picture.c_str());
}

}   // namespace
