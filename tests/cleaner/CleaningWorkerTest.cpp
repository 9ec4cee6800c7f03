// The seven cleaning tasks against recorded system services and real scratch folders and keys, and the
// schedule loop with a shortened interval. Runs natively and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cleaner/CleanerPaths.h"
#include "cleaner/CleaningWorker.h"
#include "platform/registry/Registry.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"
#include "tests/cleaner/CleanerTestSupport.h"

namespace vestrel::cleaner {
namespace {

using namespace vestrel::cleaner::testing;
namespace registry = platform::registry;
using registry::Hive;

// System services over scratch folders; every call is recorded.
class FakeSystem final : public CleaningSystem {
  public:
    explicit FakeSystem(const ScratchFolder& scratch)
        : windows(scratch / "Windows"),
          temporary(Join(scratch.path(), "Temp") + fs::kPathSeparator),
          history(scratch / "HistoryShell"),
          cache(scratch / "CacheShell"),
          cookies(scratch / "CookieShell"),
          favorites(scratch / "Favorites") {}

    void ClearHistoryList() override { Record("ClearHistoryList"); }
    std::optional<std::string> WindowsFolder() override { return windows; }
    std::optional<std::string> TemporaryFolder() override { return temporary; }
    std::optional<std::string> SpecialFolder(ShellFolder folder) override {
        switch (folder) {
            case ShellFolder::History:
                return history;
            case ShellFolder::InternetCache:
                return cache;
            case ShellFolder::Cookies:
                return cookies;
            case ShellFolder::Favorites:
                return favorites;
            case ShellFolder::AppData:
            case ShellFolder::LocalAppData:
                return std::nullopt;  // no browsers here: their cleaning has tests of its own
        }
        return std::nullopt;
    }
    bool purgeUrlCache(UrlCacheMode mode) override {
        Record(mode == UrlCacheMode::CookiesOnly ? "purge cookies" : "purge others");
        return true;
    }
    bool IsNtFamily() override { return nt_family; }
    void ClearUserAutoCompleteStore() override { Record("ClearUserAutoCompleteStore"); }
    std::optional<std::string> UserName() override { return user_name; }

    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int HistoryClears() { return history_clears_.load(); }

    std::string windows, temporary, history, cache, cookies, favorites;
    bool nt_family = true;
    std::optional<std::string> user_name = "alice";

  private:
    void Record(const std::string& call) {
        if (call == "ClearHistoryList") ++history_clears_;
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
    std::atomic<int> history_clears_{0};
};

const std::string kUserStore =
    std::string(kProtectedStorageKey) + "alice" + std::string(kDataAutoCompleteStoreSuffix);
const std::string kUserData = std::string(kProtectedStorageKey) + "alice\\Data";
const std::string kOtherUserStore =
    std::string(kProtectedStorageKey) + "bob" + std::string(kDataAutoCompleteStoreSuffix);

bool KeyExists(Hive hive, const std::string& path) {
    registry::Key key;
    return registry::OpenKey(hive, path, registry::kKeyRead, key) == registry::kSuccess;
}

void MakeKey(Hive hive, const std::string& path) {
    registry::Key key;
    ASSERT_EQ(registry::CreateKey(hive, path, registry::kKeyWrite, key, nullptr), registry::kSuccess) << path;
    const std::uint32_t one = 1;
    key.SetValue("url1", registry::kTypeDword, &one, sizeof one);
}

// Every place a task erases, filled; the cleaner's settings saved and cleared around each test.
class CleaningTasksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_ = std::make_unique<CleanerSettingsGuard>();
        for (const std::string& folder : Folders()) {
            MakeFolder(folder + "/sub/deeper");
            WriteFile(Join(folder, "desktop.ini"), "[.ShellClassInfo]");
            WriteFile(Join(folder, "entry.txt"), "trace");
            WriteFile(folder + "/sub/deeper/page.htm", "trace");
        }
        for (const auto& [hive, key] : Keys()) MakeKey(hive, key);
    }
    void TearDown() override {
        settings_.reset();
        for (const auto& [hive, key] : Keys()) registry::DeleteKeyTree(hive, key);
        registry::DeleteKeyTree(Hive::CurrentUser, std::string(kTypedUrlsKey));
        registry::DeleteKeyTree(Hive::CurrentUser, std::string(kIntelliFormsKey));
        registry::DeleteKeyTree(Hive::LocalMachine, std::string(kProtectedStorageKey) + "alice");
        registry::DeleteKeyTree(Hive::LocalMachine, std::string(kProtectedStorageKey) + "bob");
    }

    static void Set(const settings::DwordSettingSpec& flag, std::uint32_t value) { SetSetting(flag, value); }

    std::vector<std::string> Folders() const {
        return {Join(system_.windows, "History"),
                Join(system_.temporary, "History"),
                system_.history,
                system_.cache,
                Join(system_.temporary, "Temporary Internet Files"),
                system_.cookies,
                Join(system_.temporary, "Cookies"),
                system_.favorites};
    }
    static std::vector<std::pair<Hive, std::string>> Keys() {
        return {{Hive::CurrentUser, std::string(kTypedUrlsKey) + "\\sub"},
                {Hive::CurrentUser, std::string(kIntelliFormsKey) + "\\SPW\\entry"},
                {Hive::LocalMachine, kUserStore + "\\x"},
                {Hive::LocalMachine, kOtherUserStore}};
    }

