// The cleaning tasks on the real system under Wine: the prefix's own shell folders, URL cache, keys and
// links, each filled by the test first. What Wine cannot do is skipped with the reason, never passed.
#include <windows.h>

#include <sddl.h>
#include <shlobj.h>
#include <urlhist.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cleaner/CleanerPaths.h"
#include "cleaner/CleaningWorker.h"
#include "cleaner/FolderWipe.h"
#include "cleaner/win/ProtectedStorage.h"
#include "cleaner/win/UrlCache.h"
#include "cleaner/win/WindowsCleaningSystem.h"
#include "tests/cleaner/CleanerTestSupport.h"

namespace vestrel::cleaner {
namespace {

using namespace vestrel::cleaner::testing;
namespace registry = platform::registry;
using registry::Hive;

bool RunningOnWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Shell(ShellFolder folder) {
    const auto path = PlatformCleaningSystem().SpecialFolder(folder);
    return path.value_or("");
}

std::string TempBelow(const char* name) {
    return Join(PlatformCleaningSystem().TemporaryFolder().value_or(""), name);
}

// Test content in a folder the cleaning empties: nested folders, a read-only file, desktop.ini.
void Fill(const std::string& folder) {
    MakeFolder(folder + "\\vestrel-test\\nested");
    WriteFile(Join(folder, "desktop.ini"), "[.ShellClassInfo]");
    WriteFile(Join(folder, "vestrel-test.txt"), "trace");
    WriteFile(folder + "\\vestrel-test\\nested\\page.htm", "trace");
    WriteFile(Join(folder, "vestrel-read-only.txt"), "trace");
    MakeReadOnly(Join(folder, "vestrel-read-only.txt"));
}

bool Emptied(const std::string& folder) {
    return !Exists(Join(folder, "vestrel-test.txt")) && !Exists(Join(folder, "vestrel-test")) &&
           !Exists(Join(folder, "vestrel-read-only.txt")) && Exists(Join(folder, "desktop.ini"));
}

bool Untouched(const std::string& folder) {
    return Exists(Join(folder, "vestrel-test.txt")) && Exists(folder + "\\vestrel-test\\nested\\page.htm") &&
           Exists(Join(folder, "vestrel-read-only.txt"));
}

void MakeKey(Hive hive, const std::string& path) {
    registry::Key key;
    ASSERT_EQ(registry::CreateKey(hive, path, registry::kKeyWrite, key, nullptr), registry::kSuccess) << path;
    ASSERT_EQ(key.SetValue("url1", registry::kTypeString, "http://example.test/", 21), registry::kSuccess);
}

bool KeyExists(Hive hive, const std::string& path) {
    registry::Key key;
    return registry::OpenKey(hive, path, registry::kKeyRead, key) == registry::kSuccess;
}

// A URL cache entry of our own, a page or a cookie. No cached file is made for it: the cache tasks
// empty the cache folders, and WinInet under Wine does not make its cache subfolders again.
bool CommitEntry(const std::string& url, bool cookie) {
    const FILETIME never{0, 0};
    return ::CommitUrlCacheEntryA(url.c_str(), nullptr, never, never,
                                  cookie ? COOKIE_CACHE_ENTRY : NORMAL_CACHE_ENTRY, nullptr, 0, nullptr,
                                  nullptr);
}

bool CacheHas(const std::string& url) {
    DWORD size = 0;
    ::GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size);
    return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// The settings cleared around every test, and the worker that runs the tasks on the real system.
class WindowsCleaningTest : public ::testing::Test {
  protected:
    CleanerSettingsGuard settings_;
    CleaningWorker worker_{PlatformCleaningSystem()};
};

// The URL cache comes first: later tests empty the cache folders that WinInet itself uses.
TEST_F(WindowsCleaningTest, PurgeDeletesOnlyTheEntriesOfItsMode) {
    const std::string page = "http://vestrel-cleaner.test/page.htm";
    const std::string cookie = "Cookie:tester@vestrel-cleaner.test/";
    ASSERT_TRUE(CommitEntry(page, false));
    ASSERT_TRUE(CommitEntry(cookie, true));
    ASSERT_TRUE(CacheHas(page));
    ASSERT_TRUE(CacheHas(cookie));

    EXPECT_TRUE(purgeUrlCache(UrlCacheMode::AllButCookies));
    EXPECT_FALSE(CacheHas(page));
    EXPECT_TRUE(CacheHas(cookie));

    ASSERT_TRUE(CommitEntry(page, false));
    EXPECT_TRUE(purgeUrlCache(UrlCacheMode::CookiesOnly));
    EXPECT_FALSE(CacheHas(cookie));
    EXPECT_TRUE(CacheHas(page));
    purgeUrlCache(UrlCacheMode::AllButCookies);
}

TEST_F(WindowsCleaningTest, CacheAndCookieTasksPurgeTheirEntriesAndEmptyTheirFolders) {
    const std::string page = "http://vestrel-cleaner.test/task.htm";
    const std::string cookie = "Cookie:tester@vestrel-cleaner.test/task";
    const std::vector<std::string> cache_folders{Shell(ShellFolder::InternetCache),
                                                 TempBelow("Temporary Internet Files")};
    const std::vector<std::string> cookie_folders{Shell(ShellFolder::Cookies), TempBelow("Cookies")};
    for (const auto& folder : cache_folders) Fill(folder);
    for (const auto& folder : cookie_folders) Fill(folder);
    ASSERT_TRUE(CommitEntry(page, false));
    ASSERT_TRUE(CommitEntry(cookie, true));
    const std::string original = Filler(64 + 300);
    const std::string index = Join(cache_folders[1], "index.dat");
    WriteFile(index, original);
    HeldFile held(index, "");

    SetSetting(settings::kClearTemporaryFiles, 1);
    worker_.runCleaning();
    EXPECT_FALSE(CacheHas(page));
    EXPECT_TRUE(CacheHas(cookie));
    for (const auto& folder : cache_folders) EXPECT_TRUE(Emptied(folder)) << folder;
    for (const auto& folder : cookie_folders) EXPECT_TRUE(Untouched(folder)) << folder;
    EXPECT_EQ(held.Contents(), original) << "a cache index file is never zeroed";

    SetSetting(settings::kClearTemporaryFiles, 0);
    SetSetting(settings::kClearCookies, 1);
    worker_.runCleaning();
    EXPECT_FALSE(CacheHas(cookie));
    for (const auto& folder : cookie_folders) EXPECT_TRUE(Emptied(folder)) << folder;
}

TEST_F(WindowsCleaningTest, WithEveryFlagOffNothingChanges) {
    const std::vector<std::string> folders{
        Join(PlatformCleaningSystem().WindowsFolder().value_or(""), "History"), Shell(ShellFolder::History),
        TempBelow("History"), Shell(ShellFolder::Favorites)};
    for (const auto& folder : folders) Fill(folder);
    MakeKey(Hive::CurrentUser, std::string(kTypedUrlsKey));
    MakeKey(Hive::CurrentUser, std::string(kIntelliFormsKey) + "\\SPW");
    const std::string page = "http://vestrel-cleaner.test/kept.htm";
    ASSERT_TRUE(CommitEntry(page, false));
    SetSetting(settings::kClearHistory, 2);  // only 1 counts as on
    worker_.runCleaning();
    for (const auto& folder : folders) EXPECT_TRUE(Untouched(folder)) << folder;
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, std::string(kTypedUrlsKey)));
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, std::string(kIntelliFormsKey) + "\\SPW"));
    EXPECT_TRUE(CacheHas(page));
    purgeUrlCache(UrlCacheMode::AllButCookies);
    registry::DeleteKeyTree(Hive::CurrentUser, std::string(kTypedUrlsKey));
    registry::DeleteKeyTree(Hive::CurrentUser, std::string(kIntelliFormsKey));
}

