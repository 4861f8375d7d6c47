// The boxes' completion while typing: what one typed character does to a
// box's text, its selected part, the caret and the list selection.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace tw {

inline constexpr char16_t BackspaceChar = 8;
inline constexpr char16_t TabChar = 9;
inline constexpr char16_t EnterChar = 13;
inline constexpr char16_t EscapeChar = 27;

// A box as the character finds it. Positions count UTF-16 code units from 0;
// the selected part of the text is [SelStart, SelStart + SelLength).
struct TBoxEditState {
    String Text;
    int SelStart = 0;
    int SelLength = 0;
    int Caret = 0;
    int ListIndex = -1;  // the list selection, -1 for none

    bool operator==(const TBoxEditState&) const = default;
};

struct TCompletionResult {
    // The character goes no further: the box shows State and the text field
    // must not handle the key. Otherwise the text field handles it as usual
    // and State is the box as it was.
    bool Consumed = false;
    TBoxEditState State;
    // The change handler runs once for this character. For a character that
    // is not consumed, the text field's own edit runs it (when that edit
    // changes the text).
    bool RunChange = false;
};

// One typed character: Backspace removes the selected part or the
// character before the caret and always counts as a change; Tab, Escape,
// Enter and other control characters go to the text field unchanged; any
// other character completes the text to the first entry of list that begins
// with the text it would give (ASCII letters compared without regard to
// case), with the added rest selected.
TCompletionResult CompleteTyped(const TBoxEditState& box, char16_t typed,
                                const std::vector<String>& list);

}  // namespace tw
