// The browsers' traces: their own lists of profiles read as the browsers write them, the keep list's
// matching, and one scenario on real profiles that Debian's chromium and firefox-esr wrote (the
// cleaner_browser_profiles fixture), laid out as the Windows browsers keep them: natively below a scratch
// folder, under Wine in the Wine user's own %LOCALAPPDATA% and %APPDATA% through the Windows cleaning
// system. The cleaned profiles are left in place for the sqlite3 checks and the browsers' second start
// (browsers/check-cleaned.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cleaner/BrowserCleaning.h"
#include "cleaner/BrowserProfiles.h"
#include "cleaner/CleaningWorker.h"
#include "cleaner/SqliteDatabase.h"
#include "settings/RegMultiStringSetting.h"
#include "tests/cleaner/CleanerTestSupport.h"

#ifdef _WIN32
#include "cleaner/win/WindowsCleaningSystem.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vestrel::cleaner {
namespace {

using namespace vestrel::cleaner::testing;
namespace stdfs = std::filesystem;

TEST(BrowserProfileLists, ReadTheBrowsersOwnLists) {
    EXPECT_EQ(ChromiumProfileNames(R"({"profile":{"info_cache":{"Default":{},"Profile 3":{"name":"Work"},
        "Guest Profile":{},"System Profile":{},"..":{},"a/../../x":{}},"last_used":"Profile 3"}})"),
              (std::vector<std::string>{"Default", "Profile 3"}));
    EXPECT_TRUE(ChromiumProfileNames(R"({"profile":{"info_cache":[]}})").empty());
    EXPECT_TRUE(ChromiumProfileNames("{\"profile\": {").empty());

    const auto entries = GeckoProfileEntries(
        "[General]\nStartWithLastProfile=1\n\n[Profile1]\nName=b\nIsRelative=0\nPath=D:\\Profiles\\b\r\n"
        "[Install308046B0AF4A39CB]\nDefault=Profiles/x.default\n[Profile0]\r\nName=a\r\nIsRelative=1\r\n"
        "Path=Profiles/abc.default-release\r\nDefault=1\r\n[ProfileX]\nPath=nope\n[Profile2]\nName=empty\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "D:\\Profiles\\b");
    EXPECT_FALSE(entries[0].is_relative);
    EXPECT_EQ(entries[1].path, "Profiles/abc.default-release");
    EXPECT_TRUE(entries[1].is_relative);

    EXPECT_EQ(ChromiumBookmarkUrls(R"({"roots":{"bookmark_bar":{"type":"folder","children":[
        {"type":"url","url":"http://a.test/"},{"type":"folder","children":[{"type":"url","url":"http://b.test/"}]}]},
        "other":{"type":"folder","children":[]}}})"),
              (std::vector<std::string>{"http://a.test/", "http://b.test/"}));
}

TEST(KeepList, SitesKeepThemselvesAndTheirSubdomains) {
    const auto sites = NormaliseKeepList(
        {"Example.COM", "https://mail.test:443/inbox", ".dotted.test.", "", "bad host", "example.com"});
    EXPECT_EQ(sites, (std::vector<std::string>{"example.com", "mail.test", "dotted.test"}));
    const struct {
        const char* host;
        bool kept;
    } cases[] = {{"example.com", true},      {".example.com", true},    {"www.example.com", true},
                 {".a.b.example.com", true}, {"notexample.com", false}, {"example.com.evil.test", false},
                 {"mail.test", true},        {"other.test", false},     {"DOTTED.test", true}};
    for (const auto& c : cases) EXPECT_EQ(KeepsCookieHost(sites, c.host), c.kept) << c.host;
    EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
    EXPECT_EQ(GroupedNumber(999), "999");
}

// ---- The scenario on real profiles ----

std::string ProfilesFixture() {
    const char* folder = std::getenv("VESTREL_BROWSER_PROFILES");
    if (folder == nullptr) return {};
#ifdef _WIN32
    return std::string("Z:") + folder;  // the Unix root under Wine
#else
    return folder;
#endif
}