    // True when the folder kept nothing but its desktop.ini.
    static bool Emptied(const std::string& folder) {
        std::vector<fs::DirectoryEntry> entries;
        if (fs::ListDirectory(folder, entries)) return false;
        return entries.size() == 1 && entries[0].name == "desktop.ini";
    }
    static bool Untouched(const std::string& folder) {
        return Exists(Join(folder, "entry.txt")) && Exists(folder + "/sub/deeper/page.htm");
    }

    ScratchFolder scratch_;
    FakeSystem system_{scratch_};
    CleaningWorker worker_{system_};
    std::unique_ptr<CleanerSettingsGuard> settings_;
};

TEST_F(CleaningTasksTest, WithEveryFlagOffNothingIsTouched) {
    Set(settings::kClearHistory, 2);  // only 1 counts as on
    worker_.runCleaning();
    EXPECT_TRUE(system_.Calls().empty());
    for (const std::string& folder : Folders()) EXPECT_TRUE(Untouched(folder)) << folder;
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, std::string(kTypedUrlsKey)));
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, std::string(kIntelliFormsKey)));
    EXPECT_TRUE(KeyExists(Hive::LocalMachine, kUserStore));
}

// Each flag alone erases its own traces and nothing else.
TEST_F(CleaningTasksTest, EachFlagErasesOnlyItsOwnTraces) {
    struct Case {
        const settings::DwordSettingSpec* flag;
        std::vector<std::string> folders;  // emptied
        std::vector<std::string> calls;
        std::string deleted_key;  // HKEY_CURRENT_USER, or the user's store in HKEY_LOCAL_MACHINE
    };
    const std::vector<Case> cases{
        {&settings::kClearHistory,
         {Join(system_.windows, "History"), system_.history, Join(system_.temporary, "History")},
         {"ClearHistoryList"},
         ""},
        {&settings::kClearTypedUrls, {}, {}, std::string(kTypedUrlsKey)},
        {&settings::kClearTemporaryFiles,
         {system_.cache, Join(system_.temporary, "Temporary Internet Files")},
         {"purge others"},
         ""},
        {&settings::kClearCookies,
         {system_.cookies, Join(system_.temporary, "Cookies")},
         {"purge cookies"},
         ""},
        {&settings::kClearFormEntries, {}, {"ClearUserAutoCompleteStore"}, kUserStore},
        {&settings::kClearPasswords, {}, {}, std::string(kIntelliFormsKey)},
        {&settings::kClearFavorites, {system_.favorites}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.flag->full_path));
        TearDown();
        SetUp();
        FakeSystem system(scratch_);
        CleaningWorker worker(system);
        Set(*c.flag, 1);
        worker.runCleaning();
        EXPECT_EQ(system.Calls(), c.calls);
        for (const std::string& folder : Folders()) {
            const bool expected = std::find(c.folders.begin(), c.folders.end(), folder) != c.folders.end();
            EXPECT_EQ(Emptied(folder), expected) << folder;
            EXPECT_EQ(Untouched(folder), !expected) << folder;
        }
        for (const std::string& key : {std::string(kTypedUrlsKey), std::string(kIntelliFormsKey)}) {
            EXPECT_EQ(KeyExists(Hive::CurrentUser, key), key != c.deleted_key) << key;
        }
        EXPECT_EQ(KeyExists(Hive::LocalMachine, kUserStore), c.deleted_key != kUserStore);
        EXPECT_TRUE(KeyExists(Hive::LocalMachine, kOtherUserStore)) << "another user's store was deleted";
        Set(*c.flag, 0);
    }
}

TEST_F(CleaningTasksTest, AllTasksRunInTheirOrder) {
    CleanerSettingsGuard::AllOn();
    worker_.runCleaning();
    const std::vector<std::string> expected{"ClearHistoryList", "purge others", "purge cookies",
                                            "ClearUserAutoCompleteStore"};
    EXPECT_EQ(system_.Calls(), expected);
    for (const std::string& folder : Folders()) EXPECT_TRUE(Emptied(folder)) << folder;
}

TEST_F(CleaningTasksTest, HistoryIndexFilesAreZeroedAndCacheOnesAreNot) {
    const std::string original = Filler(64 + 500);
    const std::string history_index = Join(system_.history, "index.dat");
    const std::string cache_index = Join(system_.cache, "index.dat");
    const std::string cookie_index = Join(system_.cookies, "index.dat");
    for (const auto& path : {history_index, cache_index, cookie_index}) WriteFile(path, original);
    HeldFile history(history_index, scratch_.path());
    HeldFile cache(cache_index, scratch_.path());
    HeldFile cookies(cookie_index, scratch_.path());
    for (const auto* flag :
         {&settings::kClearHistory, &settings::kClearTemporaryFiles, &settings::kClearCookies}) {
        Set(*flag, 1);
    }
    worker_.runCleaning();
    EXPECT_EQ(history.Contents(), ZeroedAfterHeader(original));
    EXPECT_EQ(cache.Contents(), original);
    EXPECT_EQ(cookies.Contents(), original);
}

