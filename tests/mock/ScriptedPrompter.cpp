#include "mock/ScriptedPrompter.h"

ScriptedPrompter::ScriptedPrompter()
{
    SetCurrentPrompter(this);
}

ScriptedPrompter::~ScriptedPrompter() { SetCurrentPrompter(nullptr); }

void ScriptedPrompter::clear()
{
    messages.clear();
    errors.clear();
    errorCaptions.clear();
    asked.clear();
    askedButtons.clear();
    m_all.clear();
}

void ScriptedPrompter::ShowMessage(const QString &text)
{
    messages << text;
    m_all << text;
}

void ScriptedPrompter::ShowError(const QString &text) { ShowError(QString(), text); }

void ScriptedPrompter::ShowError(const QString &caption, const QString &text)
{
    errors << text;
    errorCaptions << caption;
    m_all << text;
}

Prompter::Button ScriptedPrompter::MessageDlgCaptions(const QString &message,
                                                      const QList<ButtonSpec> &buttons)
{
    asked << message;
    askedButtons << buttons;
    m_all << message;
    if (!m_buttons.isEmpty())
        return m_buttons.dequeue();
    // Unanswered: the default (second) button, as a person pressing Enter would.
    if (buttons.size() >= 2)
        return buttons.at(1).kind;
    return buttons.isEmpty() ? Button::Cancel : buttons.first().kind;
}

int ScriptedPrompter::ChooseFromList(const QString &title, const QStringList &)
{
    asked << title;
    m_all << title;
    return m_choices.isEmpty() ? -1 : m_choices.dequeue();
}
