// main.cpp -- isobot: protocol bots that log in to a server on this machine, walk to random free
// cells and chat for a bounded time, then report message rates, "/move" round trips and anything
// a well-behaved bot should never see (an error, a lost echo, a disconnect). With --chaos, bots
// beside them send what a broken or hostile client would, and reconnect at once.
#include <asio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "tools/isobot/bot.h"
#include "tools/isobot/chaos_bot.h"
#include "tools/isobot/figures.h"
#include "tools/isobot/link.h"
#include "tools/isobot/options.h"

namespace {

// Loopback only: the bots are a load tool for one's own server, never for anyone else's.
std::optional<asio::ip::address> Loopback_Address(const std::string& host) {
    asio::error_code ec;
    const asio::ip::address address =
        host == "localhost" ? asio::ip::make_address("127.0.0.1") : asio::ip::make_address(host, ec);
    if (ec || !address.is_loopback()) {
        std::fprintf(stderr, "isobot: refusing '%s': only a loopback address (127.0.0.1, ::1, localhost)\n",
                     host.c_str());
        return std::nullopt;
    }
    return address;
}

// A thread's share of the bots, on an event loop of its own.
struct Lane {
    asio::io_context io;
    Totals totals;
    Search_Space search;
    std::vector<std::shared_ptr<Bot>> bots;
    std::vector<std::shared_ptr<Chaos_Bot>> chaos;
};

// Deals the bots out to the lanes, starts them, and runs every lane for the run's length on a
// thread of its own; gives the seconds the run took.
double Run_Lanes(const Options& options, const World& world, const asio::ip::tcp::endpoint& server,
                 std::vector<std::unique_ptr<Lane>>& lanes) {
    for (int t = 0; t < options.threads; ++t) lanes.push_back(std::make_unique<Lane>());
    for (int b = 0; b < options.bots; ++b) {
        Lane& lane = *lanes[size_t(b % options.threads)];
        lane.bots.push_back(std::make_shared<Bot>(lane.io, b + 1, options, world, lane.search, lane.totals));
        lane.bots.back()->Start(server);
    }
    for (int b = 0; b < options.chaos; ++b) {
        Lane& lane = *lanes[size_t(b % options.threads)];
        lane.chaos.push_back(Start_Chaos_Bot(lane.io, b + 1, options, server, lane.totals));
    }
    const auto start = Clock::now();
    const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    std::vector<std::thread> threads;
    for (auto& lane_ptr : lanes) {
        Lane* lane = lane_ptr.get();
        threads.emplace_back([lane, length, &options] {
            asio::steady_timer end(lane->io);
            end.expires_after(length);
            end.async_wait([lane, &options](const asio::error_code&) {
                // Echoes may be in flight at the end; only those overdue by far count as lost.
                const auto grace = std::chrono::milliseconds(std::max(2000, options.move_ms * 2));
                const auto now = Clock::now();
                for (auto& bot : lane->bots) bot->Stop(now, grace);
                for (auto& bot : lane->chaos) Stop_Chaos_Bot(*bot);
            });
            lane->io.run();
        });
    }
    for (std::thread& t : threads) t.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int Run(int argc, char** argv) {
    Options options;
    if (const std::optional<int> status = Read_Options(argc, argv, options)) return *status;
    const std::optional<asio::ip::address> address = Loopback_Address(options.host);
    if (!address) return 2;
    const std::optional<World> world = Load_World(options.map_file);
    if (!world) return 1;

    const uint64_t files = Prepare_Server_Process();
    if (files != 0 && files < uint64_t(options.bots + options.chaos) + 16)
        std::fprintf(stderr, "isobot: warning: %llu descriptors allowed for %d bots\n", (unsigned long long)files,
                     options.bots + options.chaos);
    const std::unique_ptr<asio::ssl::context> tls = Make_Bot_Tls();
    options.tls = tls.get();

    Server_Watch watch(options);
    std::vector<std::unique_ptr<Lane>> lanes;
    const double elapsed = Run_Lanes(options, *world, asio::ip::tcp::endpoint(*address, options.port), lanes);
    const Server_Samples server = watch.Finish();
    Totals totals;
    for (const auto& lane : lanes) Add_Totals(totals, lane->totals);
    return Report(options, totals, elapsed, server);
}

}   // namespace

int main(int argc, char** argv) {
    // Anything unforeseen ends the program with its reason, not with an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", "isobot", e.what());
        return 1;
    }
}
