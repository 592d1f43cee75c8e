// options_test.cpp -- the configuration file: the shipped example is read whole, a damaged line
// is named with its line number, and the command line overrides the file.
#include "options.h"

#include <fstream>

#include "map/world_files.h"
#include "platform/files.h"
#include "server_seam.h"

namespace {

int Parse(std::vector<std::string> words, Server_Config& config) {
    words.insert(words.begin(), "isoserver");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return Parse_Arguments(int(words.size()), argv.data(), config);
}

TEST(Server_Options, The_Example_Configuration_Reads_Whole) {
    const std::string path = ISO_SOURCE_DIR "/deploy/isoserver.conf";
    Server_Config config;
    std::string error;
    ASSERT_TRUE(Apply_Config_Text(Read_Whole_File(path).value_or(""), path, config, error)) << error;
    EXPECT_EQ(std::tuple(config.net.bind, config.db_file, config.game.register_open, config.net.stats),
              std::tuple("0.0.0.0", "/var/lib/isoserver/isoserver.db", false, true));
}

TEST(Server_Options, Bad_Lines_Are_Named_And_The_Command_Line_Wins) {
    struct Case {
        const char* line;
        const char* error;   // "" : accepted
    };
    const Case cases[] = {
        {"port = 7100", ""},
        {"  register=open  # spaces and a comment are not part of it", ""},
        {"register = opened", "register wants open|closed"},
        {"register = \"open\"", ""},
        {"port = 70000", "port wants a whole number from 0 to 65535"},
        {"port = 12.5", "wants a whole number"},
        {"colour = red", "unknown key \"colour\""},
        {"just words", "not \"key = value\""},
        {"stats = maybe", "wants true or false"},
    };
    for (const Case& c : cases) {
        Server_Config config;
        std::string error;
        const bool ok = Apply_Config_Text(c.line, "x.conf", config, error);
        EXPECT_EQ(ok, *c.error == 0) << c.line << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.line << ": " << error;
        if (*c.error) { EXPECT_NE(error.find("x.conf:1: "), std::string::npos) << error; }
    }
    const world_test::Temp_Folder folder;
    const std::string file = folder / "isoserver.conf";
    std::ofstream(file) << "port = 7100\nview-radius = 30\n";
    Server_Config config;
    EXPECT_EQ(Parse(std::vector<std::string>{"--config", file, "--port", "7200", "user", "list"}, config), 0);
    EXPECT_EQ(std::tuple(config.net.port, config.game.view_radius, config.command),
              std::tuple(7200, 30, std::vector<std::string>{"user", "list"}));
}

// An option after a command's words is taken as if it stood before them, or refused; it never
// becomes one of the command's words.
TEST(Server_Options, Options_After_The_Command_Are_Honoured_Or_Refused) {
    using Words = std::vector<std::string>;
    const std::tuple<Words, int, Words> cases[] = {
        {{"user", "add", "bob", "--db", "f.db"}, 0, {"user", "add", "bob"}},
        {{"user", "--db", "f.db", "passwd", "bob"}, 0, {"user", "passwd", "bob"}},
        {{"user", "ban", "bob", "spam", "--db", "f.db"}, 0, {"user", "ban", "bob", "spam"}},
        {{"backup", "out.db", "--db", "f.db"}, 0, {"backup", "out.db"}},
        {{"fingerprint", "--db", "f.db"}, 0, {"fingerprint"}},
        {{"user", "list", "--db"}, 2, {}},
        {{"user", "del", "bob", "--dbx", "f.db"}, 2, {}},
    };
    for (const auto& [words, status, command] : cases) {
        Server_Config config;
        EXPECT_EQ(Parse(words, config), status) << words.back();
        if (status == 0) {
            EXPECT_EQ(std::pair(config.db_file, config.command), std::pair(std::string("f.db"), command));
        }
    }
}

}   // namespace
