// The Opera files: which of the three get written, with what, and that nothing is ever created.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "browsers/IniText.h"
#include "browsers/OperaPrefs.h"
#include "browsers/ProfileFolders.h"
#include "tests/browsers/BrowserTestSupport.h"

namespace vestrel::browsers {
namespace {

using platform::registry::Hive;
using testing::ReadText;
using testing::WriteText;

const std::string kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Opera.exe";
const std::string kAppPaths32 =
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Opera.exe";
const std::string kIni =
    "Opera Preferences version 2.0\r\n\r\n[User Prefs]\r\nHome URL=my.home.page\r\n\r\n"
    "[Proxy]\r\nUse HTTP=0\r\nHTTP Server=\r\n";

class OperaPrefsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ResetConfiguratorValues();
        platform::registry::DeleteKeyTree(Hive::LocalMachine, kAppPaths);
        platform::registry::DeleteKeyTree(Hive::LocalMachine, kAppPaths32);
        OverrideApplicationDataFolder(app_data_.path());
        testing::SetDword(Hive::LocalMachine, std::string(testing::kProgram), "LocalPort", 9191);
        profile_ini_ = OperaProfileIni(app_data_.path());
        program_ini_ = program_.Make("Opera6.ini");
        defaults_ini_ = program_.Make("OperaDef6.ini");
    }
    void TearDown() override {
        OverrideApplicationDataFolder(std::nullopt);
        platform::registry::DeleteKeyTree(Hive::LocalMachine, kAppPaths);
        // The 32-bit view's copy, as a 64-bit program reaches it on 64-bit Windows.
        platform::registry::DeleteKeyTree(Hive::LocalMachine, kAppPaths32);
        testing::ResetConfiguratorValues();
    }
    void RegisterProgramFolder(std::uint32_t view = 0) {
        testing::SetString(Hive::LocalMachine, kAppPaths, "Path", program_.path(), view);
    }
    std::optional<std::string> Value(const std::string& path, const char* section, const char* key) {
        const auto text = ReadText(path);
        if (!text) return std::nullopt;
        return GetIniValue(*text, section, key);
    }

    testing::TempFolder app_data_;
    testing::TempFolder program_;
    std::string profile_ini_;
    std::string program_ini_;
    std::string defaults_ini_;
};

TEST_F(OperaPrefsTest, AllThreeFilesPresentEnableThenDisable) {
    RegisterProgramFolder();
    WriteText(program_.Make("Opera6.ini"), kIni);
    WriteText(program_.Make("OperaDef6.ini"), kIni);
    WriteText(app_data_.Make("Opera/Opera/profile/Opera6.ini"), kIni);
    EXPECT_EQ(OperaProgramFolder(), program_.path());

    EnableOperaProxy();
    for (const std::string* path : {&program_ini_, &profile_ini_, &defaults_ini_}) {
        EXPECT_EQ(Value(*path, "Proxy", "Use HTTP"), "1") << *path;
        EXPECT_EQ(Value(*path, "Proxy", "HTTP Server"), "127.0.0.1:9191") << *path;
        EXPECT_EQ(Value(*path, "Proxy", "Use HTTPS"), "1") << *path;
        EXPECT_EQ(Value(*path, "Proxy", "HTTPS Server"), "127.0.0.1:9191") << *path;
    }
    EXPECT_EQ(Value(program_ini_, "User Prefs", "Home URL"), std::string(kOperaHomePage));
    EXPECT_EQ(Value(defaults_ini_, "User Prefs", "Home URL"), std::string(kOperaHomePage));
    EXPECT_EQ(Value(profile_ini_, "User Prefs", "Home URL"), "my.home.page")
        << "the profile's home page stays";

    // Enabling twice saves nothing new: the relay's values are not the user's.
    EnableOperaProxy();
    // Switching off puts back every key as it was, removing the ones that were absent.
    DisableOperaProxy();
    for (const std::string* path : {&program_ini_, &profile_ini_, &defaults_ini_}) {
        EXPECT_EQ(Value(*path, "Proxy", "Use HTTP"), "0") << *path;
        EXPECT_EQ(Value(*path, "Proxy", "HTTP Server"), "") << *path;
        EXPECT_EQ(Value(*path, "Proxy", "Use HTTPS"), std::nullopt) << *path;
        EXPECT_EQ(Value(*path, "Proxy", "HTTPS Server"), std::nullopt) << *path;
        EXPECT_EQ(Value(*path, "User Prefs", "Home URL"), "my.home.page") << *path;
#ifndef _WIN32
        // Our own writer keeps every other byte; Wine's profile writer drops the blank lines.
        EXPECT_EQ(ReadText(*path), kIni) << *path;
#endif
    }

    // With nothing saved (the state of an older run), the proxy is switched off and the server stays.
    EnableOperaProxy();
    testing::ForgetSavedSettings();
    DisableOperaProxy();
    for (const std::string* path : {&program_ini_, &profile_ini_, &defaults_ini_}) {
        EXPECT_EQ(Value(*path, "Proxy", "Use HTTP"), "0") << *path;
        EXPECT_EQ(Value(*path, "Proxy", "Use HTTPS"), "0") << *path;
        EXPECT_EQ(Value(*path, "Proxy", "HTTP Server"), "127.0.0.1:9191") << *path;
    }
}

TEST_F(OperaPrefsTest, WithoutTheAppPathsKeyOnlyTheProfileFileIsWrittenAndNothingIsCreated) {
    WriteText(app_data_.Make("Opera/Opera/profile/Opera6.ini"), kIni);
    EXPECT_EQ(OperaProgramFolder(), "");
    EnableOperaProxy();
    EXPECT_EQ(Value(profile_ini_, "Proxy", "Use HTTP"), "1");
    EXPECT_EQ(Value(profile_ini_, "User Prefs", "Home URL"), "my.home.page");
    EXPECT_FALSE(testing::KeyExists(Hive::LocalMachine, kAppPaths)) << "probing must not create the key";
    EXPECT_FALSE(std::filesystem::exists(program_ini_));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path("/Opera6.ini")));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path("Opera6.ini")));
}

TEST_F(OperaPrefsTest, AFolderWithoutItsFilesGetsNoNewFiles) {
    RegisterProgramFolder();
    EnableOperaProxy();
    DisableOperaProxy();
    EXPECT_TRUE(std::filesystem::is_empty(program_.path()));
    EXPECT_TRUE(std::filesystem::is_empty(app_data_.path()));
}

TEST_F(OperaPrefsTest, AnEmptyPathValueDoesNotPointAtTheDriveRoot) {
    testing::SetString(Hive::LocalMachine, kAppPaths, "Path", "");
    EXPECT_EQ(OperaProgramFolder(), "");
}

TEST_F(OperaPrefsTest, TheThirtyTwoBitViewIsConsulted) {
    RegisterProgramFolder(platform::registry::kKeyWow64_32);
    WriteText(program_.Make("Opera6.ini"), kIni);
    EXPECT_EQ(OperaProgramFolder(), program_.path());
    EnableOperaProxy();
    EXPECT_EQ(Value(program_ini_, "Proxy", "Use HTTP"), "1");
}

}  // namespace
}  // namespace vestrel::browsers
