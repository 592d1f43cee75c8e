// child_process.h -- programs run by the tests as child processes (POSIX only): a child with its
// output in files and killed if still running at the end, a shell command's status and output,
// waiting on a condition with a deadline.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

extern char** environ;

// A child process with its standard output and error in files (or the caller's, when `folder`
// is empty).
struct Child {
    pid_t pid = 0;
    std::string out, err;
    Child(const std::vector<std::string>& args, const std::filesystem::path& folder, const std::string& name) {
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        if (!folder.empty()) {
            out = (folder / (name + ".out")).string();
            err = (folder / (name + ".err")).string();
            posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) pid = 0;
        posix_spawn_file_actions_destroy(&files);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    int Wait() {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = 0;
        return status;
    }
    std::string Output() const { return Read_Whole_File(out).value_or(""); }
};

// Polls `done` every `ms` until it holds; false after `seconds` of wall time.
inline bool Eventually(double seconds, const std::function<bool()>& done, int ms = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        poll(nullptr, 0, ms);
    }
    return true;
}

// Runs a shell command with both its output streams in `folder`/run.out: its exit status (-1
// when it did not exit) and that output without its last line break.
inline std::pair<int, std::string> Run_Shell(const std::string& command, const std::filesystem::path& folder) {
    const std::string out = (folder / "run.out").string();
    const int status = std::system(("(" + command + ") > '" + out + "' 2>&1").c_str());
    std::string text = Read_Whole_File(out).value_or("");
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}
