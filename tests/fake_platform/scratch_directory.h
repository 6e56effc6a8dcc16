// A fresh directory made the current one for a test, so that the real
// settings file lands there; removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

class ScratchDirectory {
  public:
    explicit ScratchDirectory(const std::string& prefix)
        : previous_(std::filesystem::current_path()),
          path_(std::filesystem::temp_directory_path() / (prefix + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::filesystem::current_path(previous_);
        // A test may have taken its own write access away.
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_, path_;
};
