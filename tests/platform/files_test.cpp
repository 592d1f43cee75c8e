// files_test.cpp -- file services on names that no single code page holds (on Windows they go
// through the wide-character functions), and the running program's folder.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(Files, Names_Outside_Any_Code_Page_Are_Written_Appended_Read_And_Listed) {
    const auto unique = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string top =
        Host_Path_Of(std::filesystem::temp_directory_path()) + "/isoclient-files-" + std::to_string(unique);
    const std::string folder = top + "/資料夾 ü";
    const std::string leaf = "2026年7月5日_9時4分 é ✓.txt";   // Big5, Latin-1 and neither
    const std::string file = folder + "/" + leaf;
    ASSERT_TRUE(Make_Folder(top));
    EXPECT_FALSE(Make_Folder(folder + "/no/parent"));
    ASSERT_TRUE(Make_Folder(folder));
    EXPECT_TRUE(Make_Folder(folder));   // already there

    EXPECT_FALSE(Read_Whole_File(file));
    EXPECT_TRUE(Append_To_File(file, "ab"));
    EXPECT_TRUE(Append_To_File(file, std::string("\0\r\n", 3)));
    EXPECT_EQ(Read_Whole_File(file), std::string("ab\0\r\n", 5));
    EXPECT_TRUE(File_Exists(file) && !Folder_Exists(file) && Folder_Exists(folder) && !File_Exists(folder));
    // The system lists the file under the very same name.
    std::vector<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(File_System_Path(folder)))
        listed.push_back(Host_Path_Of(entry.path().filename()));
    EXPECT_EQ(listed, std::vector<std::string>{leaf});
    EXPECT_TRUE(Write_Whole_File(file, "c"));
    EXPECT_EQ(Read_Whole_File(file), "c");
    EXPECT_FALSE(Write_Whole_File(folder + "/missing/x.txt", "c"));
    EXPECT_FALSE(Append_To_File(folder, "c"));   // a folder is no file

    std::filesystem::remove_all(File_System_Path(top));
    EXPECT_FALSE(Folder_Exists(top));
}

TEST(Files, The_Executable_Folder_Holds_This_Program) {
#ifdef _WIN32
    const char* self = "/test_platform.exe";
#else
    const char* self = "/test_platform";
#endif
    EXPECT_TRUE(File_Exists(Executable_Folder() + self)) << Executable_Folder();
    EXPECT_EQ(Executable_Folder().find('\\'), std::string::npos);   // "/" between parts, as program names map
}

}   // namespace