std::string Below(const std::string& base, std::initializer_list<const char*> parts) {
    std::string path = base;
    for (const char* part : parts) path = Join(path, part);
    return path;
}

void CopyTree(const std::string& from, const std::string& to) {
    std::error_code error;
    stdfs::create_directories(to, error);
    stdfs::copy(from, to, stdfs::copy_options::recursive | stdfs::copy_options::overwrite_existing, error);
    ASSERT_FALSE(error) << from << " -> " << to << ": " << error.message();
}

// Every file below `folder` with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (auto it = stdfs::recursive_directory_iterator(folder, error);
         !error && it != stdfs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file()) files[it->path().string()] = ReadFile(it->path().string()).value_or("?");
    }
    return files;
}

std::int64_t Rows(const std::string& database, const std::string& query) {
    auto db = SqliteDatabase::OpenReadOnly(database);
    if (!db) return -1;
    return db->Number(query).value_or(-1);
}

bool Contains(const std::string& path, const std::string& text) {
    return ReadFile(path).value_or("").find(text) != std::string::npos;
}

// Holds a browser's lock file as the running browser does.
class HeldLock {
  public:
    explicit HeldLock(const std::string& path) {
        WriteFile(path, "");
#ifdef _WIN32
        handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
#else
        // An fcntl lock shows only to other processes: a child takes it and keeps it until told.
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(release_), 0);
        child_ = ::fork();
        if (child_ == 0) {
            const int fd = ::open(path.c_str(), O_RDWR);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            ::fcntl(fd, F_SETLK, &lock);
            char byte = 1;
            (void)!::write(ready[1], &byte, 1);
            (void)!::read(release_[0], &byte, 1);
            ::_exit(0);
        }
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
#endif
    }
    ~HeldLock() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
#else
        char byte = 1;
        (void)!::write(release_[1], &byte, 1);
        int status = 0;
        ::waitpid(child_, &status, 0);
        ::close(release_[0]);
        ::close(release_[1]);
#endif
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

  private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    pid_t child_ = -1;
    int release_[2] = {-1, -1};
#endif
};

#ifndef _WIN32
// The user's two folders below the build tree, where the checks after this test find them.
class StagedSystem final : public CleaningSystem {
  public:
    explicit StagedSystem(std::string root) : root_(std::move(root)) {}
    void ClearHistoryList() override {}
    std::optional<std::string> WindowsFolder() override { return std::nullopt; }
    std::optional<std::string> TemporaryFolder() override { return std::nullopt; }
    std::optional<std::string> SpecialFolder(ShellFolder folder) override {
        if (folder == ShellFolder::LocalAppData) return Join(root_, "Local");
        if (folder == ShellFolder::AppData) return Join(root_, "Roaming");
        return std::nullopt;
    }
    bool purgeUrlCache(UrlCacheMode) override { return true; }
    bool IsNtFamily() override { return true; }
    void ClearUserAutoCompleteStore() override {}
    std::optional<std::string> UserName() override { return std::nullopt; }

  private:
    std::string root_;
};
#endif

