#include "monitor/profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fanbench::monitor {
namespace {

namespace fs = std::filesystem;

class ProfileFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("fanbench-ini-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        path = (dir / "Rotalyx.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string contents() {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int read() { return readProfileInt(path, "Setting", "IgnoreRotation", 1); }

    fs::path dir;
    std::string path;
};

TEST_F(ProfileFile, ReadsLikeTheProfileFunctions) {
    const std::pair<std::string, int> cases[] = {
        {"", 1},
        {"[Other]\nIgnoreRotation=0\n", 1},
        {"[Setting]\nIgnoreRotation=0\n", 0},
        {"[setting]\nignorerotation=0\n", 0},
        {"  [ Setting ]  \r\n  IgnoreRotation  =  0  \r\n", 0},
        {"[Setting]\nIgnoreRotation=\n", 1},
        {"[Setting]\nIgnoreRotation=12abc\n", 12},
        {"[Setting]\nIgnoreRotation=abc\n", 0},
        {"[Setting]\nIgnoreRotation=-3\n", -3},
        {"[Setting]\nIgnoreRotation=\"0\"\n", 0},
        {"[Setting]\n;IgnoreRotation=0\n", 1},
        {"[Setting]\nIgnoreRotation=0", 0},
        {"\xEF\xBB\xBF[Setting]\nIgnoreRotation=0\n", 0},
        {"[Setting]\nIgnoreRotation=0\n[Setting]\nIgnoreRotation=5\n", 0},
    };
    for (const auto& [text, expected] : cases) {
        put(text);
        EXPECT_EQ(read(), expected) << text;
    }
    fs::remove(path);
    EXPECT_EQ(read(), 1) << "missing file";
}

TEST_F(ProfileFile, WriteChangesOnlyTheValueAndKeepsEverythingElse) {
    const std::string before =
        "; bench notes\r\n[Other]\r\nIgnoreRotation=7\r\n\r\n[SETTING]\r\n  ignorerotation = 1\r\n"
        "Extra=x\r\n[Tail]\r\nk=v";
    put(before);
    ASSERT_TRUE(writeProfileString(path, "Setting", "IgnoreRotation", "0"));
    EXPECT_EQ(
        contents(),
        "; bench notes\r\n[Other]\r\nIgnoreRotation=7\r\n\r\n[SETTING]\r\n  ignorerotation =0\r\n"
        "Extra=x\r\n[Tail]\r\nk=v");
    EXPECT_EQ(read(), 0);
}

TEST_F(ProfileFile, WriteAddsAMissingKeyOrSection) {
    ASSERT_TRUE(writeProfileString(path, "Setting", "IgnoreRotation", "1"));
    EXPECT_EQ(contents(), "[Setting]\nIgnoreRotation=1\n") << "new file";

    put("[Setting]\r\nOther=2\r\n\r\n[Next]\r\na=b\r\n");
    ASSERT_TRUE(writeProfileString(path, "Setting", "IgnoreRotation", "0"));
    EXPECT_EQ(contents(), "[Setting]\r\nOther=2\r\nIgnoreRotation=0\r\n\r\n[Next]\r\na=b\r\n");

    put("[Next]\na=b");
    ASSERT_TRUE(writeProfileString(path, "Setting", "IgnoreRotation", "0"));
    EXPECT_EQ(contents(), "[Next]\na=b\n[Setting]\nIgnoreRotation=0\n");
}

TEST_F(ProfileFile, AFailedWriteLeavesNoFileBehind) {
    const std::string nowhere = (dir / "missing-dir" / "Rotalyx.ini").string();
    EXPECT_FALSE(writeProfileString(nowhere, "Setting", "IgnoreRotation", "0"));
    EXPECT_FALSE(fs::exists(nowhere));
    EXPECT_FALSE(fs::exists(nowhere + ".tmp"));
}

TEST_F(ProfileFile, HugeBinaryAndLongLinesSurviveAWrite) {
    std::string junk(1 << 20, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 131 % 251);
    const std::string before =
        std::string(100000, 'x') + "\n" + junk + "\n[Setting]\nIgnoreRotation=1";
    put(before);
    EXPECT_EQ(read(), 1);
    ASSERT_TRUE(writeProfileString(path, "Setting", "IgnoreRotation", "0"));
    EXPECT_EQ(read(), 0);
    const std::string after = contents();
    EXPECT_EQ(after.substr(0, before.size() - 1), before.substr(0, before.size() - 1));
}

}  // namespace
}  // namespace fanbench::monitor
