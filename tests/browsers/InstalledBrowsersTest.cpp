// The installed-browser probes: the long-known keys, today's key names, both views, and no trace left.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browsers/InstalledBrowsers.h"
#include "tests/browsers/BrowserTestSupport.h"

namespace vestrel::browsers {
namespace {

namespace registry = platform::registry;
using registry::Hive;

const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kUninstall32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::vector<std::string> Subkeys(const std::string& path) {
    std::vector<std::string> names;
    registry::Key key;
    if (registry::OpenKey(Hive::LocalMachine, path, registry::kKeyRead, key) != registry::kSuccess)
        return names;
    std::string name;
    for (std::uint32_t i = 0; i < 10000 && key.EnumSubkey(i, name) == registry::kSuccess; ++i)
        names.push_back(name);
    return names;
}

struct Installed {
    bool netscape, opera, mozilla, firefox, avant;
    std::uint32_t kind;
    bool operator==(const Installed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Installed& i) {
    return out << "netscape " << i.netscape << " opera " << i.opera << " mozilla " << i.mozilla << " firefox "
               << i.firefox << " avant " << i.avant << " kind " << i.kind;
}

Installed Probe() {
    return {IsNetscapeInstalled(), IsOperaInstalled(), IsMozillaInstalled(),
            IsFirefoxInstalled(),  IsAvantInstalled(), NetscapeKind()};
}

class InstalledBrowsersTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const std::string& key : made_) registry::DeleteKeyTree(Hive::LocalMachine, key);
    }
    void Install(const std::string& name, bool thirty_two_bit = false) {
        const std::uint32_t view = thirty_two_bit ? registry::kKeyWow64_32 : 0;
        registry::Key key;
        ASSERT_EQ(registry::CreateKey(Hive::LocalMachine, kUninstall + "\\" + name,
                                      registry::kKeyWrite | view, key, nullptr),
                  registry::kSuccess);
        // Removed by both names: the 32-bit view's key is a 64-bit program's Wow6432Node key.
        made_.push_back(kUninstall + "\\" + name);
        made_.push_back(kUninstall32 + "\\" + name);
    }
    void Uninstall() {
        for (const std::string& key : made_) registry::DeleteKeyTree(Hive::LocalMachine, key);
        made_.clear();
    }

    std::vector<std::string> made_;
};

TEST_F(InstalledBrowsersTest, EachBrowserByItsKeys) {
    // Assumes the system under test has none of these browsers (a fresh Wine prefix, the native registry).
    const std::vector<std::string> before = Subkeys(kUninstall);
    EXPECT_EQ(Probe(), (Installed{false, false, false, false, false, 0}));
    EXPECT_EQ(Subkeys(kUninstall), before) << "probing leaves no key behind";

    struct Case {
        std::vector<std::string> keys;
        Installed expected;
    };
    const std::vector<Case> cases = {
        {{"Netscape 6 (6.2.3)"}, {true, false, false, false, false, 6}},
        {{"Netscape Browser"}, {true, false, false, false, false, 8}},
        {{"Netscape 6 (6.2.3)", "Netscape Browser"}, {true, false, false, false, false, 14}},
        {{"Netscape Navigator (9.0.0.6)"}, {true, false, false, false, false, 0}},
        {{"Opera"}, {false, true, false, false, false, 0}},
        {{"Opera 12.16.1860"}, {false, true, false, false, false, 0}},
        {{"Mozilla (1.7.1)"}, {false, false, true, false, false, 0}},
        {{"Mozilla Thunderbird 115.0 (x64 en-US)"}, {false, false, false, false, false, 0}},
        {{"Mozilla Firefox (1.5.0.7)"}, {false, false, false, true, false, 0}},
        {{"Mozilla Firefox (1.0)"}, {false, false, false, true, false, 0}},
        {{"Mozilla Firefox 115.0 (x64 en-US)"}, {false, false, false, true, false, 0}},
        {{"AvantBrowser"}, {false, false, false, false, true, 0}},
    };
    for (const Case& c : cases) {
        for (const bool thirty_two_bit : {false, true}) {
            for (const std::string& key : c.keys) Install(key, thirty_two_bit);
            EXPECT_EQ(Probe(), c.expected) << c.keys.front() << (thirty_two_bit ? " (32-bit view)" : "");
            Uninstall();
        }
    }
    EXPECT_EQ(Subkeys(kUninstall), before);
}

}  // namespace
}  // namespace vestrel::browsers
