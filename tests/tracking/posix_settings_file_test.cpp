// Faults around the settings file on POSIX systems: a directory that cannot
// be written, a full disk, a save killed at any moment, files of the wrong
// length, a file that cannot be read, a read-only file, symbolic links, and
// a leftover, planted or blocked temporary file. Cases that need another
// user or a private mount run in a forked child, which reports through
// shared memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "fake_platform/scratch_directory.h"
#include "state/platform.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using Quad = std::vector<int32_t>;

constexpr uid_t kNobody = 65534;
const std::string kTemporary = std::string(kSettingsFileName) + ".tmp";

// The file image written independently of the code under test: eight
// little-endian 16-bit values.
Bytes Image(const Quad& quad) {
    Bytes bytes;
    for (int32_t v : quad) {
        bytes.push_back(static_cast<uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    }
    return bytes;
}

const Quad kDefaultQuad = {40, 40, 600, 40, 40, 440, 600, 440};
const Quad kOldQuad = {60, 50, 590, 30, 30, 430, 620, 460};
const Quad kNewQuad = {10, 20, 630, 5, 15, 470, 625, 480};

Quad CurrentQuad() {
    Quad q;
    for (int i = 0; i < kCornerValues; ++i) q.push_back(Corner(i));
    return q;
}

void StoreQuad(const Quad& q) {
    for (int i = 0; i < kCornerValues; ++i) g_tracker.corners[i].store(q[i]);
}

void WriteFile(const std::string& name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ino_t Inode(const std::string& name) {
    struct stat info {};
    EXPECT_EQ(lstat(name.c_str(), &info), 0) << name;
    return info.st_ino;
}

uid_t Owner(const std::string& name) {
    struct stat info {};
    EXPECT_EQ(lstat(name.c_str(), &info), 0) << name;
    return info.st_uid;
}

// The names in a directory, sorted.
std::vector<std::string> Entries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// What a child saw; the parent checks it after the child has ended.
struct Snapshot {
    size_t size;  // 0 also when there is no file
    uint8_t bytes[kSettingsFileBytes];
    bool temporaryLeft;
};

struct ChildReport {
    char failure[256];  // why the child could not set its case up
    int32_t quad[kCornerValues];
    Snapshot files[2];
};

Snapshot TakeSnapshot() {
    Snapshot s{};
    const Bytes bytes = ReadFile(kSettingsFileName);
    s.size = bytes.size();
    std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof s.bytes), s.bytes);
    s.temporaryLeft = fs::exists(kTemporary);
    return s;
}

// The file's bytes if it has the size of a settings file, otherwise none.
Bytes SnapshotBytes(const Snapshot& s) {
    return s.size == kSettingsFileBytes ? Bytes(s.bytes, s.bytes + kSettingsFileBytes) : Bytes{};
}

[[noreturn]] void ChildFails(ChildReport* report, const std::string& what) {
    std::snprintf(report->failure, sizeof report->failure, "%s: %s", what.c_str(), std::strerror(errno));
    _exit(1);
}

void WriteProcFile(ChildReport* report, const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        ChildFails(report, path);
    }
    close(fd);
}

enum class Mounts { kShared, kPrivate };

