// What the whole-program tests set up before they start Vestrel.exe: its registry settings, a folder
// of its own for its files, and the judge of a fixture's list service.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "catalogue/ProxyJudge.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app::testing {

// The settings are read again from the registry each time: the program writes them meanwhile.
inline void SetDword(const settings::DwordSettingSpec& entry, std::uint32_t value) {
    settings::RegDwordSetting(entry, true).set(value);
}
inline std::uint32_t GetDword(const settings::DwordSettingSpec& entry) {
    return settings::RegDwordSetting(entry, true).get();
}
inline void SetString(const settings::StringSettingSpec& entry, const std::string& value) {
    settings::RegStringSetting(entry, true).set(value);
}
inline std::string GetString(const settings::StringSettingSpec& entry) {
    return settings::RegStringSetting(entry, true).get();
}

// A fresh folder under the temporary one, named for the test and this process.
inline std::filesystem::path TestFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const auto folder = std::filesystem::path(temp) / (name + "-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    return folder;
}

// Keeps a test's refreshes and judge checks on loopback: no public lists, and the judge at the list
// service on `list_port` (left empty, JudgeUrl means the public judges on the Internet).
inline void StayOnLoopback(int list_port) {
    SetDword(settings::kPublicLists, 0);
    SetString(settings::kJudgeUrl,
              "http://127.0.0.1:" + std::to_string(list_port) + std::string(catalogue::kJudgePath));
}

// Points the list server and the judge, over HTTP and HTTPS, at a fixture's list service (the peers
// "list", "judge" and "judge_https").
inline void UseFixtureJudge(const std::map<std::string, int>& peers) {
    SetDword(settings::kPublicLists, 0);
    SetString(settings::kListServer, "127.0.0.1:" + std::to_string(peers.at("list")));
    SetString(settings::kJudgeUrl,
              "http://127.0.0.1:" + std::to_string(peers.at("judge")) + std::string(catalogue::kJudgePath));
    SetString(settings::kJudgeHttpsUrl, "https://127.0.0.1:" + std::to_string(peers.at("judge_https")) +
                                            std::string(catalogue::kJudgePath));
}
inline void ForgetFixtureJudge() {
    SetString(settings::kJudgeUrl, "");
    SetString(settings::kJudgeHttpsUrl, "");
}

}  // namespace vestrel::app::testing
