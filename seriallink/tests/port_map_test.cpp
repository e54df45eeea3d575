#include "seriallink/port_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pty_tester.h"

namespace fanbench::seriallink {
namespace {

using testsupport::TempConfigHome;

TEST(PortMap, NumbersBelowOneHaveNoDevice) {
    EXPECT_FALSE(portDevicePath(0));
    EXPECT_FALSE(portDevicePath(-3));
}

TEST(PortMap, FallsBackToTtySWithoutAMapEntry) {
    TempConfigHome home;
    EXPECT_EQ(portDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(portDevicePath(12), "/dev/ttyS11");
}

TEST(PortMap, MapEntryWinsEvenWhenItDangles) {
    TempConfigHome home;
    std::filesystem::create_directories(home.portMapDir());
    std::filesystem::create_symlink("/dev/does-not-exist", home.portMapDir() + "/com3");
    EXPECT_EQ(portDevicePath(3), home.portMapDir() + "/com3");
    EXPECT_EQ(portDevicePath(4), "/dev/ttyS3");
}

TEST(PortMap, UsesHomeConfigWhenXdgIsUnset) {
    TempConfigHome home;  // restores XDG_CONFIG_HOME afterwards
    ::unsetenv("XDG_CONFIG_HOME");
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/bench", 1);
    EXPECT_EQ(portMapDirectory(), "/home/bench/.config/fanbench/ports");
    ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace fanbench::seriallink