TEST_F(WindowsCleaningTest, HistoryTaskEmptiesTheHistoryFoldersAndZeroesAHeldIndexFile) {
    const std::vector<std::string> folders{
        Join(PlatformCleaningSystem().WindowsFolder().value_or(""), "History"), Shell(ShellFolder::History),
        TempBelow("History")};
    for (const auto& folder : folders) Fill(folder);
    const std::string original = Filler(64 + 25000);
    const std::string index = folders[2] + "\\vestrel-test\\index.dat";
    WriteFile(index, original);
    const std::string short_index = Join(folders[0], "INDEX.DAT");
    WriteFile(short_index, Filler(40));
    {
        HeldFile held(index, "");
        HeldFile held_short(short_index, "");
        SetSetting(settings::kClearHistory, 1);
        worker_.runCleaning();
        for (const auto& folder : folders) EXPECT_FALSE(Exists(Join(folder, "vestrel-test.txt"))) << folder;
        for (const auto& folder : folders)
            EXPECT_FALSE(Exists(Join(folder, "vestrel-read-only.txt"))) << folder;
        for (const auto& folder : folders) EXPECT_TRUE(Exists(Join(folder, "desktop.ini"))) << folder;
        // The index file the "browser" holds open stays, zeroed past its header, and so does its folder.
        EXPECT_EQ(held.Contents(), ZeroedAfterHeader(original));
        EXPECT_EQ(held_short.Contents(), Filler(40));
        EXPECT_FALSE(Exists(folders[2] + "\\vestrel-test\\nested"));
    }
    worker_.runCleaning();  // released now, so it goes
    for (const auto& folder : folders) EXPECT_TRUE(Emptied(folder)) << folder;
}

