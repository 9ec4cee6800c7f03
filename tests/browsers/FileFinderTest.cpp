// The folder walk: children before their parents, trailing separators, links not followed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "browsers/FileFinder.h"
#include "platform/fs/Directory.h"
#include "tests/browsers/BrowserTestSupport.h"

namespace vestrel::browsers {
namespace {

using testing::TempFolder;

std::string Join(const std::string& folder, const std::string& name) {
    return platform::fs::JoinPath(folder, name);
}

TEST(FileFinderTest, WalksDepthFirstWithEachFolderAfterItsDescendants) {
    TempFolder root;
    std::filesystem::create_directories(root.Make("a/a1/deep"));
    std::filesystem::create_directories(root.Make("b"));
    testing::WriteText(root.Make("a/file.txt"), "not a folder");

    FileFinder finder;
    ASSERT_TRUE(
        finder.AddFolder(root.path() + platform::fs::kPathSeparator + platform::fs::kPathSeparator, true));
    const std::vector<std::string>& folders = finder.folders();
    ASSERT_EQ(folders.size(), 5u);
    EXPECT_EQ(folders.back(), root.path()) << "trailing separators dropped, root last";
    const auto index = [&folders](const std::string& path) {
        return std::find(folders.begin(), folders.end(), path) - folders.begin();
    };
    const std::string a = Join(root.path(), "a");
    const std::string a1 = Join(a, "a1");
    EXPECT_LT(index(Join(a1, "deep")), index(a1));
    EXPECT_LT(index(a1), index(a));
    EXPECT_LT(index(Join(root.path(), "b")), static_cast<long>(folders.size()));

    // Without recursion only the folder itself; ClearFolders starts over.
    finder.ClearFolders();
    ASSERT_TRUE(finder.AddFolder(a, false));
    EXPECT_EQ(finder.folders(), std::vector<std::string>{a});
}

TEST(FileFinderTest, DoesNotFollowLinksSoALoopEnds) {
    TempFolder root;
    std::filesystem::create_directories(root.Make("profile/sub"));
    std::error_code error;
    std::filesystem::create_directory_symlink(root.path(), root.Make("profile/sub/loop"), error);
    if (error) GTEST_SKIP() << "links cannot be made here: " << error.message();
    FileFinder finder;
    ASSERT_TRUE(finder.AddFolder(root.path(), true));
    EXPECT_EQ(finder.folders().size(), 3u);
}

}  // namespace
}  // namespace vestrel::browsers
