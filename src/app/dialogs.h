// The window's modal questions: every yes/no question goes through here, so
// that a test can answer it in advance and check what was asked.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QWidget;

// A question as it was put to the operator.
struct TQuestion {
    QString Title;
    QString Text;
    QStringList Buttons;    // the texts of its buttons
    QString DefaultButton;  // the text of the button Enter chooses
};

// Asks text with the title "Confirm", the buttons "&Yes" and "&No" and Yes
// as the default; true when the operator chose Yes. Closing the box counts
// as No.
bool AskYesNo(QWidget* parent, const QString& text);

// Test seam. An answer set in advance is used by the next question in place
// of running the box; either way the box is built and what it would show is
// recorded.
void SetNextAnswer(bool yes);
const std::vector<TQuestion>& AskedQuestions();
// Forgets the answer set in advance and the questions asked.
void ResetQuestions();