class RealProfiles : public ::testing::Test {
  protected:
    void SetUp() override {
        fixture_ = ProfilesFixture();
        if (fixture_.empty() || !Exists(Join(fixture_, "ready")))
            GTEST_SKIP() << "no browser profiles fixture";
#ifdef _WIN32
        system_ = &PlatformCleaningSystem();
#else
        const char* binary = std::getenv("VESTREL_BINARY_DIR");
        ASSERT_NE(binary, nullptr);
        staged_.emplace(Join(binary, "browser-cleaning"));
        system_ = &*staged_;
#endif
        local_ = system_->SpecialFolder(ShellFolder::LocalAppData).value_or("");
        roaming_ = system_->SpecialFolder(ShellFolder::AppData).value_or("");
        ASSERT_FALSE(local_.empty());
        ASSERT_FALSE(roaming_.empty());
        chrome_ = Below(local_, {"Google", "Chrome", "User Data"});
        edge_ = Below(local_, {"Microsoft", "Edge", "User Data"});
        firefox_ = Below(roaming_, {"Mozilla", "Firefox"});
        for (const std::string& folder : {Below(local_, {"Google"}), Below(local_, {"Microsoft", "Edge"}),
                                          Below(local_, {"Mozilla"}), Below(roaming_, {"Mozilla"})}) {
            ScratchFolder::RemoveTree(folder);
        }
        // Chrome on Windows keeps its cookies below Network: so does Default here; the second profile
        // keeps them at the top, where versions before 96 did.
        CopyTree(Join(fixture_, "chromium"), chrome_);
        const std::string network = Below(chrome_, {"Default", "Network"});
        MakeFolder(network);
        for (const char* name : {"Cookies", "Cookies-journal"}) {
            if (Exists(Below(chrome_, {"Default", name}))) {
                stdfs::rename(Below(chrome_, {"Default", name}), Join(network, name));
            }
        }
        CopyTree(Join(fixture_, "chromium"), edge_);
        CopyTree(Join(fixture_, "firefox"), firefox_);
        CopyTree(Join(fixture_, "firefox-cache"), Below(local_, {"Mozilla", "Firefox"}));
        for (const auto& entry : GeckoProfileEntries(ReadFile(Join(firefox_, "profiles.ini")).value_or(""))) {
            firefox_profiles_.push_back(Join(firefox_, entry.path));
        }
        ASSERT_EQ(firefox_profiles_.size(), 2u);
        // First the profile that visited both sites and has the bookmark.
        std::partition(firefox_profiles_.begin(), firefox_profiles_.end(),
                       [](const std::string& path) { return path.ends_with("vestrel-one"); });
        keep_ = settings::RegMultiStringSetting(settings::kKeepCookies).get();
        ASSERT_FALSE(settings::RegMultiStringSetting(settings::kKeepCookies).set({"kept.test"}));
    }
    void TearDown() override {
        if (fixture_.empty()) return;
        settings::RegMultiStringSetting(settings::kKeepCookies).set(keep_);
#ifdef _WIN32
        // Other tests of the run want the Wine user's folders without browsers: the cleaned profiles
        // move to the build tree, where the checks after this test look for them.
        const char* binary = std::getenv("VESTREL_BINARY_DIR");
        ASSERT_NE(binary, nullptr);
        const std::string kept = std::string("Z:") + binary + "\\browser-cleaning";
        ScratchFolder::RemoveTree(kept);
        const std::pair<std::string, std::string> moves[] = {
            {Below(local_, {"Google"}), Below(kept, {"Local", "Google"})},
            {Below(local_, {"Microsoft", "Edge"}), Below(kept, {"Local", "Microsoft", "Edge"})},
            {Below(local_, {"Mozilla"}), Below(kept, {"Local", "Mozilla"})},
            { Below(roaming_, {"Mozilla"}),
              Below(kept, {"Roaming", "Mozilla"}) }};
        for (const auto& [from, to] : moves) {
            CopyTree(from, to);
            ScratchFolder::RemoveTree(from);
        }
#endif
    }

    static BrowserBoxes AllBoxes() { return {true, true, true, true, true, true}; }

    static const ProfileResult* Find(const std::vector<ProfileResult>& results, const std::string& browser,
                                     const std::string& profile) {
        for (const ProfileResult& result : results) {
            if (result.browser == browser && result.profile == profile) return &result;
        }
        return nullptr;
    }

    std::string fixture_, local_, roaming_, chrome_, edge_, firefox_;
    std::vector<std::string> firefox_profiles_;
    std::vector<std::string> keep_;
    CleaningSystem* system_ = nullptr;
#ifndef _WIN32
    std::optional<StagedSystem> staged_;
#endif
};