// Runs body in a child process and returns what it reported; the child ends
// with _exit, so no test machinery runs twice. With private mounts the
// child has its own user and mount namespace, in which it may mount file
// systems that nobody else sees; this works as root and unprivileged, and
// where it does not, the test fails. The namespaces come with the child's
// creation: unshare() refuses a new user namespace to a process with more
// than one thread, and a thread checker's fork starts a helper thread in
// the child.
ChildReport RunInChild(Mounts mounts, const std::function<void(ChildReport*)>& body) {
    void* const shared = mmap(nullptr, sizeof(ChildReport), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(shared, MAP_FAILED);
    if (shared == MAP_FAILED) return ChildReport{};
    auto* report = new (shared) ChildReport{};
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    const pid_t child = mounts == Mounts::kShared
                            ? fork()
                            : static_cast<pid_t>(syscall(SYS_clone, CLONE_NEWUSER | CLONE_NEWNS | SIGCHLD, 0, 0, 0, 0));
    if (child == 0) {
        if (mounts == Mounts::kPrivate) {
            WriteProcFile(report, "/proc/self/setgroups", "deny");
            WriteProcFile(report, "/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
            WriteProcFile(report, "/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ChildFails(report, "private mounts");
        }
        body(report);
        for (int i = 0; i < kCornerValues; ++i) report->quad[i] = Corner(i);
        _exit(0);
    }
    EXPECT_GT(child, 0) << "no child: " << std::strerror(errno);
    int status = 0;
    if (child > 0) {
        EXPECT_EQ(waitpid(child, &status, 0), child);
    }
    const ChildReport result = *report;
    munmap(shared, sizeof(ChildReport));
    EXPECT_EQ(result.failure[0], '\0') << result.failure;
    EXPECT_TRUE(child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return result;
}

// Root reads and writes regardless of permission bits: such cases run as
// nobody. An unprivileged run is bound by the bits already.
void DropRoot(ChildReport* report) {
    if (geteuid() != 0) return;
    if (setresgid(kNobody, kNobody, kNobody) != 0 || setresuid(kNobody, kNobody, kNobody) != 0) {
        ChildFails(report, "dropping root");
    }
}

// In a child with private mounts: a tmpfs at where, made the current
// directory.
void MountTmpfs(ChildReport* report, const char* where, const char* options) {
    if (mount("tmpfs", where, "tmpfs", 0, options) != 0) ChildFails(report, "mounting tmpfs");
    if (chdir(where) != 0) ChildFails(report, "chdir into the tmpfs");
}

// A save of quad as nobody (when run as root), with what it left.
ChildReport SaveAsNobody(const Quad& quad) {
    return RunInChild(Mounts::kShared, [&quad](ChildReport* report) {
        DropRoot(report);
        StoreQuad(quad);
        SetStatus(kGraphReady);
        SaveCalibration();
        report->files[0] = TakeSnapshot();
    });
}

class PosixSettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetTrackerState(); }
    ScratchDirectory scratch_{"lumidart-settings-"};
    const fs::path& dir_ = scratch_.path();
};

TEST_F(PosixSettingsFileTest, DirectoryNotWritableKeepsTheFile) {
    // Another user in a directory without write access.
    WriteFile(kSettingsFileName, Image(kOldQuad));
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const ChildReport user = RunInChild(Mounts::kShared, [](ChildReport* report) {
        DropRoot(report);
        LoadCalibration();
        SetCorner(100, 100);
        SaveCalibration();
    });
    EXPECT_EQ(ReadFile(kSettingsFileName), Image(kOldQuad));
    EXPECT_FALSE(fs::exists(kTemporary));
    Quad edited = kOldQuad;
    edited[kUpperLeftX] = 100;
    edited[kUpperLeftY] = 380;
    EXPECT_EQ(Quad(user.quad, user.quad + kCornerValues), edited) << "the quad in memory is not affected";

    // Any user on a read-only file system.
    fs::permissions(dir_, fs::perms::owner_all);
    fs::create_directory("readonly");
    const ChildReport readOnly = RunInChild(Mounts::kPrivate, [](ChildReport* report) {
        MountTmpfs(report, "readonly", "size=64k");
        WriteFile(kSettingsFileName, Image(kOldQuad));
        if (mount(nullptr, ".", nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) ChildFails(report, "remount ro");
        LoadCalibration();
        SetCorner(500, 400);
        SaveCalibration();
        report->files[0] = TakeSnapshot();
    });
    EXPECT_EQ(SnapshotBytes(readOnly.files[0]), Image(kOldQuad));
    EXPECT_FALSE(readOnly.files[0].temporaryLeft);
    EXPECT_EQ(readOnly.quad[kLowerRightX], 500);
}

TEST_F(PosixSettingsFileTest, FullDiskKeepsTheFileAndTheNextSaveSucceeds) {
    fs::create_directory("small");
    const ChildReport r = RunInChild(Mounts::kPrivate, [](ChildReport* report) {
        MountTmpfs(report, "small", "size=16k");
        WriteFile(kSettingsFileName, Image(kOldQuad));
        // Fill every remaining block.
        const int fill = open("filler", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fill < 0) ChildFails(report, "creating the filler");
        const std::vector<char> block(4096, 'x');
        while (write(fill, block.data(), block.size()) > 0) {
        }
        if (errno != ENOSPC) ChildFails(report, "filling the tmpfs");
        close(fill);
        LoadCalibration();
        StoreQuad(kNewQuad);
        SetStatus(kGraphReady);
        SaveCalibration();
        report->files[0] = TakeSnapshot();
        unlink("filler");
        SaveCalibration();
        report->files[1] = TakeSnapshot();
    });
    EXPECT_EQ(SnapshotBytes(r.files[0]), Image(kOldQuad)) << "size " << r.files[0].size;
    EXPECT_FALSE(r.files[0].temporaryLeft);
    EXPECT_EQ(SnapshotBytes(r.files[1]), Image(kNewQuad)) << "once there is room again";
    EXPECT_FALSE(r.files[1].temporaryLeft);
}

// A save killed at any moment leaves the old or the new 16 bytes, never a
// short or mixed file; a temporary file it leaves behind never breaks the
// next load or save.
TEST_F(PosixSettingsFileTest, SaveKilledAtRandomMomentsLeavesOldOrNewFile) {
    const Bytes a = Image(kOldQuad), b = Image(kNewQuad);
    WriteFile(kSettingsFileName, a);
    // Kill within a few saves' time, whatever this disk's flush costs.
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(PlatformReplaceFile(kSettingsFileName, a.data(), a.size()));
    const auto tenSaves = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                                started);
    std::mt19937 rng(11);
    std::uniform_int_distribution<long> delay(0, std::max<long>(200, tenSaves.count() / 3));

    int sawOld = 0, sawNew = 0, staleTemporaries = 0;
    for (int round = 0; round < 300; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SetStatus(kGraphReady);
            const char go = 1;
            if (write(ready[1], &go, 1) != 1) _exit(1);
            for (;;) {
                StoreQuad(kNewQuad);
                SaveCalibration();
                StoreQuad(kOldQuad);
                SaveCalibration();
            }
        }
        close(ready[1]);
        char go = 0;
        ASSERT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        usleep(static_cast<useconds_t>(delay(rng)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself";

        const Bytes found = ReadFile(kSettingsFileName);
        ASSERT_TRUE(found == a || found == b) << "round " << round << ": a file of " << found.size() << " bytes";
        sawOld += found == a;
        sawNew += found == b;
        staleTemporaries += fs::exists(kTemporary);

        LoadCalibration();
        ASSERT_EQ(CurrentQuad(), found == a ? kOldQuad : kNewQuad) << "round " << round;
        ASSERT_TRUE(PlatformReplaceFile(kSettingsFileName, a.data(), a.size())) << "round " << round;
        ASSERT_EQ(ReadFile(kSettingsFileName), a);
        ASSERT_FALSE(fs::exists(kTemporary)) << "round " << round;
    }
    // Both outcomes, or the kills did not land at varied moments.
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
    std::printf("300 kills: old file %d, new file %d, temporary file left %d\n", sawOld, sawNew, staleTemporaries);
}

TEST_F(PosixSettingsFileTest, ShortFilesGiveDefaultsAndLongFilesTheirFirst16Bytes) {
    SetStatus(kGraphReady);
    const Bytes quad = Image(kOldQuad);
    for (size_t size = 0; size < 16; ++size) {
        WriteFile(kSettingsFileName, Bytes(quad.begin(), quad.begin() + static_cast<long>(size)));
        StoreQuad(kNewQuad);
        LoadCalibration();
        EXPECT_EQ(CurrentQuad(), kDefaultQuad) << size << " bytes";
        SaveCalibration();
        EXPECT_EQ(ReadFile(kSettingsFileName), Image(kDefaultQuad)) << "a file of " << size << " bytes is replaced";
    }
    for (size_t size : {size_t{17}, size_t{1} << 20}) {
        Bytes bytes = quad;
        bytes.resize(size, 0xEE);
        WriteFile(kSettingsFileName, bytes);
        LoadCalibration();
        EXPECT_EQ(CurrentQuad(), kOldQuad) << size << " bytes";
        SaveCalibration();
        EXPECT_EQ(ReadFile(kSettingsFileName), quad) << "a file of " << size << " bytes is shortened";
    }
}

TEST_F(PosixSettingsFileTest, UnreadableFileIsKeptUnlessACornerWasSet) {
    // Write-only: it cannot be read, but it may be replaced.
    WriteFile(kSettingsFileName, Image(kOldQuad));
    const fs::perms writeOnly = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(kSettingsFileName, writeOnly);
    fs::permissions(dir_, fs::perms::all);
    const ChildReport untouched = RunInChild(Mounts::kShared, [](ChildReport* report) {
        DropRoot(report);
        LoadCalibration();
        SetStatus(kGraphReady);
        SaveCalibration();
    });
    EXPECT_EQ(Quad(untouched.quad, untouched.quad + kCornerValues), kDefaultQuad);
    EXPECT_EQ(fs::status(kSettingsFileName).permissions(), writeOnly);
    EXPECT_EQ(ReadFile(kSettingsFileName), Image(kOldQuad)) << "replaced by the defaults";

    RunInChild(Mounts::kShared, [](ChildReport* report) {
        DropRoot(report);
        LoadCalibration();
        SetStatus(kGraphReady);
        SetCorner(100, 100);
        SaveCalibration();
    });
    Quad edited = kDefaultQuad;
    edited[kUpperLeftX] = 100;
    edited[kUpperLeftY] = 380;
    EXPECT_EQ(ReadFile(kSettingsFileName), Image(edited)) << "the corner set in that run is kept";
    EXPECT_EQ(fs::status(kSettingsFileName).permissions(), writeOnly) << "the replacement keeps the mode";
    EXPECT_FALSE(fs::exists(kTemporary));
}

// A file nobody may write to is kept, as the Windows program keeps a file
// marked read-only, even with a corner set; the quad in memory is not
// affected. Root is bound by the missing write bits too.
TEST_F(PosixSettingsFileTest, ReadOnlyFileIsKept) {
    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                                 fs::perms::owner_read, fs::perms::none}) {
        fs::remove(kSettingsFileName);
        WriteFile(kSettingsFileName, Image(kOldQuad));
        fs::permissions(kSettingsFileName, mode);
        const ino_t inode = Inode(kSettingsFileName);
        ResetTrackerState();
        SetStatus(kGraphReady);
        StoreQuad(kNewQuad);
        SetCorner(100, 100);
        SaveCalibration();
        EXPECT_EQ(Inode(kSettingsFileName), inode) << "replaced";
        EXPECT_EQ(fs::status(kSettingsFileName).permissions(), mode);
        fs::permissions(kSettingsFileName, fs::perms::owner_read, fs::perm_options::add);
        EXPECT_EQ(ReadFile(kSettingsFileName), Image(kOldQuad));
        EXPECT_EQ(Corner(kUpperLeftX), 100);
        EXPECT_FALSE(fs::exists(kTemporary));
    }

    // Another user's file in a directory anyone may write to: renaming over
    // it would succeed, and would take it from its owner.
    if (geteuid() != 0) return;
    fs::remove(kSettingsFileName);
    WriteFile(kSettingsFileName, Image(kOldQuad));
    fs::permissions(kSettingsFileName, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                           fs::perms::others_read);
    fs::permissions(dir_, fs::perms::all);
    const ChildReport other = SaveAsNobody(kNewQuad);
    EXPECT_EQ(SnapshotBytes(other.files[0]), Image(kOldQuad));
    EXPECT_FALSE(other.files[0].temporaryLeft);
    EXPECT_EQ(Owner(kSettingsFileName), 0u);
}

// A writable file is replaced by one with its permissions, and, where we
// may give it, its owner.
TEST_F(PosixSettingsFileTest, ReplacementKeepsModeAndOwner) {
    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write,
                                 fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                     fs::perms::group_write | fs::perms::others_read}) {
        fs::remove(kSettingsFileName);
        WriteFile(kSettingsFileName, Image(kOldQuad));
        fs::permissions(kSettingsFileName, mode);
        ASSERT_TRUE(PlatformReplaceFile(kSettingsFileName, Image(kNewQuad).data(), kSettingsFileBytes));
        EXPECT_EQ(ReadFile(kSettingsFileName), Image(kNewQuad));
        EXPECT_EQ(fs::status(kSettingsFileName).permissions(), mode);
    }
    if (geteuid() != 0) return;
    ASSERT_EQ(chown(kSettingsFileName, kNobody, kNobody), 0);
    ASSERT_TRUE(PlatformReplaceFile(kSettingsFileName, Image(kOldQuad).data(), kSettingsFileBytes));
    EXPECT_EQ(ReadFile(kSettingsFileName), Image(kOldQuad));
    EXPECT_EQ(Owner(kSettingsFileName), kNobody);
}

