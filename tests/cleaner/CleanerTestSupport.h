// Scratch folders and files for the cleaner's tests, the same natively and under Wine.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs/Directory.h"
#include "platform/fs/Files.h"
#include "platform/registry/Registry.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vestrel::cleaner::testing {

namespace fs = platform::fs;

inline std::string Join(const std::string& folder, const std::string& name) {
    return fs::JoinPath(folder, name);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

inline std::optional<std::string> ReadFile(const std::string& path) { return fs::ReadWholeFile(path); }

inline bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

inline void MakeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    ASSERT_TRUE(std::filesystem::is_directory(path)) << path;
}

inline void MakeReadOnly(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY)) << path;
#else
    ASSERT_EQ(::chmod(path.c_str(), 0555), 0) << path;
#endif
}

// Some text of `size` bytes that is not zeros.
inline std::string Filler(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + i % 23);
    return text;
}

// A folder of its own below the system's temporary folder, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        const auto base = std::filesystem::temp_directory_path();
#ifdef _WIN32
        const unsigned long process = ::GetCurrentProcessId();
#else
        const unsigned long process = static_cast<unsigned long>(::getpid());
#endif
        path_ = (base / ("vestrel-cleaner-" + std::to_string(process) + "-" + std::to_string(counter++)))
                    .string();
        std::error_code error;
        std::filesystem::remove_all(path_, error);
        std::filesystem::create_directories(path_, error);
    }
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return Join(path_, name); }

    // Removes a tree made by a test, read-only entries included.
    static void RemoveTree(const std::string& path) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(path, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (!it->is_symlink()) fs::MakeWritable(it->path().string());
        }
        std::filesystem::remove_all(path, error);
    }

  private:
    std::string path_;
};

// Keeps a view on a file's bytes that outlives the file's deletion: on Windows the file is held open
// without delete sharing, as a browser holds its index files, so deleting it fails; natively a hard link
// elsewhere keeps the data. Contents() reads the bytes either way.
class HeldFile {
  public:
    HeldFile(const std::string& path, const std::string& side_folder) : path_(path) {
#ifdef _WIN32
        (void)side_folder;
        handle_ = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
        view_ = path;
#else
        static std::atomic<int> counter{0};
        view_ = Join(side_folder, "held-" + std::to_string(counter++));
        EXPECT_EQ(::link(path.c_str(), view_.c_str()), 0) << path;
#endif
    }
    ~HeldFile() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
#endif
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    std::optional<std::string> Contents() const { return ReadFile(view_); }

  private:
    std::string path_;
    std::string view_;
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#endif
};

// `size` bytes of filler with the first 64 kept and zeros after them, as zeroing leaves an index file.
inline std::string ZeroedAfterHeader(const std::string& original) {
    std::string expected = original;
    for (std::size_t i = 64; i < expected.size(); ++i) expected[i] = '\0';
    return expected;
}

inline void SetSetting(const settings::DwordSettingSpec& entry, std::uint32_t value) {
    settings::RegDwordSetting(entry, true).set(value);
}

// Clears the cleaner's settings ("IClear1" to "IClear7", "AutoClean", "Sleep") for a test and puts back
// what was there before, absent values included.
class CleanerSettingsGuard {
  public:
    static constexpr const settings::DwordSettingSpec* kSettings[] = {
        &settings::kClearHistory,   &settings::kClearTypedUrls,   &settings::kClearTemporaryFiles,
        &settings::kClearCookies,   &settings::kClearFormEntries, &settings::kClearPasswords,
        &settings::kClearFavorites, &settings::kAutoClean,        &settings::kSleep,
    };

    CleanerSettingsGuard() {
        for (const auto* entry : kSettings) {
            settings::RegDwordSetting setting(*entry);
            saved_.push_back({setting.loaded(), setting.get()});
            SetSetting(*entry, 0);
        }
    }
    ~CleanerSettingsGuard() {
        namespace registry = platform::registry;
        for (std::size_t i = 0; i < std::size(kSettings); ++i) {
            if (saved_[i].first) {
                SetSetting(*kSettings[i], saved_[i].second);
                continue;
            }
            registry::Key key;
            if (registry::OpenKey(registry::Hive::LocalMachine, std::string(settings::kCleanerKey),
                                  registry::kKeyWrite, key) == registry::kSuccess) {
                key.DeleteValue(settings::RegDwordSetting(*kSettings[i]).valueName());
            }
        }
    }
    CleanerSettingsGuard(const CleanerSettingsGuard&) = delete;
    CleanerSettingsGuard& operator=(const CleanerSettingsGuard&) = delete;

    static void AllOn() {
        for (std::size_t i = 0; i < 7; ++i) SetSetting(*kSettings[i], 1);
    }

  private:
    std::vector<std::pair<bool, std::uint32_t>> saved_;
};

}  // namespace vestrel::cleaner::testing