TEST_F(WindowsCleaningTest, TheUrlHistoryObjectIsCleared) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IUrlHistoryStg2* history = nullptr;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IUrlHistoryStg2, reinterpret_cast<void**>(&history))));
    const wchar_t* url = L"http://vestrel-cleaner.test/visited.htm";
    const HRESULT added = history->AddUrl(url, L"visited", 0);
    const HRESULT cleared = history->ClearHistory();
    STATURL visit{};
    visit.cbSize = sizeof visit;
    const HRESULT queried = history->QueryUrl(url, STATURL_QUERYFLAG_NOURL, &visit);
    history->Release();
    if (SUCCEEDED(com)) ::CoUninitialize();
    if (cleared == E_NOTIMPL) {
        GTEST_SKIP() << "the system's URL history object does not implement ClearHistory (Wine 8.0); the "
                        "history task's call cannot be checked here";
    }
    ASSERT_TRUE(SUCCEEDED(added));
    EXPECT_TRUE(SUCCEEDED(cleared));
    EXPECT_FALSE(SUCCEEDED(queried)) << "the URL is still in the history";
}

TEST_F(WindowsCleaningTest, TypedUrlAndPasswordTasksDeleteTheirKeysWithSubkeys) {
    const std::string sibling = "Software\\Microsoft\\Internet Explorer\\VestrelTestSibling";
    MakeKey(Hive::CurrentUser, std::string(kTypedUrlsKey) + "\\sub\\deeper");
    MakeKey(Hive::CurrentUser, std::string(kIntelliFormsKey) + "\\SPW\\entry");
    MakeKey(Hive::CurrentUser, sibling);
    SetSetting(settings::kClearTypedUrls, 1);
    worker_.runCleaning();
    EXPECT_FALSE(KeyExists(Hive::CurrentUser, std::string(kTypedUrlsKey)));
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, std::string(kIntelliFormsKey) + "\\SPW\\entry"));
    SetSetting(settings::kClearPasswords, 1);
    worker_.runCleaning();
    EXPECT_FALSE(KeyExists(Hive::CurrentUser, std::string(kIntelliFormsKey)));
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, sibling));
    registry::DeleteKeyTree(Hive::CurrentUser, sibling);
}

std::string SidTextOfUser() {
    auto sid = getUserSid();
    if (!sid) return "";
    return sidToText(sid->data());
}

TEST(SidTextTest, MatchesTheSystemsOwnTextForm) {
    auto sid = getUserSid();
    ASSERT_TRUE(sid.has_value());
    char* system_text = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidA(sid->data(), &system_text));
    EXPECT_EQ(sidToText(sid->data()), system_text);
    ::LocalFree(system_text);
}

// The ACEs of a key's DACL: SID text and access mask.
std::vector<std::pair<std::string, DWORD>> DaclOf(const std::string& path) {
    std::vector<std::pair<std::string, DWORD>> aces;
    auto descriptor = saveKeyDacl(Hive::CurrentUser, path);
    if (!descriptor) return aces;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor->data(), &present, &acl, &defaulted) || !present || !acl) {
        return aces;
    }
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(acl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        aces.emplace_back(sidToText(&allowed->SidStart), allowed->Mask);
    }
    return aces;
}