// A symbolic link named like the settings file keeps pointing where it did;
// the file at the end of it gets the new bytes, replaced beside itself.
TEST_F(PosixSettingsFileTest, SymbolicLinkKeepsPointingAtItsTarget) {
    StoreQuad(kNewQuad);
    SetStatus(kGraphReady);
    fs::create_directory("settings");
    WriteFile("settings/real.set", Image(kOldQuad));
    fs::create_symlink("settings/real.set", kSettingsFileName);
    LoadCalibration();
    EXPECT_EQ(CurrentQuad(), kOldQuad) << "read through the link";
    StoreQuad(kNewQuad);
    SaveCalibration();
    EXPECT_TRUE(fs::is_symlink(kSettingsFileName));
    EXPECT_EQ(fs::read_symlink(kSettingsFileName), "settings/real.set");
    EXPECT_EQ(ReadFile("settings/real.set"), Image(kNewQuad));
    EXPECT_FALSE(fs::exists(kTemporary));
    EXPECT_FALSE(fs::exists("settings/real.set.tmp"));

    // A chain of links, relative to each link's own directory and absolute.
    fs::remove(kSettingsFileName);
    fs::create_symlink("settings/middle", kSettingsFileName);
    fs::create_symlink(dir_ / "settings" / "real.set", "settings/middle");
    StoreQuad(kOldQuad);
    SaveCalibration();
    EXPECT_TRUE(fs::is_symlink("settings/middle"));
    EXPECT_EQ(ReadFile("settings/real.set"), Image(kOldQuad));

    // A dangling link: the file it names is created.
    fs::remove(kSettingsFileName);
    fs::create_symlink("settings/new.set", kSettingsFileName);
    SaveCalibration();
    EXPECT_TRUE(fs::is_symlink(kSettingsFileName));
    EXPECT_EQ(ReadFile("settings/new.set"), Image(kOldQuad));

    // A link to a read-only file keeps it.
    fs::remove(kSettingsFileName);
    fs::create_symlink("settings/real.set", kSettingsFileName);
    fs::permissions("settings/real.set", fs::perms::owner_read);
    StoreQuad(kNewQuad);
    SaveCalibration();
    fs::permissions("settings/real.set", fs::perms::owner_all);
    EXPECT_EQ(ReadFile("settings/real.set"), Image(kOldQuad));

    // A loop: nothing is created anywhere.
    fs::remove(kSettingsFileName);
    fs::create_symlink("loop-b", kSettingsFileName);
    fs::create_symlink(kSettingsFileName, "loop-b");
    EXPECT_FALSE(PlatformReplaceFile(kSettingsFileName, Image(kNewQuad).data(), kSettingsFileBytes));
    EXPECT_TRUE(fs::is_symlink(kSettingsFileName));
    EXPECT_TRUE(fs::is_symlink("loop-b"));
    EXPECT_EQ(Entries("."), (std::vector<std::string>{"Lumidart.set", "loop-b", "settings"}));
}

