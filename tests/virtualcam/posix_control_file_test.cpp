// What may sit at the control path on a shared machine: only a small
// regular file of our own is read; anything else is refused at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "fake_platform/scratch_directory.h"
#include "virtualcam/control_file.h"
#include "virtualcam/scene_control.h"

namespace {

// The read runs on a thread of its own so that a stall fails the test
// instead of hanging it; a stalled thread is left behind.
bool ReadWithin(const std::string& path, std::string* text) {
    auto done = std::make_shared<std::promise<std::pair<bool, std::string>>>();
    auto result = done->get_future();
    std::thread([path, done] {
        std::string out;
        const bool ok = ReadControlFile(path, &out);
        done->set_value({ok, out});
    }).detach();
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << path << ": the read stalled";
        return false;
    }
    const auto read = result.get();
    *text = read.second;
    return read.first;
}

class ControlFileTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return (scratch_.path() / name).string(); }
    ScratchDirectory scratch_{"lumidart-control-test-"};
};

TEST_F(ControlFileTest, SmallRegularFileIsReadWhole) {
    std::ofstream(Path("control.txt")) << "spot_x 12\nnoise 0\n";
    std::string text;
    ASSERT_TRUE(ReadWithin(Path("control.txt"), &text));
    EXPECT_EQ(text, "spot_x 12\nnoise 0\n");
    std::ofstream(Path("empty.txt"));
    EXPECT_TRUE(ReadWithin(Path("empty.txt"), &text));
    EXPECT_EQ(text, "");
}

TEST_F(ControlFileTest, DirectoriesPipesDevicesAndHugeFilesAreRefusedAtOnce) {
    std::string text;
    std::filesystem::create_directory(Path("dir"));
    EXPECT_FALSE(ReadWithin(Path("dir"), &text));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadWithin(Path("fifo"), &text));
    std::filesystem::create_symlink("/dev/zero", Path("zero"));
    EXPECT_FALSE(ReadWithin(Path("zero"), &text));
    EXPECT_FALSE(ReadWithin("/dev/null", &text));
    EXPECT_FALSE(ReadWithin(Path("missing"), &text));
    std::ofstream(Path("huge.txt")) << std::string(kControlFileLimit + 1, '\n');
    EXPECT_FALSE(ReadWithin(Path("huge.txt"), &text));
    std::ofstream(Path("limit.txt")) << std::string(kControlFileLimit, '\n');
    EXPECT_TRUE(ReadWithin(Path("limit.txt"), &text));
    EXPECT_EQ(text.size(), kControlFileLimit);
}

// A link to a good file is followed: only what it leads to counts.
TEST_F(ControlFileTest, LinkToARegularFileIsRead) {
    std::ofstream(Path("real.txt")) << "spot_y 7\n";
    std::filesystem::create_symlink(Path("real.txt"), Path("link.txt"));
    std::string text;
    EXPECT_TRUE(ReadWithin(Path("link.txt"), &text));
    EXPECT_EQ(text, "spot_y 7\n");
}

TEST_F(ControlFileTest, ReloadThroughARefusedPathKeepsTheSettings) {
    std::filesystem::create_directory(Path("dir"));
    setenv("LUMIDART_VIRTUALCAM_CONTROL", Path("dir").c_str(), 1);
    SceneSettings s;
    s.spotX = 77;
    EXPECT_FALSE(ReloadSceneControl(&s));
    EXPECT_EQ(s.spotX, 77);
    unsetenv("LUMIDART_VIRTUALCAM_CONTROL");
}

TEST(ControlFileDefault, IsTheUsersOwnNotAFixedSharedName) {
    const char* const runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime != nullptr ? runtime : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(DefaultControlPath(), "/run/user/4242/lumidart-virtualcam.txt");
    unsetenv("XDG_RUNTIME_DIR");
    const std::string fallback = DefaultControlPath();
    EXPECT_NE(fallback.find("lumidart-virtualcam-" + std::to_string(geteuid()) + ".txt"), std::string::npos)
        << fallback;
    if (runtime != nullptr) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
