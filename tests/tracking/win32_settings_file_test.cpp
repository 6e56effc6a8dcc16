// The Windows settings file access against the real file system: other
// handles that hold the file, the read-only attribute, and files of the
// wrong length.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/platform.h"

namespace {

const std::vector<unsigned char> kOldBytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const std::vector<unsigned char> kNewBytes = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                                              0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

class Win32SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
        dir_ = std::string(temp) + "lumidart-settings-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(GetTickCount());
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
        name_ = dir_ + "\\Lumidart.set";
    }
    void TearDown() override {
        for (const std::string& path : {name_, Temporary()}) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
        }
        SetFileAttributesA(dir_.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(dir_.c_str());
    }

    std::string Temporary() const { return name_ + ".tmp"; }

    static void Write(const std::string& path, const std::vector<unsigned char>& bytes) {
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(file);
    }

    // Read with full sharing, so that it works while a test holds the file.
    static std::vector<unsigned char> Contents(const std::string& path) {
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return {};
        std::vector<unsigned char> bytes(4096);
        DWORD got = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        CloseHandle(file);
        bytes.resize(got);
        return bytes;
    }

    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string dir_, name_;
};

// Another program keeps the file open: the save fails, the old bytes stay,
// and the temporary file is removed rather than left for the next run.
TEST_F(Win32SettingsFileTest, HeldTargetKeepsItsBytesAndLeavesNoTemporary) {
    const DWORD shareModes[] = {0, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE};
    for (const DWORD share : shareModes) {
        Write(name_, kOldBytes);
        const HANDLE holder = CreateFileA(name_.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(PlatformReplaceFile(name_.c_str(), kNewBytes.data(), kNewBytes.size())) << "share " << share;
        EXPECT_FALSE(Exists(Temporary())) << "share " << share;
        CloseHandle(holder);
        EXPECT_EQ(Contents(name_), kOldBytes) << "share " << share;
    }
    // Once released, the same call succeeds.
    EXPECT_TRUE(PlatformReplaceFile(name_.c_str(), kNewBytes.data(), kNewBytes.size()));
    EXPECT_EQ(Contents(name_), kNewBytes);
    EXPECT_FALSE(Exists(Temporary()));
}

TEST_F(Win32SettingsFileTest, HeldFileCannotBeOpenedButIsSeenToExist) {
    Write(name_, kOldBytes);
    const HANDLE holder =
        CreateFileA(name_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(PlatformOpenExistingFile(name_.c_str()), nullptr);
    EXPECT_TRUE(PlatformFileExists(name_.c_str()));
    CloseHandle(holder);

    // And the settings' own open shuts everybody else out while it lasts.
    PlatformFile* const file = PlatformOpenExistingFile(name_.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(CreateFileA(name_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    PlatformCloseFile(file);
    EXPECT_FALSE(PlatformFileExists((name_ + "x").c_str()));
}

// A temporary file left by a crashed run is simply replaced; one that
// another program holds makes the save fail without touching the target.
TEST_F(Win32SettingsFileTest, LeftoverTemporaryFile) {
    Write(name_, kOldBytes);
    Write(Temporary(), std::vector<unsigned char>(3, 0xEE));
    EXPECT_TRUE(PlatformReplaceFile(name_.c_str(), kNewBytes.data(), kNewBytes.size()));
    EXPECT_EQ(Contents(name_), kNewBytes);
    EXPECT_FALSE(Exists(Temporary()));

    Write(Temporary(), std::vector<unsigned char>(3, 0xEE));
    const HANDLE holder =
        CreateFileA(Temporary().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PlatformReplaceFile(name_.c_str(), kOldBytes.data(), kOldBytes.size()));
    EXPECT_EQ(Contents(name_), kNewBytes);
    CloseHandle(holder);
    EXPECT_EQ(Contents(Temporary()), std::vector<unsigned char>(3, 0xEE)) << "somebody else's file is left alone";
}

// Marked read-only by the operator: loaded, and kept as it is.
TEST_F(Win32SettingsFileTest, ReadOnlyFileIsReadButNotReplaced) {
    Write(name_, kOldBytes);
    ASSERT_TRUE(SetFileAttributesA(name_.c_str(), FILE_ATTRIBUTE_READONLY));
    PlatformFile* const file = PlatformOpenExistingFile(name_.c_str());
    ASSERT_NE(file, nullptr);
    unsigned char bytes[16] = {};
    EXPECT_TRUE(PlatformReadFile(file, bytes, sizeof bytes));
    PlatformCloseFile(file);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 16), kOldBytes);

    EXPECT_FALSE(PlatformReplaceFile(name_.c_str(), kNewBytes.data(), kNewBytes.size()));
    EXPECT_EQ(Contents(name_), kOldBytes);
    EXPECT_FALSE(Exists(Temporary()));
}

// The read-only attribute of a folder does not protect its files.
TEST_F(Win32SettingsFileTest, ReadOnlyFolderStillTakesTheSave) {
    Write(name_, kOldBytes);
    ASSERT_TRUE(SetFileAttributesA(dir_.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(PlatformReplaceFile(name_.c_str(), kNewBytes.data(), kNewBytes.size()));
    EXPECT_EQ(Contents(name_), kNewBytes);
    EXPECT_FALSE(Exists(Temporary()));
}

TEST_F(Win32SettingsFileTest, ShortEmptyAndLongFiles) {
    struct Case {
        size_t length;
        bool complete;
    };
    const Case cases[] = {{0, false}, {1, false}, {15, false}, {16, true}, {17, true}, {100000, true}};
    for (const Case& c : cases) {
        std::vector<unsigned char> contents(c.length);
        for (size_t i = 0; i < c.length; ++i) contents[i] = static_cast<unsigned char>(i * 7 + 1);
        Write(name_, contents);
        PlatformFile* const file = PlatformOpenExistingFile(name_.c_str());
        ASSERT_NE(file, nullptr) << c.length;
        EXPECT_EQ(PlatformFileSize(file), static_cast<int64_t>(c.length));
        std::vector<unsigned char> bytes(16, 0xCC);
        EXPECT_EQ(PlatformReadFile(file, bytes.data(), bytes.size()), c.complete) << c.length;
        if (c.complete) {
            EXPECT_EQ(bytes, std::vector<unsigned char>(contents.begin(), contents.begin() + 16));
        }
        PlatformCloseFile(file);

        // The save leaves exactly the new bytes, whatever was there.
        ASSERT_TRUE(PlatformReplaceFile(name_.c_str(), kNewBytes.data(), kNewBytes.size())) << c.length;
        EXPECT_EQ(Contents(name_), kNewBytes) << c.length;
    }
}

TEST_F(Win32SettingsFileTest, FolderInThePlaceOfTheFile) {
    ASSERT_TRUE(CreateDirectoryA(name_.c_str(), nullptr));
    EXPECT_EQ(PlatformOpenExistingFile(name_.c_str()), nullptr);
    EXPECT_TRUE(PlatformFileExists(name_.c_str()));
    EXPECT_FALSE(PlatformReplaceFile(name_.c_str(), kNewBytes.data(), kNewBytes.size()));
    EXPECT_TRUE(GetFileAttributesA(name_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(Exists(Temporary()));
}

}  // namespace