// The target on another file system than the link: the replacement is
// made beside the target, or the rename could not be done in one step.
TEST_F(PosixSettingsFileTest, LinkedFileOnAnotherFileSystemIsReplaced) {
    fs::create_directory("mounted");
    fs::create_symlink("mounted/real.set", kSettingsFileName);
    const ChildReport r = RunInChild(Mounts::kPrivate, [](ChildReport* report) {
        if (mount("tmpfs", "mounted", "tmpfs", 0, "size=64k") != 0) ChildFails(report, "mounting tmpfs");
        WriteFile("mounted/real.set", Image(kOldQuad));
        StoreQuad(kNewQuad);
        SetStatus(kGraphReady);
        SaveCalibration();
        report->files[0] = TakeSnapshot();
        report->files[1].temporaryLeft = fs::exists("mounted/real.set.tmp");
    });
    EXPECT_EQ(SnapshotBytes(r.files[0]), Image(kNewQuad));
    EXPECT_FALSE(r.files[0].temporaryLeft);
    EXPECT_FALSE(r.files[1].temporaryLeft);
    EXPECT_TRUE(fs::is_symlink(kSettingsFileName));
}

// The temporary name taken by something that cannot be cleared away: the
// save goes through under a fresh name and leaves nothing behind.
TEST_F(PosixSettingsFileTest, BlockedTemporaryNameDoesNotStopTheSave) {
    fs::create_directory(kTemporary);
    WriteFile(kTemporary + "/inside", {'x'});
    SetStatus(kGraphReady);
    for (const Quad& quad : {kNewQuad, kOldQuad, kNewQuad}) {
        StoreQuad(quad);
        SaveCalibration();
        EXPECT_EQ(ReadFile(kSettingsFileName), Image(quad));
    }
    EXPECT_EQ(ReadFile(kTemporary + "/inside"), Bytes{'x'});
    EXPECT_EQ(Entries("."), (std::vector<std::string>{kSettingsFileName, kTemporary}));

    // Another user's file under the name, in a sticky directory where we
    // may not remove it.
    if (geteuid() != 0) return;
    fs::remove_all(kTemporary);
    fs::remove(kSettingsFileName);
    WriteFile(kTemporary, {'y'});
    ASSERT_EQ(chown(kTemporary.c_str(), 0, 0), 0);
    fs::permissions(dir_, fs::perms::all | fs::perms::sticky_bit);
    const ChildReport sticky = SaveAsNobody(kOldQuad);
    EXPECT_EQ(SnapshotBytes(sticky.files[0]), Image(kOldQuad));
    EXPECT_EQ(ReadFile(kTemporary), Bytes{'y'});
    EXPECT_EQ(Entries("."), (std::vector<std::string>{kSettingsFileName, kTemporary}));
}

