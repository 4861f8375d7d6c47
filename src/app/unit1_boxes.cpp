// TForm1: the version and subfolder boxes (change handling, Enter,
// completion while typing) and deleting history entries with Delete.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/unit1.h"
#include "history/completion.h"

namespace {

// The open list shows this many entries and scrolls for more.
constexpr int kVisibleEntries = 8;

// Virtual-key code of the Delete key, as the child-key notification carries it.
constexpr int kVkDelete = 46;

int VirtualKeyOf(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Delete: return kVkDelete;
        case Qt::Key_Backspace: return 8;
        case Qt::Key_Tab: return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 13;
        case Qt::Key_Escape: return 27;
        default: break;
    }
    const int key = event.key();
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) return key;
    return 0;
}

// The character a key press types into a text field, if it types exactly
// one UTF-16 code unit. Shortcuts (Ctrl+V and the like) and characters made
// of a surrogate pair are left to the text field, whose own edit then counts.
bool TypedCharacter(const QKeyEvent& event, char16_t& typed) {
    const Qt::KeyboardModifiers mods = event.modifiers();
    const bool plain = !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    switch (event.key()) {
        case Qt::Key_Backspace:
            if (!plain) return false;
            typed = tw::BackspaceChar;
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: typed = tw::EnterChar; return true;
        case Qt::Key_Tab: typed = tw::TabChar; return true;
        case Qt::Key_Escape: typed = tw::EscapeChar; return true;
        default: break;
    }
    const QString text = event.text();
    if (text.size() != 1) return false;
    const char16_t c = text.at(0).unicode();
    if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) return false;
    typed = c;
    return true;
}

std::vector<tw::String> EntriesOf(const QComboBox* box) {
    std::vector<tw::String> entries;
    entries.reserve(static_cast<std::size_t>(box->count()));
    for (int i = 0; i < box->count(); ++i) entries.push_back(FromQString(box->itemText(i)));
    return entries;
}

tw::TBoxEditState EditStateOf(const QComboBox* box) {
    const QLineEdit* edit = box->lineEdit();
    tw::TBoxEditState state;
    state.Text = FromQString(edit->text());
    state.Caret = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        state.SelStart = edit->selectionStart();
        state.SelLength = edit->selectionLength();
    } else {
        state.SelStart = state.Caret;
        state.SelLength = 0;
    }
    state.ListIndex = box->currentIndex();
    return state;
}

// Puts a state into the box from code: no signal of the box or its text
// field reaches anyone, so the change handling runs only where we say.
void ApplyEditState(QComboBox* box, const tw::TBoxEditState& state) {
    QLineEdit* edit = box->lineEdit();
    const QSignalBlocker boxBlocker(box);
    const QSignalBlocker editBlocker(edit);
    // Setting the list selection rewrites the text; ours follows.
    if (box->currentIndex() != state.ListIndex) box->setCurrentIndex(state.ListIndex);
    const QString text = ToQString(state.Text);
    if (edit->text() != text) edit->setText(text);
    if (state.SelLength > 0) {
        // The caret stays at the end the selection runs to.
        if (state.Caret == state.SelStart)
            edit->setSelection(state.SelStart + state.SelLength, -state.SelLength);
        else
            edit->setSelection(state.SelStart, state.SelLength);
    } else {
        edit->setCursorPosition(state.Caret);
    }
}

}  // namespace

void TForm1::ConnectBoxes() {
    for (QComboBox* box : {cbVersion, cbSubDir}) {
        box->setMaxVisibleItems(kVisibleEntries);
        QLineEdit* edit = box->lineEdit();
        // The box's own editingFinished handling makes the entry equal to the
        // text the list selection on Enter and on leaving the box, and
        // reports that as a pick: neither is the operator's pick.
        QObject::disconnect(edit, &QLineEdit::editingFinished, box, nullptr);

        const auto changed = [this, box] {
            Guarded([this, box] { box == cbVersion ? cbVersionChange() : cbSubDirChange(); });
        };
        // The operator's own edits of the text field: typing that does not
        // complete, Delete, paste, cut, undo. Text set from code never
        // emits textEdited.
        connect(edit, &QLineEdit::textEdited, this, changed);
        // A pick from the open list (mouse or keys) and the arrow keys or
        // wheel on a closed box. Each emits activated once, after the text
        // has been set; the text set by a pick does not emit textEdited.
        connect(box, qOverload<int>(&QComboBox::activated), this, changed);
    }
}

