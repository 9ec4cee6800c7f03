// Helpers shared by the catalogue tests: a scratch folder of the test's own and program settings that
// are removed before and after each test, so that tests under Wine leave the prefix's registry clean.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/Files.h"
#include "platform/registry/Registry.h"
#include "settings/SettingsTable.h"

namespace vestrel::catalogue::testing {

// The path a CTest fixture hands over in the environment variable `variable`, "" when unset. It is a
// Linux path; under Wine the root of the Linux tree is drive Z:.
inline std::string FixturePath(const char* variable) {
    const char* value = std::getenv(variable);
    std::string path = value == nullptr ? "" : value;
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') {
        for (char& c : path) c = c == '/' ? '\\' : c;
        path = "Z:" + path;
    }
#endif
    return path;
}

// The name=port lines of a fixture's peers file; empty when it cannot be read.
inline std::map<std::string, int> ReadPeersFile(const std::string& path) {
    std::map<std::string, int> peers;
    const std::optional<std::string> text = platform::fs::ReadWholeFile(path);
    if (!text) return peers;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        const std::string line = text->substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) peers[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
    }
    return peers;
}

class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("vestrel-catalogue-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Path() const { return path_.string(); }
    std::string File(std::string_view name) const { return (path_ / std::string(name)).string(); }

  private:
    std::filesystem::path path_;
};

// Deletes the named values under the program's key when made and when destroyed.
class ScopedProgramValues {
  public:
    explicit ScopedProgramValues(std::initializer_list<std::string_view> names)
        : names_(names.begin(), names.end()) {
        Clear();
    }
    ~ScopedProgramValues() { Clear(); }
    ScopedProgramValues(const ScopedProgramValues&) = delete;
    ScopedProgramValues& operator=(const ScopedProgramValues&) = delete;

  private:
    void Clear() {
        namespace registry = platform::registry;
        registry::Key key;
        if (registry::OpenKey(registry::Hive::LocalMachine, std::string(settings::kProgramKey),
                              registry::kKeyReadWrite, key) != registry::kSuccess) {
            return;
        }
        for (const std::string& name : names_) key.DeleteValue(name);
    }

    std::vector<std::string> names_;
};

}  // namespace vestrel::catalogue::testing
