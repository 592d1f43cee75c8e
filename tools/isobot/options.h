// options.h -- isobot's command line: what to load, for how long, and how the bots behave.
#pragma once
#include <asio/ssl.hpp>

#include <cstdint>
#include <optional>
#include <string>

struct Options {
    std::string host = "127.0.0.1";
    uint16_t port = 7000;
    int bots = 10;
    int chaos = 0;
    int threads = 1;
    double seconds = 10;
    std::string map_file = "data/testmap.map";
    int move_ms = 1000;   // mean time between two walks of one bot
    int say_ms = 5000;    // mean time between two chat lines of one bot
    std::string prefix = "bot";
    std::string password = "pw";
    bool far = false;          // walks to any free cell, not only to those in view
    double warmup = 0;         // seconds before round trips count (logins and first views settle)
    int watch = 0;             // the server's process id: its memory and descriptors are sampled
    double watch_after = 60;   // seconds: the first memory sample (at most a third of the run)
    bool plain = false;        // the bare protocol, for a server started with --plain
    asio::ssl::context* tls = nullptr;
};

// Reads the command line into `options`. An exit status when the program ends here: 0 after
// --help, 2 after a bad option (said on standard error); nothing when the bots are to run.
std::optional<int> Read_Options(int argc, char** argv, Options& options);
