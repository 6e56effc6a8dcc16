#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <utility>
#include <vector>

#include "fake_platform/scratch_directory.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"

namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> kDefaultBytes = {0x28, 0x00, 0x28, 0x00, 0x58, 0x02, 0x28, 0x00,
                                            0x28, 0x00, 0xB8, 0x01, 0x58, 0x02, 0xB8, 0x01};

class CalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetTrackerState(); }
    static void WriteFile(const std::vector<uint8_t>& bytes) {
        std::ofstream out(kSettingsFileName, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<uint8_t> ReadFile() {
        std::ifstream in(kSettingsFileName, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::vector<int32_t> Quad() {
        std::vector<int32_t> q;
        for (int i = 0; i < kCornerValues; ++i) q.push_back(Corner(i));
        return q;
    }
    static void ExpectBox(int32_t xMin, int32_t xMax, int32_t yMin, int32_t yMax) {
        const SearchBox b = LoadSearchBox();
        EXPECT_EQ(b.xMin, xMin);
        EXPECT_EQ(b.xMax, xMax);
        EXPECT_EQ(b.yMin, yMin);
        EXPECT_EQ(b.yMax, yMax);
    }
    ScratchDirectory scratch_{"lumidart-calibration-"};
};

const std::vector<int32_t> kDefaultQuad = {40, 40, 600, 40, 40, 440, 600, 440};

TEST_F(CalibrationTest, MissingShortOrUnreadableFileGivesDefaults) {
    LoadCalibration();
    EXPECT_EQ(Quad(), kDefaultQuad);
    UpdateSearchBox();
    ExpectBox(40, 600, 40, 440);
    EXPECT_FALSE(fs::exists(kSettingsFileName)) << "loading must never write the defaults";

    WriteFile(std::vector<uint8_t>(15, 0x11));
    LoadCalibration();
    EXPECT_EQ(Quad(), kDefaultQuad);

    fs::remove(kSettingsFileName);
    fs::create_directory(kSettingsFileName);  // opens, but is no file of 16 bytes
    LoadCalibration();
    EXPECT_EQ(Quad(), kDefaultQuad);
}

TEST_F(CalibrationTest, FileBytesAreLittleEndianUnsigned) {
    WriteFile(kDefaultBytes);
    LoadCalibration();
    EXPECT_EQ(Quad(), kDefaultQuad);

    SetDefaultCalibration();
    SaveCalibration();
    EXPECT_EQ(ReadFile(), kDefaultBytes);

    std::vector<uint8_t> bytes = kDefaultBytes;
    bytes[14] = 0xFF;
    bytes[15] = 0xFF;
    bytes.insert(bytes.end(), {1, 2, 3, 4});  // a 20-byte file: the tail is ignored
    WriteFile(bytes);
    LoadCalibration();
    EXPECT_EQ(Corner(kUpperRightY), 65535);
    EXPECT_EQ(Corner(kUpperRightX), 600);
}

TEST_F(CalibrationTest, SaveReplacesWholeFileAndRoundTripsEveryValue) {
    WriteFile(std::vector<uint8_t>(15, 0x7F));
    LoadCalibration();
    SaveCalibration();  // a short file is replaced by a complete one
    EXPECT_EQ(ReadFile().size(), 16u);

    WriteFile(std::vector<uint8_t>(40, 0x7F));
    SaveCalibration();  // and a long one shortened
    EXPECT_EQ(ReadFile().size(), 16u);

    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<int32_t> q;
        for (int i = 0; i < kCornerValues; ++i) {
            const int32_t v = (round == 0) ? 0 : (round == 1) ? 65535 : static_cast<int32_t>(rng() % 65536);
            q.push_back(v);
            g_tracker.corners[i].store(v);
        }
        SaveCalibration();
        SetDefaultCalibration();
        LoadCalibration();
        ASSERT_EQ(Quad(), q) << "round " << round;
    }
    EXPECT_FALSE(fs::exists(std::string(kSettingsFileName) + ".tmp"));
}

TEST_F(CalibrationTest, ReadOnlyFileIsKeptAndTheQuadInMemoryStays) {
    WriteFile(kDefaultBytes);
    // The user's choice on both platforms: a file made read-only is kept.
    fs::permissions(kSettingsFileName, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    g_tracker.corners[kLowerLeftX].store(7);
    SaveCalibration();
    EXPECT_EQ(ReadFile(), kDefaultBytes);
    EXPECT_EQ(Corner(kLowerLeftX), 7) << "the quad in memory is not affected";
    // Windows will not delete a read-only file with the scratch directory.
    fs::permissions(kSettingsFileName, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(CalibrationTest, ClickChoosesCornerByQuarter) {
    SetDefaultCalibration();
    UpdateSearchBox();
    struct Case {
        uint16_t cx, cy;
        int corner;
        int32_t x, y;
    };
    const Case cases[] = {
        {100, 100, 2, 100, 380},  // upper left
        {320, 240, 3, 320, 240},  // x 320 is right, y 240 is upper
        {319, 241, 0, 319, 239},  // left, lower
        {639, 0, 3, 639, 480},    // one row above the frame
        {0, 479, 0, 0, 1},
        {500, 400, 1, 500, 80},
    };
    for (const Case& c : cases) {
        const std::vector<int32_t> before = Quad();
        ClearStatus(kCornersDirty);
        SetCorner(c.cx, c.cy);
        std::vector<int32_t> expected = before;
        expected[2 * c.corner] = c.x;
        expected[2 * c.corner + 1] = c.y;
        EXPECT_EQ(Quad(), expected) << c.cx << "," << c.cy;
        EXPECT_TRUE(TestStatus(kCornersDirty));
    }
    EXPECT_GE(LoadSearchBox().yMax, 480);

    // The same values again still mark the corners as edited.
    ClearStatus(kCornersDirty);
    SetCorner(0, 479);
    EXPECT_TRUE(TestStatus(kCornersDirty));
}

TEST_F(CalibrationTest, ClickOutsideThePictureChangesNothing) {
    SetDefaultCalibration();
    UpdateSearchBox();
    const std::vector<int32_t> before = Quad();
    const SearchBox box = LoadSearchBox();
    // Below the picture (a window made taller than its size hints), right
    // of it, and the far corner.
    for (const auto& [cx, cy] : {std::pair<uint16_t, uint16_t>{100, 480}, {100, 790}, {640, 100}, {65535, 65535}}) {
        SetCorner(cx, cy);
        EXPECT_EQ(Quad(), before) << cx << "," << cy;
    }
    EXPECT_FALSE(TestStatus(kCornersDirty));
    EXPECT_EQ(LoadSearchBox().yMin, box.yMin);
    // The last line and column of the picture still count.
    SetCorner(639, 479);
    EXPECT_EQ(Corner(kLowerRightX), 639);
    EXPECT_EQ(Corner(kLowerRightY), 1);
}

TEST_F(CalibrationTest, SearchBoxFollowsClicksAndUsesOnlyItsOwnSides) {
    SetDefaultCalibration();
    UpdateSearchBox();
    SetCorner(10, 10);
    EXPECT_EQ(Corner(kUpperLeftX), 10);
    EXPECT_EQ(Corner(kUpperLeftY), 470);
    ExpectBox(10, 600, 40, 470);

    SetDefaultCalibration();
    g_tracker.corners[kUpperLeftX].store(700);  // out of its quarter, from a file
    UpdateSearchBox();
    ExpectBox(40, 600, 40, 440);
}

}  // namespace

// A file that exists but cannot be read holds corners this run never saw:
// closing on the defaults must not replace it, unless the operator set a
// corner. A short file holds nothing and is replaced as usual.
TEST_F(CalibrationTest, UnreadableFileIsKeptUnlessACornerWasSet) {
    fs::create_directory(kSettingsFileName);
    LoadCalibration();
    EXPECT_EQ(Quad(), kDefaultQuad);
    SetStatus(kGraphReady);
    SaveCalibration();
    EXPECT_TRUE(fs::is_directory(kSettingsFileName));
    EXPECT_FALSE(fs::exists(std::string(kSettingsFileName) + ".tmp"));
#ifndef _WIN32
    fs::remove(kSettingsFileName);
    // A FIFO must neither block the load nor be replaced by the defaults.
    ASSERT_EQ(mkfifo(kSettingsFileName, 0644), 0);
    LoadCalibration();
    EXPECT_EQ(Quad(), kDefaultQuad);
    SaveCalibration();
    EXPECT_TRUE(fs::is_fifo(kSettingsFileName));
#endif
    SetCorner(100, 100);
    fs::remove(kSettingsFileName);
    SaveCalibration();
    ASSERT_TRUE(fs::is_regular_file(kSettingsFileName));
    SetDefaultCalibration();
    LoadCalibration();
    EXPECT_EQ(Corner(kUpperLeftX), 100);
    EXPECT_EQ(Corner(kUpperLeftY), 380);

    ClearStatus(kCornersDirty);
    WriteFile(std::vector<uint8_t>(15, 0x11));
    LoadCalibration();
    SaveCalibration();
    EXPECT_EQ(ReadFile(), kDefaultBytes);
}
