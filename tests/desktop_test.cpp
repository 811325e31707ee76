#include "app/desktop.h"

#include <gtest/gtest.h>

namespace halden {
namespace {

TEST(ListSelection, TextThatNamesNoEntryIsNoSelection) {
    const std::vector<std::string> entries = {"(Choose a MIDI port)", "USB MIDI 1", "Synth"};
    struct Case {
        int current;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {1, "USB MIDI 1", 1},  // the entry as shown
        {1, "USB MIDI", -1},   // edited: names nothing
        {-1, "synth", 2},      // typed whole, in another case
        {0, "Synth", 2},       // the text wins over a stale position
        {5, "USB MIDI 1", 1},  // a position past the end
        {-1, "", -1},         {2, "Synth ", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(listSelection(c.current, c.text, entries), c.expected)
            << c.current << " \"" << c.text << "\"";
    }
}

TEST(BoxStyle, TheFourKindsOfBox) {
    EXPECT_EQ(boxStyle(BoxKind::Error).title, "Halden Firmware Update Utility Error");
    EXPECT_FALSE(boxStyle(BoxKind::Error).yesNo);
    EXPECT_EQ(boxStyle(BoxKind::Notice).title, "Halden Firmware Update Utility");
    EXPECT_FALSE(boxStyle(BoxKind::Notice).yesNo);
    EXPECT_EQ(boxStyle(BoxKind::Question).title, "Halden Firmware Update Utility");
    EXPECT_TRUE(boxStyle(BoxKind::Question).yesNo);
    // A fatal box says what happened and what next; it asks nothing.
    EXPECT_EQ(boxStyle(BoxKind::Fatal).title, "Halden Firmware Update Utility Error");
    EXPECT_FALSE(boxStyle(BoxKind::Fatal).yesNo);
}

}  // namespace
}  // namespace halden
