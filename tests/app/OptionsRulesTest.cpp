// The numbers the options and privacy pages accept: the text of an edit read as a whole number, and
// the port and interval ranges at their edges.
#include <gtest/gtest.h>

#include "app/OptionsRules.h"

namespace vestrel::app {
namespace {

TEST(OptionsRulesTest, EditTextsReadAsWholeNumbersOnly) {
    EXPECT_EQ(ParseWholeNumber("0"), 0u);
    EXPECT_EQ(ParseWholeNumber("08080"), 8080u);
    EXPECT_EQ(ParseWholeNumber("4294967295"), 4294967295u);
    for (const char* text : {"", " 8080", "8080 ", "+1", "-1", "80a", "4294967296", "99999999999999999999"})
        EXPECT_FALSE(ParseWholeNumber(text)) << text;
}

TEST(OptionsRulesTest, PortsAndIntervalsAtTheirEdges) {
    struct Case {
        const char* text;
        bool accepted;
    };
    for (const Case& port :
         {Case{"1024", false}, Case{"1025", true}, Case{"64999", true}, Case{"65000", false},
          Case{"70000", false}, Case{"", false}, Case{"port", false}})
        EXPECT_EQ(AcceptedPort(port.text).has_value(), port.accepted) << port.text;
    EXPECT_EQ(AcceptedPort("64999"), 64999);
    EXPECT_FALSE(IntervalAccepted(1));
    EXPECT_TRUE(IntervalAccepted(2));
    EXPECT_TRUE(IntervalAccepted(31999));
    EXPECT_FALSE(IntervalAccepted(32000));
}

}  // namespace
}  // namespace vestrel::app