TEST_F(WindowsCleaningTest, FormEntriesTaskOpensUpAndDeletesTheStoreAndRestoresTheUserKey) {
    const std::string user_key = std::string(kProtectedStorageKey) + SidTextOfUser();
    const std::string data = user_key + std::string(kDataSuffix);
    const std::string store = data + std::string(kAutoCompleteStoreSuffix);
    MakeKey(Hive::CurrentUser, store + "\\item\\deeper");
    MakeKey(Hive::CurrentUser, data + "\\other-store");

    // A distinctive DACL on the user key (the user alone, read only plus changing the DACL), to see it
    // come back.
    auto sid = getUserSid();
    ASSERT_TRUE(sid.has_value());
    std::vector<unsigned char> acl_buffer(::GetLengthSid(sid->data()) + 16);
    auto* acl = reinterpret_cast<PACL>(acl_buffer.data());
    ASSERT_TRUE(::InitializeAcl(acl, static_cast<DWORD>(acl_buffer.size()), ACL_REVISION));
    ASSERT_TRUE(::AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, sid->data()));
    SECURITY_DESCRIPTOR own{};
    ASSERT_TRUE(::InitializeSecurityDescriptor(&own, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&own, TRUE, acl, FALSE));
    ASSERT_TRUE(applyKeyDacl(Hive::CurrentUser, user_key, &own, false));
    const auto before = DaclOf(user_key);
    ASSERT_EQ(before.size(), 1u);

    char name[260];
    DWORD length = sizeof name;
    ASSERT_TRUE(::GetUserNameA(name, &length));
    const std::string machine_store =
        std::string(kProtectedStorageKey) + name + std::string(kDataAutoCompleteStoreSuffix);
    const std::string machine_other = std::string(kProtectedStorageKey) + name + "\\Data\\other-store";
    MakeKey(Hive::LocalMachine, machine_store + "\\item");
    MakeKey(Hive::LocalMachine, machine_other);

    SetSetting(settings::kClearFormEntries, 1);
    worker_.runCleaning();

    EXPECT_FALSE(KeyExists(Hive::CurrentUser, store));
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, data + "\\other-store"));
    EXPECT_EQ(DaclOf(user_key), before) << "the user key's own DACL was not put back";
    const std::vector<std::pair<std::string, DWORD>> open{{SidTextOfUser(), KEY_ALL_ACCESS},
                                                          {"S-1-5-18", KEY_ALL_ACCESS}};
    EXPECT_EQ(DaclOf(data), open) << "the Data key keeps the widened DACL";
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, machine_store));
    EXPECT_TRUE(KeyExists(Hive::LocalMachine, machine_other));

    registry::DeleteKeyTree(Hive::CurrentUser, user_key);
    registry::DeleteKeyTree(Hive::LocalMachine, std::string(kProtectedStorageKey) + name);
}

// The links the test run's fixture made (see make-link-fixture.sh); nothing when it did not run.
std::optional<std::string> LinkFixture() {
    const char* root = std::getenv("VESTREL_CLEANER_LINKS");
    if (root == nullptr || !Exists(Join(root, "wiped\\dir-link"))) return std::nullopt;
    return std::string(root);
}

TEST(LinkTest, WipingAFolderNeverChangesWhatItsLinksLeadTo) {
    const auto root = LinkFixture();
    if (!root) GTEST_SKIP() << "the link fixture was not prepared (run through ctest)";
    const std::string outside = Join(*root, "outside");
    const std::string wiped = Join(*root, "wiped");
    const auto index_before = ReadFile(Join(outside, "index-target.dat"));

    std::vector<fs::DirectoryEntry> entries;
    ASSERT_FALSE(fs::ListDirectory(wiped, entries));
    for (const auto& entry : entries) {
        if (entry.name == "dir-link") {
            EXPECT_TRUE(entry.is_link) << "a link to a folder must show as a link";
        }
    }

    EXPECT_TRUE(wipeFolder(wiped, true, true));
    EXPECT_FALSE(Exists(Join(wiped, "plain.txt")));
    EXPECT_EQ(ReadFile(Join(outside, "keep.txt")), "keep");
    EXPECT_EQ(ReadFile(outside + "\\sub\\deep.txt"), "deep");
    EXPECT_EQ(ReadFile(Join(outside, "index-target.dat")), index_before) << "zeroing went through a link";

    // An empty target is where a careless removal would hit.
    fs::RemoveEmptyDirectory(Join(*root, "empty-link"));
    fs::RemoveFile(Join(*root, "empty-link"));
    EXPECT_TRUE(fs::IsDirectory(Join(*root, "empty-target")));

    if (RunningOnWine()) {
        // Wine resolves a Unix link before deleting, so no call removes the link alone: it is left.
        EXPECT_TRUE(Exists(Join(wiped, "dir-link")));
    } else {
        for (const char* link : {"dir-link", "file-link", "index.dat"})
            EXPECT_FALSE(Exists(Join(wiped, link)));
        EXPECT_FALSE(Exists(Join(*root, "empty-link")));
    }
}

