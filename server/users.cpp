// users.cpp -- account commands: add, passwd, del, list, ban, unban.
#include "users.h"

#include <sodium.h>

#include <cstdio>
#include <ctime>
#include <iostream>

#include "accounts.h"
#include "platform/console.h"
#include "platform/encoding.h"
#include "text.h"

namespace {

// One line from standard input; on a terminal with the echo off. False at the end of input.
bool Read_Secret(const char* prompt, std::string& out) {
    const bool terminal = Input_Is_Terminal();
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        std::fflush(stderr);
        Set_Input_Echo(false);
    }
    const bool got = static_cast<bool>(std::getline(std::cin, out));
    if (terminal) {
        Set_Input_Echo(true);
        std::fprintf(stderr, "\n");
    }
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return got;
}

// The new password, asked twice on a terminal; "" when none was given.
std::string New_Password(size_t max_bytes) {
    std::string first, second;
    if (!Read_Secret("password: ", first)) return "";
    if (Input_Is_Terminal() && (!Read_Secret("again: ", second) || second != first)) {
        std::fprintf(stderr, "isoserver: the two passwords differ\n");
        sodium_memzero(first.data(), first.size());
        return "";
    }
    sodium_memzero(second.data(), second.size());
    if (first.size() > max_bytes) {
        std::fprintf(stderr, "isoserver: a password has at most %zu bytes\n", max_bytes);
        return "";
    }
    if (From_Cp950(To_Cp950(From_Utf8(first))) != From_Utf8(first))
        std::fprintf(stderr, "isoserver: warning: the game's client can type only code page 950 characters\n");
    return first;
}

std::string Date(int64_t seconds) {
    if (seconds == 0) return "never";
    const std::time_t t = std::time_t(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
    return text;
}

}   // namespace

int Run_User_Command(const Server_Config& config, const std::vector<std::string>& args) {
    const std::string verb = args.size() >= 2 ? args[1] : "";
    const std::string name = args.size() >= 3 ? args[2] : "";
    const bool wants_name = verb != "list";
    if (args.empty() || args[0] != "user" || verb.empty() || (wants_name && name.empty()) ||
        (verb == "ban" && args.size() < 4)) {
        std::fprintf(stderr,
                     "isoserver: usage: isoserver [--db FILE] user add|passwd|del|ban|unban NAME [REASON] "
                     "| user list (see --help)\n");
        return 2;
    }
    if (!Start_Password_Hashing()) {
        std::fprintf(stderr, "isoserver: libsodium cannot start\n");
        return 1;
    }
    Account_Store store;
    std::string error;
    const std::string path = Database_Path(config);
    if (!Open_Accounts(store, path, error)) {
        std::fprintf(stderr, "isoserver: cannot open the database '%s': %s\n", path.c_str(), error.c_str());
        return 1;
    }
    int status = 0;
    const std::string quoted = Quote_Text(From_Utf8(name));
    if (verb == "add" || verb == "passwd") {
        const std::string problem = Name_Problem(From_Utf8(name), config.game.max_name_chars);
        if (verb == "add" && !problem.empty()) {
            std::fprintf(stderr, "isoserver: the name %s has %s\n", quoted.c_str(), problem.c_str());
            status = 2;
        } else if (verb == "passwd" && !Find_Account(store, name)) {
            std::fprintf(stderr, "isoserver: no account %s\n", quoted.c_str());
            status = 1;
        } else {
            std::string password = New_Password(config.game.max_password_bytes);
            if (password.empty()) {
                std::fprintf(stderr, "isoserver: no password given\n");
                status = 2;
            } else {
                const std::string hash = Hash_Password(password, config.game.hash);
                sodium_memzero(password.data(), password.size());
                const bool done =
                    !hash.empty() && (verb == "add" ? Create_Account(store, name, hash, std::time(nullptr), error)
                                                    : Set_Password(store, name, hash));
                if (done) {
                    std::printf("%s %s\n", verb == "add" ? "added" : "new password for", quoted.c_str());
                } else {
                    std::fprintf(stderr, "isoserver: %s %s: %s\n", verb.c_str(), quoted.c_str(),
                                 error.empty() ? "failed" : error.c_str());
                    status = 1;
                }
            }
        }
    } else if (verb == "del" || verb == "ban" || verb == "unban") {
        std::string reason;
        for (size_t i = 3; i < args.size(); ++i) {
            if (i > 3) reason += ' ';
            reason += args[i];
        }
        const bool done = verb == "del" ? Delete_Account(store, name) : Set_Ban(store, name, verb == "ban", reason);
        if (done) {
            std::printf("%s %s\n", verb == "del" ? "deleted" : verb == "ban" ? "banned" : "unbanned", quoted.c_str());
        } else {
            std::fprintf(stderr, "isoserver: no account %s\n", quoted.c_str());
            status = 1;
        }
    } else if (verb == "list") {
        const std::vector<Account> all = List_Accounts(store);
        std::printf("%zu accounts in %s\n", all.size(), path.c_str());
        for (const Account& a : all) {
            std::string cell = "-";
            if (a.has_cell)
                cell.assign("(")
                    .append(std::to_string(a.cell_x))
                    .append(", ")
                    .append(std::to_string(a.cell_y))
                    .append(")");
            std::printf("  %s  made %s, last login %s, cell %s%s%s\n", Quote_Text(From_Utf8(a.name)).c_str(),
                        Date(a.created).c_str(), Date(a.last_login).c_str(), cell.c_str(), a.banned ? ", banned: " : "",
                        a.banned ? Quote_Text(From_Utf8(a.ban_reason)).c_str() : "");
        }
    } else {
        std::fprintf(stderr, "isoserver: unknown user command '%s' (see --help)\n", verb.c_str());
        status = 2;
    }
    Close_Accounts(store);
    return status;
}
