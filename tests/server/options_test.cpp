// options_test.cpp -- the configuration file: the shipped example is read whole, a damaged line
// is named with its line number, and the command line overrides the file.
#include "options.h"

#include <fstream>

#include "map/world_files.h"
#include "platform/files.h"
#include "server_seam.h"

namespace {

TEST(Server_Options, The_Example_Configuration_Reads_Whole) {
    const std::string path = ISO_SOURCE_DIR "/deploy/isoserver.conf";
    Server_Config config;
    std::string error;
    ASSERT_TRUE(Apply_Config_Text(Read_Whole_File(path).value_or(""), path, config, error)) << error;
    EXPECT_EQ(config.net.bind, "0.0.0.0");
    EXPECT_EQ(config.db_file, "/var/lib/isoserver/isoserver.db");
    EXPECT_FALSE(config.game.register_open);
    EXPECT_TRUE(config.net.stats);
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
        {"# a comment", ""},
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
    std::vector<std::string> args = {"isoserver", "--config", file, "--port", "7200", "user", "list"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(Parse_Arguments(int(args.size()), argv.data(), config), 0);
    EXPECT_EQ(config.net.port, 7200);
    EXPECT_EQ(config.game.view_radius, 30);
    EXPECT_EQ(config.command, (std::vector<std::string>{"user", "list"}));
}

}   // namespace