TEST_F(RealProfiles, PreviewCountsWhatTheCleanThenRemovesAndLeavesAnOpenBrowserWhole) {
    const std::string chrome_default = Join(chrome_, "Default");
    const std::string history = Join(chrome_default, "History");
    const std::string cookies = Below(chrome_default, {"Network", "Cookies"});
    const std::string old_cookies = Below(chrome_, {"Profile 1", "Cookies"});
    const std::string web_data = Join(chrome_default, "Web Data");
    ASSERT_GT(Rows(history, "SELECT count(*) FROM visits"), 0);
    ASSERT_GT(Rows(Join(chrome_default, "Web Data"), "SELECT count(*) FROM autofill"), 0);
    const auto keywords = Rows(web_data, "SELECT count(*) FROM keywords");
    const std::string bookmarks = ReadFile(Join(chrome_default, "Bookmarks")).value_or("");
    const auto bookmarked = ChromiumBookmarkUrls(bookmarks);
    ASSERT_EQ(bookmarked.size(), 1u);
    const std::string places = Join(firefox_profiles_[0], "places.sqlite");
    const auto firefox_bookmarks = Rows(places, "SELECT count(*) FROM moz_bookmarks");

    // Edge runs: its lock is held, and nothing of it may change.
    HeldLock edge_running(Join(edge_, "lockfile"));
    const auto edge_before = Snapshot(edge_);

    const auto before = Snapshot(local_);
    const auto preview = CleanBrowsers(*system_, AllBoxes(), CleaningMode::Preview);
    EXPECT_EQ(Snapshot(local_), before) << "the preview changed a file";

    ASSERT_NE(Find(preview, "Chrome", "Default"), nullptr);
    ASSERT_NE(Find(preview, "Chrome", "Profile 1"), nullptr);
    ASSERT_NE(Find(preview, "Edge", "Default"), nullptr);
    EXPECT_TRUE(Find(preview, "Edge", "Default")->in_use);
    const CleaningFigures& chrome = Find(preview, "Chrome", "Default")->figures;
    EXPECT_EQ(chrome.Rows(RowKind::Visits),
              static_cast<std::uint64_t>(Rows(history, "SELECT count(*) FROM visits")));
    EXPECT_EQ(chrome.Rows(RowKind::Cookies),
              static_cast<std::uint64_t>(
                  Rows(cookies, "SELECT count(*) FROM cookies WHERE host_key = 'other.test'")));
    EXPECT_GE(chrome.Rows(RowKind::FormEntries), 1u);
    EXPECT_EQ(chrome.Rows(RowKind::Passwords), 1u);
    EXPECT_GT(chrome.files, 0u);

    const auto cleaned = CleanBrowsers(*system_, AllBoxes(), CleaningMode::Clean);
    ASSERT_EQ(cleaned.size(), preview.size());
    for (std::size_t i = 0; i < cleaned.size(); ++i) {
        EXPECT_EQ(cleaned[i].figures, preview[i].figures)
            << cleaned[i].browser << " " << cleaned[i].profile << ": " << FiguresSummary({cleaned[i]})
            << " vs " << FiguresSummary({preview[i]});
        EXPECT_EQ(cleaned[i].figures.skipped, 0u) << cleaned[i].browser << " " << cleaned[i].profile;
    }
    EXPECT_EQ(Snapshot(edge_), edge_before) << "an open browser's profile was touched";
    const std::string summary = FiguresSummary(cleaned);
    RecordProperty("preview", FiguresSummary(preview));
    RecordProperty("summary", summary);
    EXPECT_NE(summary.find("Chrome (2 profiles): "), std::string::npos) << summary;
    EXPECT_NE(summary.find("Edge was open: left."), std::string::npos) << summary;
    EXPECT_NE(summary.find("Firefox (2 profiles): "), std::string::npos) << summary;
    EXPECT_EQ(OpenBrowsersNotice(cleaned),
              "Edge is open, so its traces were left. Close it and clean again.");

    // History: no visit, no page but the bookmarked one, and nothing of them left in the file's bytes.
    EXPECT_EQ(Rows(history, "SELECT count(*) FROM visits"), 0);
    EXPECT_EQ(Rows(history, "SELECT count(*) FROM urls"), 1);
    EXPECT_EQ(Rows(history, "SELECT max(visit_count) FROM urls"), 0);
    EXPECT_FALSE(Contains(history, "other.test")) << "deleted rows stay readable in History";
    EXPECT_FALSE(Exists(Join(chrome_default, "Visited Links")));
    EXPECT_EQ(ReadFile(Join(chrome_default, "Bookmarks")).value_or(""), bookmarks);
    // Cookies: the kept site's, at both places; the others' gone, also from the bytes.
    EXPECT_EQ(Rows(cookies, "SELECT count(*) FROM cookies WHERE host_key NOT LIKE '%kept.test'"), 0);
    EXPECT_EQ(Rows(cookies, "SELECT count(*) FROM cookies WHERE host_key IN ('kept.test', 'www.kept.test')"),
              2);
    EXPECT_FALSE(Contains(cookies, "other.test"));
    EXPECT_EQ(Rows(old_cookies, "SELECT count(*) FROM cookies"), 0);
    // Web Data: the form tables emptied; sign-in tokens and search engines stay.
    EXPECT_EQ(Rows(web_data, "SELECT count(*) FROM autofill"), 0);
    EXPECT_FALSE(Contains(web_data, "vestrel secret"));
    EXPECT_EQ(Rows(web_data, "SELECT count(*) FROM token_service"), 1);
    EXPECT_EQ(Rows(web_data, "SELECT count(*) FROM keywords"), keywords);
    EXPECT_FALSE(Exists(Join(chrome_default, "Login Data")));
    EXPECT_FALSE(Exists(Join(chrome_default, "Login Data-journal")));
    EXPECT_FALSE(Exists(Join(chrome_default, "Cache")));
    EXPECT_TRUE(Exists(Join(chrome_default, "Preferences")));

    // Firefox: no visit, the bookmarks whole, only the kept site's cookies, the form and login files gone.
    EXPECT_EQ(Rows(places, "SELECT count(*) FROM moz_historyvisits"), 0);
    EXPECT_EQ(Rows(places, "SELECT count(*) FROM moz_bookmarks"), firefox_bookmarks);
    EXPECT_EQ(Rows(places, "SELECT count(*) FROM moz_places WHERE url LIKE '%other.test%'"), 0);
    EXPECT_EQ(Rows(places, "SELECT count(*) FROM moz_places WHERE url LIKE '%www.kept.test%/form'"), 1);
    EXPECT_FALSE(Contains(places, "other.test"));
    const std::string firefox_cookies = Join(firefox_profiles_[0], "cookies.sqlite");
    EXPECT_EQ(Rows(firefox_cookies, "SELECT count(*) FROM moz_cookies WHERE host NOT LIKE '%kept.test'"), 0);
    EXPECT_EQ(Rows(firefox_cookies, "SELECT count(*) FROM moz_cookies"), 1);
    EXPECT_FALSE(Exists(Join(firefox_profiles_[0], "formhistory.sqlite")));
    EXPECT_FALSE(Exists(Join(firefox_profiles_[0], "logins.json")));
    EXPECT_TRUE(Exists(Join(firefox_profiles_[0], "prefs.js")));

    // Cleaned once, nothing is left to count.
    for (const ProfileResult& again : CleanBrowsers(*system_, AllBoxes(), CleaningMode::Preview)) {
        if (again.in_use) continue;
        EXPECT_EQ(again.figures.files + again.figures.Rows(RowKind::Visits) +
                      again.figures.Rows(RowKind::Cookies) + again.figures.Rows(RowKind::FormEntries) +
                      again.figures.Rows(RowKind::Passwords),
                  0u)
            << again.browser << " " << again.profile << ": " << FiguresSummary({again});
    }
}

}  // namespace
}  // namespace vestrel::cleaner