// Whatever sits under the temporary name is replaced, never written through.
TEST_F(PosixSettingsFileTest, LeftoverOrPlantedTemporaryIsNeverWrittenThrough) {
    const Bytes precious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    WriteFile("other", precious);
    StoreQuad(kNewQuad);
    SetStatus(kGraphReady);

    fs::create_symlink("other", kTemporary);
    SaveCalibration();
    EXPECT_EQ(ReadFile("other"), precious) << "through a symbolic link";
    EXPECT_EQ(ReadFile(kSettingsFileName), Image(kNewQuad));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(kSettingsFileName)));

    fs::create_hard_link("other", kTemporary);
    SaveCalibration();
    EXPECT_EQ(ReadFile("other"), precious) << "through a hard link";
    EXPECT_EQ(ReadFile(kSettingsFileName), Image(kNewQuad));

    // A leftover of a megabyte of junk, as a killed save cannot leave but a
    // hand could.
    WriteFile(kTemporary, Bytes(1 << 20, 0x55));
    StoreQuad(kOldQuad);
    SaveCalibration();
    EXPECT_EQ(ReadFile(kSettingsFileName), Image(kOldQuad));
    EXPECT_FALSE(fs::exists(kTemporary));
    LoadCalibration();
    EXPECT_EQ(CurrentQuad(), kOldQuad);
}

}  // namespace
