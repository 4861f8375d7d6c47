// Completion while typing in the boxes, without a window: one table of
// typed characters and what each leaves in the box.
#include "history/completion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_drive.h"

namespace {

using tw::String;
using tw::TBoxEditState;
using twtest::U8;

struct Case {
    const char* name;
    TBoxEditState before;
    char16_t typed;
    std::vector<String> list;
    bool consumed;
    TBoxEditState after;  // ignored when not consumed: the box stays as it was
    bool runChange;
};

// A box with the caret at its end and nothing selected.
TBoxEditState At(String text, int listIndex = -1) {
    const int end = static_cast<int>(text.size());
    return {std::move(text), end, 0, end, listIndex};
}
// A box with [start, start+length) selected and the caret at the end of it.
TBoxEditState Sel(String text, int start, int length, int listIndex = -1) {
    return {std::move(text), start, length, start + length, listIndex};
}

TEST(CompletionTest, Table) {
    const std::vector<String> servers{u"Servers"};
    const std::vector<String> several{u"Alpha", u"server2", u"Servers", u"S1"};
    const Case cases[] = {
        // The worked example: S, e, x with Servers in the history.
        {"S completes to Servers", At(u""), u'S', servers, true, Sel(u"Servers", 1, 6, 0), true},
        {"e keeps Servers, already selected", Sel(u"Servers", 1, 6, 0), u'e', servers, true,
         Sel(u"Servers", 2, 5, 0), false},
        {"x replaces the rest", Sel(u"Servers", 2, 5, 0), u'x', servers, false, {}, true},

        {"case ignored, typed case kept", At(u""), u's', servers, true, Sel(u"servers", 1, 6, 0), true},
        {"case ignored in the middle", At(u"SE"), u'R', servers, true, Sel(u"SERvers", 3, 4, 0), true},
        {"first match in list order wins", At(u""), u's', several, true, Sel(u"server2", 1, 6, 1), true},
        {"longer candidate picks a later entry", At(u"Server"), u's', several, true,
         Sel(u"Servers", 7, 0, 2), true},
        {"exact entry typed, nothing left to select", At(u"S"), u'1', several, true, Sel(u"S1", 2, 0, 3), true},
        {"no match is an ordinary edit", At(u"Q"), u'x', servers, false, {}, true},
        {"empty list is an ordinary edit", At(u""), u'S', {}, false, {}, true},
        {"typing over a selection", Sel(u"Sxyz", 1, 3), u'e', servers, true, Sel(u"Servers", 2, 5, 0), true},
        {"typing over a selection that leaves a tail", Sel(u"Xervers", 0, 1), u'S', servers, true,
         Sel(u"Servers", 7, 0, 0), true},
        {"insert at the caret before other text", {u"Sers", 1, 0, 1, -1}, u'e', servers, false, {}, true},
        {"match already the list selection runs nothing", At(u"Serv", 0), u'e', servers, true,
         Sel(u"Servers", 5, 2, 0), false},
        {"another entry than the selection runs the handler", At(u"S", 2), u'1', several, true,
         Sel(u"S1", 2, 0, 3), true},
        {"Chinese text completes", At(u"服"), u'务', {u"服务器一区"}, true, Sel(u"服务器一区", 2, 3, 0), true},

        {"Backspace removes the selection", Sel(u"Servers", 1, 6, 0), tw::BackspaceChar, servers, true,
         At(u"S"), true},
        {"Backspace removes the character before the caret", {u"abc", 2, 0, 2, 1}, tw::BackspaceChar,
         servers, true, {u"ac", 1, 0, 1, -1}, true},
        {"Backspace on an empty text still counts", At(u"", 0), tw::BackspaceChar, servers, true, At(u""),
         true},
        {"Backspace at the start removes nothing", {u"abc", 0, 0, 0, -1}, tw::BackspaceChar, servers, true,
         {u"abc", 0, 0, 0, -1}, true},
        {"Backspace never splits a surrogate pair", At(u"a\U0001F600"), tw::BackspaceChar, {}, true,
         At(u"a"), true},
        {"Backspace does not complete", At(u"Serv"), tw::BackspaceChar, servers, true, At(u"Ser"), true},

        {"Tab goes on", At(u"S"), tw::TabChar, servers, false, {}, false},
        {"Escape goes on", At(u"S"), tw::EscapeChar, servers, false, {}, false},
        {"Enter never completes", At(u"S"), tw::EnterChar, {u"S\r"}, false, {}, false},
        {"other control characters go on", Sel(u"Servers", 0, 7), char16_t(0x16), servers, false, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tw::TCompletionResult r = tw::CompleteTyped(c.before, c.typed, c.list);
        EXPECT_EQ(r.Consumed, c.consumed);
        EXPECT_EQ(r.RunChange, c.runChange);
        const TBoxEditState& want = c.consumed ? c.after : c.before;
        EXPECT_EQ(U8(r.State.Text), U8(want.Text));
        EXPECT_EQ(r.State.SelStart, want.SelStart);
        EXPECT_EQ(r.State.SelLength, want.SelLength);
        EXPECT_EQ(r.State.Caret, want.Caret);
        EXPECT_EQ(r.State.ListIndex, want.ListIndex);
    }
}

}  // namespace
