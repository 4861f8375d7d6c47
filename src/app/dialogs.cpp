// The window's modal questions, and the answers a test gives in advance.
#include "app/dialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace {

std::optional<bool> nextAnswer;
std::vector<TQuestion> asked;

}  // namespace

bool AskYesNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    // Our own captions, not the platform's translated ones.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Yes"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&No"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);

    // Recorded from the box itself, so that a test sees what the operator
    // would have seen.
    TQuestion question{box.windowTitle(), box.text(), {}, {}};
    for (const QAbstractButton* button : box.buttons()) question.Buttons << button->text();
    if (const QPushButton* preset = box.defaultButton()) question.DefaultButton = preset->text();
    asked.push_back(question);

    if (nextAnswer) {
        const bool answer = *nextAnswer;
        nextAnswer.reset();
        return answer;
    }
    return box.exec() == QMessageBox::Yes;
}

void SetNextAnswer(bool yes) { nextAnswer = yes; }

const std::vector<TQuestion>& AskedQuestions() { return asked; }

void ResetQuestions() {
    nextAnswer.reset();
    asked.clear();
}
