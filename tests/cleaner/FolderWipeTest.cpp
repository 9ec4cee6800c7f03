// The folder walk and the index-file zeroing, on real folders natively and under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cleaner/FolderWipe.h"
#include "tests/cleaner/CleanerTestSupport.h"

namespace vestrel::cleaner {
namespace {

using namespace vestrel::cleaner::testing;

// Records the calls the zeroing makes.
class RecordingTarget final : public ZeroFillTarget {
  public:
    explicit RecordingTarget(std::uint64_t size) : size_(size) {}
    bool Size(std::uint64_t& size) override {
        size = size_;
        return true;
    }
    bool Seek(std::uint64_t offset) override {
        position_ = offset;
        return true;
    }
    bool Write(const void* data, std::size_t size) override {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) all_zero_ = all_zero_ && bytes[i] == 0;
        writes.emplace_back(position_, size);
        position_ += size;
        return true;
    }

    std::vector<std::pair<std::uint64_t, std::size_t>> writes;  // offset, length
    bool all_zero_ = true;

  private:
    std::uint64_t size_;
    std::uint64_t position_ = 0;
};

TEST(ZeroAfterHeaderTest, WritesZerosFromTheHeaderToTheEndInPiecesOfTenThousand) {
    RecordingTarget file(64 + 25000);
    EXPECT_TRUE(ZeroAfterHeader(file));
    const std::vector<std::pair<std::uint64_t, std::size_t>> expected{
        {64, 10000}, {10064, 10000}, {20064, 5000}};
    EXPECT_EQ(file.writes, expected);
    EXPECT_TRUE(file.all_zero_);
}

TEST(ZeroAfterHeaderTest, LeavesFilesNoLongerThanTheHeaderAlone) {
    for (const std::uint64_t size : {0u, 1u, 63u, 64u}) {
        RecordingTarget file(size);
        EXPECT_TRUE(ZeroAfterHeader(file)) << size;
        EXPECT_TRUE(file.writes.empty()) << size;
    }
    RecordingTarget one_past(65);
    ZeroAfterHeader(one_past);
    EXPECT_EQ(one_past.writes, (std::vector<std::pair<std::uint64_t, std::size_t>>{{64, 1}}));
}

TEST(ZeroIndexFileTest, KeepsTheHeaderAndTheSizeAndZeroesTheRest) {
    ScratchFolder folder;
    for (const std::size_t size : {std::size_t{65}, std::size_t{10064}, std::size_t{64 + 20001}}) {
        const std::string original = Filler(size);
        WriteFile(folder / "index.dat", original);
        EXPECT_TRUE(zeroIndexFile(folder.path(), "index.dat")) << size;
        EXPECT_EQ(ReadFile(folder / "index.dat"), ZeroedAfterHeader(original)) << size;
    }
}

TEST(ZeroIndexFileTest, LeavesShortFilesUnchangedAndFailsOnMissingOnes) {
    ScratchFolder folder;
    WriteFile(folder / "index.dat", Filler(40));
    EXPECT_TRUE(zeroIndexFile(folder.path(), "index.dat"));
    EXPECT_EQ(ReadFile(folder / "index.dat"), Filler(40));
    EXPECT_FALSE(zeroIndexFile(folder.path(), "missing.dat"));
    EXPECT_FALSE(Exists(folder / "missing.dat")) << "zeroing must never create a file";
}

// A history-like tree: nested folders, desktop.ini files, read-only entries.
class WipeFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeFolder(root() + "/a/b/c");
        MakeFolder(root() + "/ro-folder");
        MakeFolder(root() + "/kept/inner");
        WriteFile(root() + "/top.txt", "top");
        WriteFile(root() + "/desktop.ini", "[.ShellClassInfo]");
        WriteFile(root() + "/a/file.htm", "a");
        WriteFile(root() + "/a/b/c/deep.txt", "deep");
        WriteFile(root() + "/a/b/DESKTOP.INI", "[.ShellClassInfo]");
        WriteFile(root() + "/read-only.txt", "ro");
        MakeReadOnly(root() + "/read-only.txt");
        WriteFile(root() + "/ro-folder/inside.txt", "x");
        WriteFile(root() + "/kept/inner/Desktop.ini", "[.ShellClassInfo]");
        MakeReadOnly(root() + "/ro-folder");
    }
    std::string root() const { return scratch_ / "wiped"; }
    ScratchFolder scratch_;
};