bool TForm1::BoxesEventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;
    // A box's open list is a window of its own that takes the keys while it
    // is open; it is still part of the box.
    if (widget->window() != this && widget != cbVersion->view() && widget != cbSubDir->view())
        return false;
    const auto& key = *static_cast<QKeyEvent*>(event);

    // The child-key notification: once per key, for the widget that has it
    // first (a key a widget ignores is offered to its parents again).
    if (widget == QApplication::focusWidget()) {
        childKeyModifiers_ = key.modifiers();
        if (CMChildKey(VirtualKeyOf(key))) return true;
    }

    // Typing: the box has the focus for its text field (the field's focus
    // proxy) and hands it every key by a direct call, so the keys are seen
    // here, at the box, once each.
    QComboBox* box = nullptr;
    if (watched == cbVersion)
        box = cbVersion;
    else if (watched == cbSubDir)
        box = cbSubDir;
    if (box == nullptr) return false;

    char16_t typed = 0;
    if (!TypedCharacter(key, typed)) return false;

    // 1. The box's character handler; its failure is reported and the key
    // goes on as usual.
    Guarded([&] { box == cbVersion ? cbVersionKeyPress(typed) : cbSubDirKeyPress(typed); });

    // 2-4. Completion. Read the box again: the handler may have changed it.
    const tw::TCompletionResult result = tw::CompleteTyped(EditStateOf(box), typed, EntriesOf(box));
    if (!result.Consumed) return false;  // the text field's own edit counts, if any
    ApplyEditState(box, result.State);
    if (result.RunChange) {
        Guarded([&] { box == cbVersion ? cbVersionChange() : cbSubDirChange(); });
    }
    return true;
}

void TForm1::cbVersionChange() {
    RefreshGrid();
    if (FHistoryLoaded && !tw::TrimBlanks(FromQString(cbVersion->currentText())).empty()) SaveLastUsed();
}

void TForm1::cbSubDirChange() {
    RefreshGrid();
    if (FHistoryLoaded && !tw::TrimBlanks(FromQString(cbSubDir->currentText())).empty()) SaveLastUsed();
    if (!FDroppedFileNames.empty() && !FIsProcessing) RescanForSubDir();
}

void TForm1::cbVersionKeyPress(char16_t key) {
    if (key != tw::EnterChar) return;
    RefreshGrid();
    if (!tw::TrimBlanks(FromQString(cbVersion->currentText())).empty()) SaveLastUsed();
}

void TForm1::cbSubDirKeyPress(char16_t key) {
    if (key != tw::EnterChar) return;
    RefreshGrid();
    if (!tw::TrimBlanks(FromQString(cbSubDir->currentText())).empty()) SaveLastUsed();
    if (!FDroppedFileNames.empty() && !FIsProcessing) RescanForSubDir();
}

bool TForm1::CMChildKey(int key) {
    if (key != kVkDelete) return false;
    if (childKeyModifiers_ & (Qt::ShiftModifier | Qt::ControlModifier)) return false;
    if (FIsProcessing) return false;
    QWidget* focus = QApplication::focusWidget();
    QComboBox* box = nullptr;
    for (QComboBox* candidate : {cbVersion, cbSubDir}) {
        if (focus == candidate || focus == candidate->lineEdit() || focus == candidate->view())
            box = candidate;
    }
    if (box == nullptr) return false;
    // The key is consumed whatever happens; a history file that cannot be
    // written is reported here, at the handler's edge, so that the Delete
    // key still never reaches the text field.
    try {
        DeleteHistoryItem(box);
    } catch (...) {
        ShowCurrentException();
    }
    return true;
}

void TForm1::DeleteHistoryItem(QComboBox* box) {
    if (FIsProcessing) return;
    // While the list is open, the entry it shows selected is the box's
    // selection (the arrow keys move it there); the list closes before the
    // question, as it does when the box loses the focus.
    QAbstractItemView* list = box->view();
    const bool open = list->isVisible();
    const int index = open ? list->currentIndex().row() : box->currentIndex();
    if (index < 0) return;
    if (open) box->hidePopup();
    const QString question = QStringLiteral("确定要删除 \"") + box->itemText(index) + QStringLiteral("\" 吗？");
    if (!AskYesNo(this, question)) return;
    // Read again after the question: nothing may have changed the list
    // meanwhile, but an index past its end must never remove another entry.
    if (index >= box->count()) return;
    const QString entry = box->itemText(index);
    {
        QLineEdit* edit = box->lineEdit();
        const QSignalBlocker boxBlocker(box);
        const QSignalBlocker editBlocker(edit);
        const QString text = edit->text();
        const int caret = edit->cursorPosition();
        // Removing the selected entry would move the selection to a
        // neighbour and show its text: the box is left with none. Another
        // selected entry (the open list's highlight was deleted) stays so.
        int current = box->currentIndex();
        current = current == index ? -1 : current > index ? current - 1 : current;
        box->removeItem(index);
        box->setCurrentIndex(current);
        if (text == entry) {
            edit->clear();
        } else {
            edit->setText(text);
            edit->setCursorPosition(caret);
        }
    }
    SaveHistory();
    SaveLastUsed();
    RefreshGrid();
}
