// The window's modal questions, and the answers a test gives in advance.
#include "app/dialogs.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace {

std::optional<bool> nextAnswer;
std::vector<TQuestion> asked;

}  // namespace

bool AskYesNo(QWidget* parent, const QString& text) {
    const QString yes = QStringLiteral("&Yes");
    const QString no = QStringLiteral("&No");
    asked.push_back({QStringLiteral("Confirm"), text, {yes, no}, yes});
    if (nextAnswer) {
        const bool answer = *nextAnswer;
        nextAnswer.reset();
        return answer;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    // Our own captions, not the platform's translated ones.
    box.button(QMessageBox::Yes)->setText(yes);
    box.button(QMessageBox::No)->setText(no);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void SetNextAnswer(bool yes) { nextAnswer = yes; }

const std::vector<TQuestion>& AskedQuestions() { return asked; }

void ResetQuestions() {
    nextAnswer.reset();
    asked.clear();
}
