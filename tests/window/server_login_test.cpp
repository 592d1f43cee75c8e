// server_login_test.cpp -- the real client, in a real window under Xvfb, logs in to the real
// server with a password typed like a player, against a fresh database with one account.
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

pid_t Spawn_Shell(const std::string& command) {
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    return posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) == 0 ? pid : 0;
}

// Polls a file until it holds `text`; false after `seconds`.
bool File_Shows(const std::string& path, const std::string& text, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Read_Whole_File(path).value_or("").find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end) return false;
        poll(nullptr, 0, 100);
    }
    return true;
}

TEST(Window_Server, The_Client_Logs_In_With_A_Password) {
    for (std::string tool : {"xvfb-run", "xdotool"})
        if (std::system(("command -v " + tool + " >/dev/null").c_str()) != 0) GTEST_SKIP() << tool << " is missing";
    const fs::path temp = fs::temp_directory_path() / ("isoserver_login_" + std::to_string(getpid()));
    fs::create_directories(temp);
    const std::string db = (temp / "game.db").string(), log = (temp / "server.log").string(),
                      out = (temp / "server.out").string(), done = (temp / "done").string();
    const std::string server_bin = ISO_OUT_DIR "/isoserver";
    ASSERT_EQ(std::system(("printf 'secret\\n' | '" + server_bin + "' --db '" + db +
                           "' --hash-ops 1 --hash-memory 8 user add player1 >/dev/null")
                              .c_str()),
              0);
    const pid_t server =
        Spawn_Shell("exec '" + server_bin + "' --plain --port 0 --db '" + db +
                    "' --map '" ISO_OUT_DIR "/data/testmap.map' </dev/null >'" + out + "' 2>'" + log + "'");
    ASSERT_GT(server, 0);
    ASSERT_TRUE(File_Shows(out, "listening on", 20));
    const std::string listening = Read_Whole_File(out).value_or("");
    const int port = std::atoi(listening.c_str() + listening.find("127.0.0.1:") + 10);

    // Inside the X server: the client, then the keys a player types, then wait for the test's word.
    const std::string driver =
        "cd '" ISO_OUT_DIR "' && ./isoclient --windowed --plain --connect 127.0.0.1:" + std::to_string(port) +
        " & client=$!; "
        "xdotool search --sync --name isoclient windowfocus --sync >/dev/null 2>&1; sleep 1; "
        "xdotool mousemove 40 40 type --delay 40 player1; xdotool key Return; "
        "xdotool type --delay 40 secret; xdotool key Return; "
        "i=0; while [ ! -e '" +
        done +
        "' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done; "
        "kill -9 $client; wait $client";
    const std::string script = (temp / "driver.sh").string();
    std::ofstream(script) << driver << "\n";
    const pid_t x = Spawn_Shell("timeout 60 xvfb-run -a -s '-screen 0 1280x960x24' sh '" + script + "'");
    ASSERT_GT(x, 0);
    const bool in_game = File_Shows(log, "\"player1\"): in the game at", 45);
    std::system(("touch '" + done + "'").c_str());
    int status = 0;
    waitpid(x, &status, 0);
    kill(server, SIGTERM);
    waitpid(server, &status, 0);
    const std::string server_log = Read_Whole_File(log).value_or("");
    EXPECT_TRUE(in_game) << server_log;
    EXPECT_NE(server_log.find("\"player1\"): logged in as player"), std::string::npos) << server_log;
    EXPECT_EQ(server_log.find("secret"), std::string::npos);
    std::error_code ignored;
    fs::remove_all(temp, ignored);
}

}   // namespace
