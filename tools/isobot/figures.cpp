// figures.cpp -- the bots' totals, the server's memory and descriptors, and the report.
#include "tools/isobot/figures.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

int64_t Rss_Kb(int pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");   // its size reads as 0
    for (std::string line; std::getline(file, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6);
    return -1;
}

int64_t Descriptors(int pid) {
    std::error_code ec;
    int64_t n = 0;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
         it.increment(ec))
        ++n;
    return ec ? -1 : n;
}

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    const size_t k = std::min(values.size() - 1, size_t(p / 100.0 * double(values.size())));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

}   // namespace

void Add_Totals(Totals& sum, const Totals& more) {
    sum.received += more.received;
    sum.sent += more.sent;
    sum.errors += more.errors;
    sum.logged_in += more.logged_in;
    sum.refused += more.refused;
    sum.lost += more.lost;
    sum.missing += more.missing;
    sum.chaos_connects += more.chaos_connects;
    sum.chaos_closed += more.chaos_closed;
    sum.chaos_bytes += more.chaos_bytes;
    sum.round_trips_ms.insert(sum.round_trips_ms.end(), more.round_trips_ms.begin(), more.round_trips_ms.end());
    for (const std::string& p : more.first_problems) sum.Problem(p);
}

Server_Watch::Server_Watch(const Options& options) : options_(options) {
    if (!options_.watch) return;
    samples_.fd_before = Descriptors(options_.watch);
    thread_ = std::thread([this] {
        const double first = std::min(options_.watch_after, options_.seconds / 3);
        std::unique_lock<std::mutex> lock(mutex_);
        if (!wake_.wait_for(lock, std::chrono::duration<double>(first), [this] { return done_; })) {
            samples_.rss_first = Rss_Kb(options_.watch);
            samples_.fd_load = Descriptors(options_.watch);
        }
        wake_.wait_for(lock, std::chrono::duration<double>(options_.seconds - first - 0.2), [this] { return done_; });
        samples_.rss_end = Rss_Kb(options_.watch);
    });
}

Server_Watch::~Server_Watch() {
    if (thread_.joinable()) Finish();
}

Server_Samples Server_Watch::Finish() {
    if (!thread_.joinable()) return samples_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
    // The server closes the bots' connections as it notices them gone.
    for (int i = 0; i < 100; ++i) {
        samples_.fd_after = Descriptors(options_.watch);
        if (samples_.fd_after <= samples_.fd_before) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return samples_;
}

int Report(const Options& options, Totals& totals, double elapsed, const Server_Samples& server) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::vector<double>& rtt = totals.round_trips_ms;
    std::printf("isobot: %d bots, %.1f s, %llu logged in, %llu refused, %llu lost, %llu errors, %llu echoes missing\n",
                options.bots, elapsed, (unsigned long long)totals.logged_in, (unsigned long long)totals.refused,
                (unsigned long long)totals.lost, (unsigned long long)totals.errors, (unsigned long long)totals.missing);
    std::printf("  messages received %llu (%.0f/s), sent %llu (%.0f/s)\n", (unsigned long long)totals.received,
                double(totals.received) / elapsed, (unsigned long long)totals.sent, double(totals.sent) / elapsed);
    const double p50 = Percentile(rtt, 50), p99 = Percentile(rtt, 99);
    const double max = rtt.empty() ? 0 : *std::max_element(rtt.begin(), rtt.end());
    std::printf("  move round trip: %zu samples, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", rtt.size(), p50, p99, max);
    std::printf("  isobot CPU: %.1f s on %d threads\n", cpu, options.threads);
    if (options.chaos > 0)
        std::printf("  chaos: %d bots, %llu connections, %llu closed by the server, %llu bytes sent\n", options.chaos,
                    (unsigned long long)totals.chaos_connects, (unsigned long long)totals.chaos_closed,
                    (unsigned long long)totals.chaos_bytes);
    if (options.watch)
        std::printf(
            "  server: rss_first_kb=%lld rss_end_kb=%lld growth=%.1f%% fd_before=%lld fd_load=%lld "
            "fd_after=%lld\n",
            (long long)server.rss_first, (long long)server.rss_end,
            server.rss_first > 0 ? 100.0 * double(server.rss_end - server.rss_first) / double(server.rss_first) : 0.0,
            (long long)server.fd_before, (long long)server.fd_load, (long long)server.fd_after);
    for (const std::string& p : totals.first_problems) std::printf("  problem: %s\n", p.c_str());
    const bool clean =
        totals.logged_in == uint64_t(options.bots) && totals.lost == 0 && totals.errors == 0 && totals.missing == 0;
    return clean ? 0 : 1;
}
