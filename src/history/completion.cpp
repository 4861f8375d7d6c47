// The boxes' completion while typing.
#include "history/completion.h"

#include <algorithm>

namespace tw {

namespace {

// The selected part, clamped to the text: a box may report a selection or
// caret past a text that changed under it.
struct TSpan {
    std::size_t start;
    std::size_t length;
};

TSpan SelectionOf(const TBoxEditState& box) {
    const std::size_t size = box.Text.size();
    const auto clamp = [](int value, std::size_t most) {
        return std::min<std::size_t>(static_cast<std::size_t>(std::max(value, 0)), most);
    };
    const std::size_t start = clamp(box.SelStart, size);
    return {start, clamp(box.SelLength, size - start)};
}

std::size_t CaretOf(const TBoxEditState& box) {
    return std::min<std::size_t>(static_cast<std::size_t>(std::max(box.Caret, 0)), box.Text.size());
}

bool BeginsWithNoCase(StringView entry, StringView prefix) {
    return entry.size() >= prefix.size() && CompareAsciiNoCase(entry.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace

TCompletionResult CompleteTyped(const TBoxEditState& box, char16_t typed,
                                const std::vector<String>& list) {
    TCompletionResult result;
    result.State = box;

    if (typed == BackspaceChar) {
        String text = box.Text;
        std::size_t at = CaretOf(box);
        if (const TSpan sel = SelectionOf(box); sel.length > 0) {
            text.erase(sel.start, sel.length);
            at = sel.start;
        } else if (at > 0) {
            // A surrogate pair goes as one character, never half of it.
            std::size_t count = 1;
            if (at >= 2 && text[at - 1] >= 0xDC00 && text[at - 1] <= 0xDFFF && text[at - 2] >= 0xD800 &&
                text[at - 2] <= 0xDBFF)
                count = 2;
            at -= count;
            text.erase(at, count);
        }
        result.Consumed = true;
        result.RunChange = true;
        result.State = {std::move(text), static_cast<int>(at), 0, static_cast<int>(at), -1};
        return result;
    }

    // Tab, Escape, Enter and the other control characters (copy, paste,
    // undo...) are the text field's; no entry holds them.
    if (typed < 0x20 || typed == 0x7F) return result;

    String candidate = box.Text;
    std::size_t at = CaretOf(box);
    if (const TSpan sel = SelectionOf(box); sel.length > 0) {
        candidate.erase(sel.start, sel.length);
        at = sel.start;
    }
    candidate.insert(at, 1, typed);

    for (std::size_t i = 0; i < list.size(); ++i) {
        const String& entry = list[i];
        if (!BeginsWithNoCase(entry, candidate)) continue;
        const int index = static_cast<int>(i);
        const int typedLength = static_cast<int>(candidate.size());
        String text = candidate + entry.substr(candidate.size());
        const int end = static_cast<int>(text.size());
        result.Consumed = true;
        result.RunChange = index != box.ListIndex;
        result.State = {std::move(text), typedLength, end - typedLength, end, index};
        return result;
    }

    // No entry: an ordinary edit of the text field.
    result.RunChange = true;
    return result;
}

}  // namespace tw