TEST(LinkTest, LinksTheSystemMakesAreRemovedWithoutTheirTargets) {
    ScratchFolder scratch;
    MakeFolder(scratch / "outside");
    WriteFile(scratch / "outside\\keep.txt", "keep");
    MakeFolder(scratch / "wiped");
    const std::string link = scratch / "wiped\\link";
    if (!::CreateSymbolicLinkA(link.c_str(), (scratch / "outside").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        !Exists(link)) {
        GTEST_SKIP() << "the system makes no symbolic links here (Wine 8.0 reports success and makes none)";
    }
    EXPECT_TRUE(wipeFolder(scratch / "wiped", false, false));
    EXPECT_FALSE(Exists(link));
    EXPECT_EQ(ReadFile(scratch / "outside\\keep.txt"), "keep");
}

TEST(LongPathTest, EntriesBeyondTheSystemLimitAreSkipped) {
    ScratchFolder scratch;
    const std::string wiped = scratch / "wiped";
    MakeFolder(wiped);
    WriteFile(Join(wiped, "short.txt"), "x");
    const std::string long_name(250, 'x');
    ASSERT_GT(Join(wiped, long_name).size(), fs::kMaxPathLength);
    std::wstring wide(L"\\\\?\\");
    for (const char c : Join(wiped, long_name)) wide.push_back(static_cast<wchar_t>(c));
    ASSERT_TRUE(::CreateDirectoryW(wide.c_str(), nullptr));
    EXPECT_TRUE(wipeFolder(wiped, false, false));
    EXPECT_FALSE(Exists(Join(wiped, "short.txt")));
    EXPECT_NE(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
    ::RemoveDirectoryW(wide.c_str());
}

TEST_F(WindowsCleaningTest, FavoritesTaskKeepsTheFolderItsDesktopIniAndWhatLinksLeadTo) {
    const std::string favorites = Shell(ShellFolder::Favorites);
    ASSERT_FALSE(favorites.empty());
    Fill(favorites);
    WriteFile(Join(favorites, "Example.url"), "[InternetShortcut]\r\nURL=http://example.test/\r\n");
    SetSetting(settings::kClearFavorites, 1);
    worker_.runCleaning();
    EXPECT_TRUE(fs::IsDirectory(favorites));
    EXPECT_TRUE(Emptied(favorites));
    EXPECT_FALSE(Exists(Join(favorites, "Example.url")));
    if (const auto root = LinkFixture()) {
        EXPECT_EQ(ReadFile(Join(*root, "outside\\keep.txt")), "keep");
        EXPECT_EQ(ReadFile(*root + "\\outside\\sub\\deep.txt"), "deep");
    }
}

TEST_F(WindowsCleaningTest, TheScheduleThreadCleansWithTheRealSystem) {
    const std::string favorites = Shell(ShellFolder::Favorites);
    Fill(favorites);
    SetSetting(settings::kClearHistory, 1);  // COM on the cleaning thread
    SetSetting(settings::kClearFavorites, 1);
    SetSetting(settings::kAutoClean, 1);
    std::atomic<int> rounds{0};
    CleaningWorker worker(PlatformCleaningSystem(), [&](std::uint32_t) {
        ++rounds;
        return std::chrono::milliseconds(1);
    });
    ASSERT_TRUE(worker.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rounds.load() < 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(rounds.load(), 1);
    EXPECT_TRUE(Emptied(favorites));
}

}  // namespace
}  // namespace vestrel::cleaner
