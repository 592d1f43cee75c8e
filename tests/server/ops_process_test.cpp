// ops_process_test.cpp -- the side port read by the real tools (promtool, a Prometheus that
// scrapes it, headless Chromium on the status page).
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "server_process.h"

namespace {

uint16_t Free_Port() {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

TEST(Side_Port_Process, Promtool_Prometheus_And_Chromium_Read_It) {
    Temp_Folder temp;
    // A program's path, or "" when it is not installed.
    const auto tool = [&](const std::string& name) { return Run_Shell("command -v " + name, temp.path).second; };
    const std::string promtool = tool("promtool"), prometheus = tool("prometheus"), chromium = tool("chromium");
    ASSERT_FALSE(promtool.empty() || prometheus.empty() || chromium.empty())
        << "promtool, prometheus and chromium are needed: scripts/deps.sh --dev";
    Child server(Server_Args(temp.path / "game.db",
                             {"--plain", "--register", "open", "--http", "127.0.0.1:0", "--name", "測試站"}),
                 temp.path, "server");
    const uint16_t port = Listening_Port(server), side = Listening_Port(server, "status page on http://127.0.0.1:");
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
    const auto [dumped, page] = Run_Shell(
        "timeout 120 " + chromium +
            " --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update "
            "--disable-sync --no-first-run --virtual-time-budget=5000 --user-data-dir='" +
            (temp / "chromium") + "' --dump-dom http://127.0.0.1:" + std::to_string(side) + "/ 2>/dev/null",
        temp.path);
    ASSERT_EQ(dumped, 0) << page;
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(page.find("<li class=\"player\">ops" + std::to_string(i) + "（"), std::string::npos) << page;
    EXPECT_NE(page.find("data-dots=\"3\""), std::string::npos) << page;
    EXPECT_NE(page.find("<h1 id=\"name\">測試站</h1>"), std::string::npos);
}

}   // namespace
