// start_bench.cpp -- the client's start without a window (bench/startup/headless_start.cpp), each
// run a fresh process as a real start is: from its spawn until it has shown the game's first
// frame and ended. The counters give the part inside main (to the login screen, to the game).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

extern char** environ;

namespace {

void BM_Headless_Start(benchmark::State& state) {
    const std::string program = ISO_OUT_DIR "/isostart";
    double login_total = 0, game_total = 0;
    for (auto _ : state) {
        int out[2];
        if (pipe(out) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char text[64] = {};
        const ssize_t got = spawned == 0 ? read(out[0], text, sizeof text - 1) : -1;
        close(out[0]);
        int status = 0;
        if (spawned == 0) waitpid(pid, &status, 0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double login = 0, game = 0;
        if (spawned != 0 || got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            std::sscanf(text, "%lf %lf", &login, &game) != 2) {
            state.SkipWithError("isostart did not start the game (build it; it needs the generated world)");
            return;
        }
        state.SetIterationTime(seconds);
        login_total += login;
        game_total += game;
    }
    const double n = double(state.iterations());
    state.counters["main_to_login_ms"] = login_total / n;
    state.counters["main_to_game_ms"] = game_total / n;
}
BENCHMARK(BM_Headless_Start)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}   // namespace
