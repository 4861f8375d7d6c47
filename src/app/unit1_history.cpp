// TForm1: the history file and the boxes' drop-down lists (thin wrappers).
// The drop-down list of each box is its history; there is no other copy.
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "app/unit1.h"
#include "history/history.h"

namespace {

// A box's drop-down list as a history list. QComboBox moves its current
// index when rows around it come and go, and rewrites the edit text to
// match; none of that may show or reach the change handling. So the box and
// its line edit stay silent while the list changes, the selection follows
// its own entry (none once that entry is gone), and the text, caret and
// selected part of the text are put back as they were.
class TBoxHistory : public tw::THistoryList {
public:
    explicit TBoxHistory(QComboBox* box)
        : box_(box),
          edit_(box->lineEdit()),
          boxBlocker_(box),
          editBlocker_(edit_),
          current_(box->currentIndex()),
          text_(box->currentText()) {
        if (edit_) {
            cursor_ = edit_->cursorPosition();
            selStart_ = edit_->selectionStart();
            selLength_ = edit_->selectionLength();
        }
    }

    ~TBoxHistory() override {
        if (box_->currentIndex() != current_) box_->setCurrentIndex(current_);
        if (!edit_ || edit_->text() == text_) return;
        edit_->setText(text_);
        if (selStart_ >= 0 && selLength_ > 0) {
            // Leaves the caret at the end the selection was made towards.
            if (cursor_ == selStart_)
                edit_->setSelection(selStart_ + selLength_, -selLength_);
            else
                edit_->setSelection(selStart_, selLength_);
        } else {
            edit_->setCursorPosition(cursor_);
        }
    }

    TBoxHistory(const TBoxHistory&) = delete;
    TBoxHistory& operator=(const TBoxHistory&) = delete;

    int Count() const override { return box_->count(); }
    tw::String At(int index) const override { return FromQString(box_->itemText(index)); }

    void RemoveAt(int index) override {
        box_->removeItem(index);
        if (index == current_)
            current_ = -1;
        else if (index < current_)
            --current_;
    }

    void InsertFirst(const tw::String& text) override {
        box_->insertItem(0, ToQString(text));
        if (current_ >= 0) ++current_;
    }

    void Append(const tw::String& text) { box_->addItem(ToQString(text)); }

    void Clear() {
        box_->clear();
        current_ = -1;
    }

private:
    QComboBox* box_;
    QLineEdit* edit_;
    QSignalBlocker boxBlocker_;
    QSignalBlocker editBlocker_;
    int current_;
    QString text_;
    int cursor_ = 0;
    int selStart_ = -1;
    int selLength_ = 0;
};

void FillBox(QComboBox* box, const std::vector<tw::String>& entries) {
    TBoxHistory list(box);
    list.Clear();
    for (const tw::String& entry : entries) list.Append(entry);
}

std::vector<tw::String> EntriesOf(const QComboBox* box) {
    std::vector<tw::String> entries;
    for (int i = 0; i < box->count(); ++i) entries.push_back(FromQString(box->itemText(i)));
    return entries;
}

// Text put into a box from code is not an edit: no change handling runs.
void SetBoxText(QComboBox* box, const tw::String& text) {
    const QSignalBlocker boxBlocker(box);
    const QSignalBlocker editBlocker(box->lineEdit());
    box->setEditText(ToQString(text));
}

}  // namespace

tw::String TForm1::GetIniPath() const { return tw::String(tw::HistoryIniPath); }

void TForm1::LoadHistory() {
    const tw::TIniFile ini(GetIniPath());
    FHistoryState = ini.State();
    FillBox(cbVersion, tw::ReadHistoryList(ini, tw::VersionHistorySection));
    FillBox(cbSubDir, tw::ReadHistoryList(ini, tw::SubDirHistorySection));
    FHistoryLoaded = true;
}

void TForm1::LoadLastUsed() {
    const tw::TLastUsed pair = tw::ReadLastUsed(GetIniPath());
    if (!pair.Version.empty()) SetBoxText(cbVersion, pair.Version);
    if (!pair.SubDir.empty()) SetBoxText(cbSubDir, pair.SubDir);
}

void TForm1::SaveLastUsed() {
    // What a file that could not be read holds would be lost by a save; it
    // was reported at start-up, and every save leaves it alone.
    if (tw::IsUnreadable(FHistoryState)) return;
    tw::TIniFile ini(GetIniPath());
    tw::WriteLastUsed(ini, FromQString(cbVersion->currentText()), FromQString(cbSubDir->currentText()));
}

void TForm1::SaveHistory() {
    // A history that was never loaded must not replace the stored one.
    if (!FHistoryLoaded || tw::IsUnreadable(FHistoryState)) return;
    tw::TIniFile ini(GetIniPath());
    tw::WriteHistories(ini, EntriesOf(cbVersion), EntriesOf(cbSubDir));
}

void TForm1::AddToHistory(QComboBox* box, const QString& text) {
    TBoxHistory list(box);
    tw::AddToHistory(list, FromQString(text));
}

void TForm1::RememberInputs() {
    // The texts as shown, untrimmed; AddToHistory leaves blank ones out.
    AddToHistory(cbVersion, cbVersion->currentText());
    AddToHistory(cbSubDir, cbSubDir->currentText());
    SaveLastUsed();
    SaveHistory();
}
