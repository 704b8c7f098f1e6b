#pragma once

#include "platform/Prompter.h"

#include <QQueue>

// Answers queued before the action; every text shown is kept for the test to read.
// Installs itself as the current prompter while it lives.
class ScriptedPrompter final : public Prompter
{
public:
    ScriptedPrompter();
    ~ScriptedPrompter() override;

    void queueButton(Button answer) { m_buttons.enqueue(answer); }
    void queueChoice(int index) { m_choices.enqueue(index); }

    QStringList messages; // ShowMessage texts
    QStringList errors;   // ShowError texts
    QStringList errorCaptions; // the caption of each of them (empty: the usual one)
    QStringList asked;    // MessageDlgCaptions and ChooseFromList texts
    QList<QList<ButtonSpec>> askedButtons;

    void clear();
    // All texts shown, in order, whatever their kind.
    QStringList all() const { return m_all; }

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    void ShowError(const QString &caption, const QString &text) override;
    Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) override;
    int ChooseFromList(const QString &title, const QStringList &items) override;

private:
    QQueue<Button> m_buttons;
    QQueue<int> m_choices;
    QStringList m_all;
};