TEST_F(WipeFolderTest, EmptiesTheTreeButKeepsTheFolderAndEveryDesktopIni) {
    EXPECT_TRUE(wipeFolder(root(), false, false));
    EXPECT_TRUE(fs::IsDirectory(root()));
    for (const char* gone : {"/top.txt", "/a/file.htm", "/a/b/c", "/read-only.txt", "/ro-folder"}) {
        EXPECT_FALSE(Exists(root() + gone)) << gone;
    }
    // desktop.ini survives in any case of its name, and so do the folders that hold one.
    for (const char* kept : {"/desktop.ini", "/a/b/DESKTOP.INI", "/kept/inner/Desktop.ini"}) {
        EXPECT_TRUE(Exists(root() + kept)) << kept;
    }
}

TEST_F(WipeFolderTest, DeletesDesktopIniWhenAsked) {
    EXPECT_TRUE(wipeFolder(root(), true, false));
    std::vector<fs::DirectoryEntry> entries;
    ASSERT_FALSE(fs::ListDirectory(root(), entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(WipeFolderTest, FailsOnAFolderThatCannotBeListed) {
    EXPECT_FALSE(wipeFolder(scratch_ / "no-such-folder", false, true));
    EXPECT_FALSE(wipeFolder("", false, true));
}

TEST_F(WipeFolderTest, ZeroesAnIndexFileBeforeDeletingItOnlyWhenAsked) {
    const std::string original = Filler(64 + 12000);
    WriteFile(root() + "/a/index.dat", original);
    WriteFile(root() + "/a/b/INDEX.DAT", original);
    {
        HeldFile history_index(root() + "/a/index.dat", scratch_.path());
        HeldFile history_upper(root() + "/a/b/INDEX.DAT", scratch_.path());
        EXPECT_TRUE(wipeFolder(root(), false, true));
        EXPECT_EQ(history_index.Contents(), ZeroedAfterHeader(original));
        EXPECT_EQ(history_upper.Contents(), ZeroedAfterHeader(original));
    }
    WriteFile(root() + "/index.dat", original);
    HeldFile cache_index(root() + "/index.dat", scratch_.path());
    EXPECT_TRUE(wipeFolder(root(), false, false));
    EXPECT_EQ(cache_index.Contents(), original) << "a cache or cookie index is never zeroed";
}

#ifndef _WIN32
// Links lead out of the folder: they go, what they lead to stays. (Under Wine the links come from the
// test run's fixture; see WindowsCleaningTest.)
TEST_F(WipeFolderTest, RemovesLinksButNeverWhatTheyLeadTo) {
    const std::string outside = scratch_ / "outside";
    MakeFolder(outside + "/sub");
    WriteFile(outside + "/keep.txt", "keep");
    WriteFile(outside + "/sub/deep.txt", "deep");
    const std::string index = Filler(200);
    WriteFile(outside + "/index-target.dat", index);
    WriteFile(outside + "/read-only-target.txt", "ro");
    ::chmod((outside + "/read-only-target.txt").c_str(), 0444);
    std::filesystem::create_directory_symlink(outside, root() + "/dir-link");
    std::filesystem::create_directory_symlink(outside + "/sub", root() + "/a/nested-link");
    std::filesystem::create_symlink(outside + "/keep.txt", root() + "/file-link");
    std::filesystem::create_symlink(outside + "/index-target.dat", root() + "/index.dat");
    std::filesystem::create_symlink(outside + "/read-only-target.txt", root() + "/ro-link");

    EXPECT_TRUE(wipeFolder(root(), true, true));

    for (const char* link : {"/dir-link", "/a", "/file-link", "/index.dat", "/ro-link"}) {
        EXPECT_FALSE(Exists(root() + link)) << link;
    }
    EXPECT_EQ(ReadFile(outside + "/keep.txt"), "keep");
    EXPECT_EQ(ReadFile(outside + "/sub/deep.txt"), "deep");
    EXPECT_EQ(ReadFile(outside + "/index-target.dat"), index) << "zeroing went through a link";
    struct stat info {};
    ASSERT_EQ(::stat((outside + "/read-only-target.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u) << "the read-only handling changed a link's target";
}

TEST(WritableFileTest, RefusesLinks) {
    ScratchFolder folder;
    WriteFile(folder / "target", "data");
    std::filesystem::create_symlink(folder / "target", folder / "link");
    fs::WritableFile file;
    EXPECT_TRUE(fs::WritableFile::OpenExisting(folder / "link", file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(fs::WritableFile::OpenExisting(folder / "target", file));
    EXPECT_TRUE(file.IsOpen());
}
#endif

}  // namespace
}  // namespace vestrel::cleaner
