// The shell's portable rules: which pages and buttons navigation leaves shown and enabled, the
// status lines, the tips and the help file names.
#include <gtest/gtest.h>

#include "app/Links.h"
#include "app/Navigation.h"
#include "app/ShellTexts.h"

namespace vestrel::app {
namespace {

// Sections as the main window has them: status (hint panel only), anonymity 6, privacy 2, options 2.
Navigation MainWindowNavigation() { return Navigation({0, 6, 2, 2}); }

// Exactly one section visible, and its main button the only disabled one.
void ExpectOnlySection(const Navigation& navigation, int section) {
    for (int s = 1; s <= Navigation::kSections; ++s) {
        EXPECT_EQ(navigation.SectionVisible(s), s == section) << "section " << s;
        EXPECT_EQ(navigation.MainButtonEnabled(s), s != section) << "button " << s;
    }
    EXPECT_EQ(navigation.current(), section);
}

TEST(NavigationTest, StartsOnTheStatusSectionWithItsHintPanel) {
    const Navigation navigation = MainWindowNavigation();
    ExpectOnlySection(navigation, 1);
    EXPECT_TRUE(navigation.SubPageVisible(1, 0));
    for (int s = 2; s <= 4; ++s) EXPECT_FALSE(navigation.SubPageVisible(s, navigation.SectionButtons(s)));
}

TEST(NavigationTest, MainButtonShowsTheSectionIntroductionAndResetsTheOthers) {
    Navigation navigation = MainWindowNavigation();
    navigation.ClickMain(2);
    navigation.ClickSection(2, 3);
    navigation.ClickMain(3);
    ExpectOnlySection(navigation, 3);
    EXPECT_TRUE(navigation.SubPageVisible(3, 2));  // the introduction comes after its two buttons
    EXPECT_FALSE(navigation.SubPageVisible(1, 0));
    // Leaving a section puts its sub-pages away and enables its buttons again.
    for (int j = 0; j <= 6; ++j) EXPECT_FALSE(navigation.SubPageVisible(2, j)) << j;
    for (int j = 0; j < 6; ++j) EXPECT_TRUE(navigation.SectionButtonEnabled(2, j)) << j;

    navigation.ClickMain(1);
    ExpectOnlySection(navigation, 1);
    EXPECT_TRUE(navigation.SubPageVisible(1, 0));
}

TEST(NavigationTest, SectionButtonReplacesTheIntroductionAndDisablesOnlyItself) {
    Navigation navigation = MainWindowNavigation();
    navigation.ClickMain(2);
    navigation.ClickSection(2, 4);
    ExpectOnlySection(navigation, 2);
    for (int j = 0; j <= 6; ++j) EXPECT_EQ(navigation.SubPageVisible(2, j), j == 4) << j;
    for (int j = 0; j < 6; ++j) EXPECT_EQ(navigation.SectionButtonEnabled(2, j), j != 4) << j;

    navigation.ClickSection(2, 0);
    EXPECT_TRUE(navigation.SubPageVisible(2, 0));
    EXPECT_FALSE(navigation.SubPageVisible(2, 4));
    EXPECT_TRUE(navigation.SectionButtonEnabled(2, 4));
}

TEST(NavigationTest, SectionButtonOfAnotherSectionFirstShowsThatSection) {
    Navigation navigation = MainWindowNavigation();
    navigation.ClickMain(3);
    navigation.ClickSection(4, 1);
    ExpectOnlySection(navigation, 4);
    EXPECT_TRUE(navigation.SubPageVisible(4, 1));
    EXPECT_FALSE(navigation.SubPageVisible(4, 2));
    EXPECT_FALSE(navigation.SubPageVisible(3, 2));
}

TEST(NavigationTest, IgnoresDisabledAndUnknownButtons) {
    Navigation navigation = MainWindowNavigation();
    navigation.ClickMain(2);
    navigation.ClickSection(2, 1);
    // The selected section's button is disabled: clicking it changes nothing.
    navigation.ClickMain(2);
    EXPECT_TRUE(navigation.SubPageVisible(2, 1));
    navigation.ClickSection(2, 1);
    EXPECT_TRUE(navigation.SubPageVisible(2, 1));
    for (int bad : {0, 5, -1}) navigation.ClickMain(bad);
    navigation.ClickSection(2, 6);
    navigation.ClickSection(1, 0);
    navigation.ClickSection(9, 0);
    ExpectOnlySection(navigation, 2);
    EXPECT_TRUE(navigation.SubPageVisible(2, 1));
    EXPECT_FALSE(navigation.SubPageVisible(2, 99));
}

TEST(ShellTextsTest, TipsBelongToTheFourNavigationButtons) {
    EXPECT_EQ(TipFor("BTN1"), "Displays Vestrel\xE2\x80\x99s status including activation buttons");
    EXPECT_EQ(TipFor("BTN2"), "Learn how to hide your real IP and manage the available proxies");
    EXPECT_EQ(TipFor("BTN3"), "Allows you to perform cleaning operations");
    EXPECT_EQ(TipFor("BTN4"), "Allows you to tune startup and browser options");
    EXPECT_FALSE(TipFor("BTN5").has_value());
    EXPECT_FALSE(TipFor("Anonymity").has_value());
    EXPECT_FALSE(TipFor("").has_value());
    EXPECT_TRUE(IsTipButton("BTN2"));
    EXPECT_TRUE(IsTipButton("xBTNy"));
    EXPECT_FALSE(IsTipButton("Privacy"));
}

TEST(ShellTextsTest, AddressInUseIsTheProxyOnlyWhileAnonymityIsOnWithAProxy) {
    struct Case {
        std::uint32_t use_proxy;
        const char* proxy;
        const char* expected;
    } const cases[] = {
        {1, "1.2.3.4:80", "Current IP Address in use: 1.2.3.4:80"},
        {1, "", "Current IP Address in use: 10.0.0.7"},
        {0, "1.2.3.4:80", "Current IP Address in use: 10.0.0.7"},
        // Only exactly 1 counts as on.
        {2, "1.2.3.4:80", "Current IP Address in use: 10.0.0.7"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StartupAddressInUseLine(c.use_proxy, c.proxy, "10.0.0.7"), c.expected)
            << c.use_proxy << c.proxy;
    }
    EXPECT_EQ(StartupRealAddressLine("Unkwon IP"), "Real IP Address: Unkwon IP");
}

TEST(ShellTextsTest, TrayTipIsCutToSixtyThreeCharacters) {
    const std::string long_tip(80, 'x');
    EXPECT_EQ(TrayTip(long_tip).size(), kTrayTipLength);
    EXPECT_EQ(TrayTip(std::string(63, 'y')), std::string(63, 'y'));
    EXPECT_EQ(TrayTip("Vestrel"), "Vestrel");
}

TEST(LinksTest, HelpNamesAreBuiltFromTheProgramFolder) {
    EXPECT_EQ(links::HelpFilePath("C:\\Program Files\\Vestrel"), "C:\\Program Files\\Vestrel\\Vestrel.chm");
    EXPECT_EQ(links::HelpTopicPath("C:\\V"), "C:\\V\\Vestrel.chm::/Introduction.htm");
    // No folder stored: the name starts at the root of the current drive.
    EXPECT_EQ(links::HelpFilePath(""), "\\Vestrel.chm");
}

}  // namespace
}  // namespace vestrel::app