TEST_F(CleaningTasksTest, FormEntriesOutsideTheNtFamilyOnlyDeleteTheStoreNamedAfterTheUser) {
    system_.nt_family = false;
    MakeKey(Hive::LocalMachine, kUserData + "\\other");
    Set(settings::kClearFormEntries, 1);
    worker_.runCleaning();
    EXPECT_TRUE(system_.Calls().empty());
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, kUserStore));
    EXPECT_TRUE(KeyExists(Hive::LocalMachine, kUserData + "\\other")) << "only the AutoComplete store goes";
}

TEST_F(CleaningTasksTest, AnEmptyUserNameDeletesNoStore) {
    system_.nt_family = false;
    MakeKey(Hive::LocalMachine,
            std::string(kProtectedStorageKey) + std::string(kDataAutoCompleteStoreSuffix).substr(1));
    system_.user_name = "";
    Set(settings::kClearFormEntries, 1);
    worker_.runCleaning();
    EXPECT_TRUE(KeyExists(Hive::LocalMachine, kUserStore));
    EXPECT_TRUE(KeyExists(Hive::LocalMachine, kOtherUserStore));
    EXPECT_TRUE(KeyExists(Hive::LocalMachine, std::string(kProtectedStorageKey) +
                                                  std::string(kDataAutoCompleteStoreSuffix).substr(1)));
    registry::DeleteKeyTree(Hive::LocalMachine, std::string(kProtectedStorageKey) + "Data");
}

TEST_F(CleaningTasksTest, MissingSystemFoldersAreSkipped) {
    system_.history = scratch_ / "not-there";
    system_.favorites.clear();
    Set(settings::kClearHistory, 1);
    Set(settings::kClearFavorites, 1);
    worker_.runCleaning();
    EXPECT_TRUE(Emptied(Join(system_.windows, "History")));
    EXPECT_FALSE(Exists(scratch_ / "not-there"));
    EXPECT_TRUE(Untouched(scratch_ / "Favorites"));
}

// The schedule loop, with every "minute" a millisecond.
class ScheduleTest : public CleaningTasksTest {
  protected:
    // Waits until `done` holds, at most five seconds.
    template <typename Predicate>
    static bool WaitFor(Predicate done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    std::chrono::milliseconds Interval(std::uint32_t minutes) {
        last_minutes_.store(minutes);
        ++waits_;
        return std::chrono::milliseconds(1);
    }

    std::atomic<std::uint32_t> last_minutes_{0};
    std::atomic<int> waits_{0};
};

TEST_F(ScheduleTest, CleansAtOnceAndAfterEveryIntervalWhileSwitchedOn) {
    Set(settings::kClearHistory, 1);
    Set(settings::kAutoClean, 1);
    Set(settings::kSleep, 7);
    FakeSystem system(scratch_);
    CleaningWorker worker(system, [this](std::uint32_t minutes) { return Interval(minutes); });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitFor([&] { return system.HistoryClears() >= 3; }));
    EXPECT_EQ(last_minutes_.load(), 7u);

    // Each round reads the settings afresh: switching off stops the cleaning, not the loop.
    Set(settings::kAutoClean, 0);
    Set(settings::kSleep, 3);
    ASSERT_TRUE(WaitFor([&] { return last_minutes_.load() == 3; }));
    const int waits = waits_.load();
    ASSERT_TRUE(WaitFor([&] { return waits_.load() > waits + 2; }));
    const int clears = system.HistoryClears();
    ASSERT_TRUE(WaitFor([&] { return waits_.load() > waits + 5; }));
    EXPECT_EQ(system.HistoryClears(), clears);
}

TEST_F(ScheduleTest, NoIntervalMeansOneMinuteAndSwitchedOffMeansNoCleaning) {
    Set(settings::kClearHistory, 1);
    FakeSystem system(scratch_);
    CleaningWorker worker(system, [this](std::uint32_t minutes) { return Interval(minutes); });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitFor([&] { return waits_.load() >= 3; }));
    EXPECT_EQ(last_minutes_.load(), 1u);
    EXPECT_EQ(system.HistoryClears(), 0);
}

TEST_F(ScheduleTest, TheProductIntervalIsMinutesAndAStopEndsALongSleep) {
    EXPECT_EQ(CleaningWorker::Minutes(1), std::chrono::milliseconds(60000));
    EXPECT_EQ(CleaningWorker::Minutes(31999), std::chrono::milliseconds(31999LL * 60000));
    EXPECT_EQ(CleaningWorker::Minutes(0xFFFFFFFFu), std::chrono::milliseconds(0xFFFFFFFFLL * 60000));

    Set(settings::kSleep, 0xFFFFFFFFu);
    FakeSystem system(scratch_);
    const auto started = std::chrono::steady_clock::now();
    {
        CleaningWorker worker(system);
        ASSERT_TRUE(worker.Start());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }  // the destructor stops the sleeping loop
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
}  // namespace vestrel::cleaner
