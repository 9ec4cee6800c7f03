// The cleaning tasks in their order, and the schedule loop around them.
#include "cleaner/CleaningWorker.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>

#include "cleaner/CleanerPaths.h"
#include "cleaner/FolderWipe.h"
#include "platform/fs/Directory.h"
#include "platform/registry/Registry.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegMultiStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::cleaner {
namespace {

namespace fs = platform::fs;
namespace registry = platform::registry;

constexpr bool kKeepDesktopIni = false;
constexpr bool kZeroIndexFiles = true;
constexpr bool kLeaveIndexFiles = false;

// The longest single wait: the thread's sleep takes 32-bit milliseconds, and a "Sleep" large enough to
// overflow them must not turn into a short (or endless) wait.
constexpr std::chrono::milliseconds kLongestWait = std::chrono::hours(1);

bool FlagOn(const settings::DwordSettingSpec& entry) { return settings::RegDwordSetting(entry).get() == 1; }

void WipeBelow(const std::optional<std::string>& folder, std::string_view subfolder, bool zero_index_files) {
    if (folder && !folder->empty())
        wipeFolder(fs::JoinPath(*folder, subfolder), kKeepDesktopIni, zero_index_files);
}

void WipeShellFolder(CleaningSystem& system, ShellFolder which, bool zero_index_files) {
    if (const auto folder = system.SpecialFolder(which); folder && !folder->empty()) {
        wipeFolder(*folder, kKeepDesktopIni, zero_index_files);
    }
}

std::string FolderOrNothing(CleaningSystem& system, ShellFolder which) {
    return system.SpecialFolder(which).value_or(std::string());
}

}  // namespace

BrowserBoxes CheckedBrowserBoxes() {
    BrowserBoxes boxes;
    boxes.history = FlagOn(settings::kClearHistory);
    boxes.typed_addresses = FlagOn(settings::kClearTypedUrls);
    boxes.temporary_files = FlagOn(settings::kClearTemporaryFiles);
    boxes.cookies = FlagOn(settings::kClearCookies);
    boxes.form_entries = FlagOn(settings::kClearFormEntries);
    boxes.passwords = FlagOn(settings::kClearPasswords);
    return boxes;
}

std::vector<ProfileResult> CleanBrowsers(CleaningSystem& system, CleaningMode mode) {
    return CleanBrowsers(system, CheckedBrowserBoxes(), mode);
}

std::vector<ProfileResult> CleanBrowsers(CleaningSystem& system, const BrowserBoxes& boxes,
                                         CleaningMode mode) {
    static std::mutex one_run;
    const std::lock_guard<std::mutex> lock(one_run);
    const UserFolders folders{FolderOrNothing(system, ShellFolder::LocalAppData),
                              FolderOrNothing(system, ShellFolder::AppData)};
    const auto keep = NormaliseKeepList(settings::RegMultiStringSetting(settings::kKeepCookies).get());
    if (!boxes.Any()) return {};
    return CleanBrowserProfiles(FindBrowserProfiles(folders), boxes, keep, mode);
}

std::chrono::milliseconds CleaningWorker::Minutes(std::uint32_t minutes) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::minutes(minutes));
}

CleaningWorker::CleaningWorker(CleaningSystem& system, IntervalSource interval)
    : system_(system), interval_(std::move(interval)) {}

CleaningWorker::~CleaningWorker() { StopAndWait(); }

void CleaningWorker::Run(std::uint32_t /*argument*/) {
    while (!StopRequested()) {
        if (FlagOn(settings::kAutoClean)) runCleaning();
        std::uint32_t minutes = settings::RegDwordSetting(settings::kSleep).get();
        // No interval set (the privacy page never stores 0): once a minute, not a cleaning without pause.
        if (minutes == 0) minutes = 1;
        for (auto left = interval_(minutes); left.count() > 0;) {
            const auto wait = std::min(left, kLongestWait);
            if (SleepUnlessStopped(wait)) return;
            left -= wait;
        }
    }
}

std::vector<ProfileResult> CleaningWorker::runCleaning() { return RunCleaningTasks(system_); }

std::vector<ProfileResult> RunCleaningTasks(CleaningSystem& system) {
    // Every flag is read before any task runs, each through an object of its own.
    const bool history = FlagOn(settings::kClearHistory);
    const bool typed_urls = FlagOn(settings::kClearTypedUrls);
    const bool temporary_files = FlagOn(settings::kClearTemporaryFiles);
    const bool cookies = FlagOn(settings::kClearCookies);
    const bool form_entries = FlagOn(settings::kClearFormEntries);
    const bool passwords = FlagOn(settings::kClearPasswords);
    const bool favorites = FlagOn(settings::kClearFavorites);

    if (history) {
        system.ClearHistoryList();
        WipeBelow(system.WindowsFolder(), kHistoryFolder, kZeroIndexFiles);
        WipeShellFolder(system, ShellFolder::History, kZeroIndexFiles);
        WipeBelow(system.TemporaryFolder(), kHistoryFolder, kZeroIndexFiles);
    }
    if (typed_urls) registry::DeleteKeyTree(registry::Hive::CurrentUser, std::string(kTypedUrlsKey));
    if (temporary_files) {
        system.purgeUrlCache(UrlCacheMode::AllButCookies);
        WipeShellFolder(system, ShellFolder::InternetCache, kLeaveIndexFiles);
        WipeBelow(system.TemporaryFolder(), kTemporaryInternetFilesFolder, kLeaveIndexFiles);
    }
    if (cookies) {
        system.purgeUrlCache(UrlCacheMode::CookiesOnly);
        WipeShellFolder(system, ShellFolder::Cookies, kLeaveIndexFiles);
        WipeBelow(system.TemporaryFolder(), kCookiesFolder, kLeaveIndexFiles);
    }
    if (form_entries) {
        if (system.IsNtFamily()) system.ClearUserAutoCompleteStore();
        // On every system, the store kept below the user's name in HKEY_LOCAL_MACHINE. A missing or empty
        // name would name some other key.
        if (const auto user = system.UserName();
            user && !user->empty() && user->find('\\') == std::string::npos) {
            registry::DeleteKeyTree(
                registry::Hive::LocalMachine,
                std::string(kProtectedStorageKey) + *user + std::string(kDataAutoCompleteStoreSuffix));
        }
    }
    if (passwords) registry::DeleteKeyTree(registry::Hive::CurrentUser, std::string(kIntelliFormsKey));
    if (favorites) WipeShellFolder(system, ShellFolder::Favorites, kLeaveIndexFiles);
    BrowserBoxes boxes;
    boxes.history = history;
    boxes.typed_addresses = typed_urls;
    boxes.temporary_files = temporary_files;
    boxes.cookies = cookies;
    boxes.form_entries = form_entries;
    boxes.passwords = passwords;
    return CleanBrowsers(system, boxes, CleaningMode::Clean);
}

}  // namespace vestrel::cleaner
