// settings_test.cpp -- the settings file: what each line sets, damaged lines reported and skipped,
// and the server address form it shares with --connect.
#include "platform/settings.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
    std::string host;
    uint16_t port = 0;
    bool windowed = false;
    int32_t scale = 2;
    std::vector<std::string> problems;   // the start of each problem, in order
};

TEST(Settings_File, Lines_Set_Or_Are_Reported_And_Skipped) {
    const std::pair<std::string, Expected> cases[] = {
        {"", {"", 0, false, 2, {}}},
        {"server = 127.0.0.1:7000\n", {"127.0.0.1", 7000, false, 2, {}}},
        // A byte order mark, CR LF, spaces, comments, a section, keys in any case, the last line unended.
        {"\xEF\xBB\xBF; comment\r\n[isoclient]\r\n  Server=game.example.org:1\r\n# x\r\nFULLSCREEN = No\r\nscale=3",
         {"game.example.org", 1, true, 3, {}}},
        {"server = [::1]:65535\nfullscreen = yes\n", {"::1", 65535, false, 2, {}}},
        // A later line wins; an empty server is offline, said outright.
        {"server = a:1\nserver =\nfullscreen = off\nfullscreen = on\n", {"", 0, false, 2, {}}},
        // Damaged lines change nothing and are told by number; the good ones around them still count.
        // (Which addresses are damaged is the address test's.)
        {"server = a:1\nserver = b\nserver = c:0\n", {"a", 1, false, 2, {"line 2: server", "line 3: server"}}},
        {"scale = 0\nscale = 9\nscale = -1\nscale = 2.5\nscale = 99999999999\nscale = 8\n",
         {"", 0, false, 8, {"line 1: scale", "line 2: scale", "line 3: scale", "line 4: scale", "line 5: scale"}}},
        {"fullscreen = maybe\nwindow = big\njust words\n= 3\n",
         {"", 0, false, 2, {"line 1: fullscreen", "line 2: unknown key", "line 3: not 'key", "line 4: unknown key"}}},
        // Control characters never reach the terminal as they are.
        {"\x1b[2Jkey = v\n", {"", 0, false, 2, {"line 1: unknown key '?[2jkey'"}}},
    };
    for (const auto& [text, want] : cases) {
        Client_Settings settings;
        std::vector<std::string> problems;
        Parse_Settings(text, settings, problems);
        EXPECT_EQ(std::tuple(settings.server_host, settings.server_port, settings.windowed, settings.window_scale),
                  std::tuple(want.host, want.port, want.windowed, want.scale))
            << text;
        ASSERT_EQ(problems.size(), want.problems.size()) << text;
        for (size_t i = 0; i < problems.size(); ++i)
            EXPECT_TRUE(problems[i].starts_with(want.problems[i])) << problems[i];
    }
}

// The command line goes over what the file set, option by option, the last one winning.
TEST(Settings_File, The_Command_Line_Overrides_The_File) {
    const Client_Settings from_file{"file.example", 7000, true, 3, false, ""};
    using Args = std::vector<std::string>;
    const std::tuple<Args, Command_Line, Expected> cases[] = {
        {{"isoclient"}, Command_Line::Run, {"file.example", 7000, true, 3, {}}},
        {{"isoclient", "--fullscreen", "--scale", "1"}, Command_Line::Run, {"file.example", 7000, false, 1, {}}},
        {{"isoclient", "--offline"}, Command_Line::Run, {"", 0, true, 3, {}}},
        {{"isoclient", "--offline", "--connect", "[::1]:9", "--windowed"}, Command_Line::Run, {"::1", 9, true, 3, {}}},
        {{"isoclient", "--windowed", "--help", "--bogus"}, Command_Line::Help, {"file.example", 7000, true, 3, {}}},
        {{"isoclient", "--scale", "0"}, Command_Line::Bad, {"file.example", 7000, true, 3, {"--scale wants"}}},
        {{"isoclient", "--scale"}, Command_Line::Bad, {"file.example", 7000, true, 3, {"unknown option '--scale'"}}},
        {{"isoclient", "--connect", "nowhere"},
         Command_Line::Bad,
         {"file.example", 7000, true, 3, {"--connect wants"}}},
        {{"isoclient", "-windowed"}, Command_Line::Bad, {"file.example", 7000, true, 3, {"unknown option"}}},
    };
    for (const auto& [args, outcome, want] : cases) {
        Client_Settings settings = from_file;
        std::string error;
        EXPECT_EQ(Apply_Command_Line(args, settings, error), outcome) << args.back();
        EXPECT_EQ(std::tuple(settings.server_host, settings.server_port, settings.windowed, settings.window_scale),
                  std::tuple(want.host, want.port, want.windowed, want.scale))
            << args.back();
        EXPECT_TRUE(want.problems.empty() ? error.empty() : error.starts_with(want.problems[0])) << error;
    }
}

// TLS is the default; the bare protocol and a published key are asked for, in the file or (the
// bare protocol) on the command line. A key is kept in one form whatever case or separators.
TEST(Settings_File, Plain_And_The_Published_Server_Key) {
    const std::string key = "SHA256:" + std::string(32, 'A') + std::string(32, '0');
    const std::string normal = "SHA256:" + std::string(32, 'a') + std::string(32, '0');
    const std::tuple<std::string, bool, std::string, size_t> cases[] = {
        {"", false, "", 0},
        {"plain = yes\nserver_key = " + key + "\n", true, normal, 0},
        {"server_key = sha256:" + std::string(32, 'a') + ":" + std::string(32, '0') + "\nplain = no\n", false, normal,
         0},
        {"plain = maybe\nserver_key = SHA256:abc\nserver_key = MD5:" + std::string(64, '0') + "\n", false, "", 3},
        {"server_key = " + key + "\nserver_key =\n", false, "", 0},
    };
    for (const auto& [text, plain, server_key, problem_count] : cases) {
        Client_Settings settings;
        std::vector<std::string> problems;
        Parse_Settings(text, settings, problems);
        EXPECT_EQ(std::tuple(settings.plain, settings.server_key, problems.size()),
                  std::tuple(plain, server_key, problem_count))
            << text;
    }
    Client_Settings settings;
    std::string error;
    EXPECT_EQ(Apply_Command_Line({"isoclient", "--plain"}, settings, error), Command_Line::Run);
    EXPECT_TRUE(settings.plain);
}

TEST(Settings_File, Server_Addresses) {
    const std::tuple<std::string, bool, std::string, uint16_t> cases[] = {
        {"localhost:7000", true, "localhost", 7000},
        {"[fe80::1]:80", true, "fe80::1", 80},
        {"::1:80", true, "::1", 80},   // the last colon separates the port
        {"host", false, "", 0},
        {"host:", false, "", 0},
        {":80", false, "", 0},
        {"[]:80", false, "", 0},
        {"host:+80", false, "", 0},
        {"host:080x", false, "", 0},
        {"host:0", false, "", 0},
        {"host:65536", false, "", 0},
    };
    for (const auto& [text, ok, host, port] : cases) {
        std::string h;
        uint16_t p = 0;
        EXPECT_EQ(Parse_Server_Address(text, h, p), ok) << text;
        EXPECT_EQ(std::pair(h, p), std::pair(host, port)) << text;
    }
}

}   // namespace
