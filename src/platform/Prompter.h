#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Message boxes, confirmations and choice lists. The program shows real dialogs; tests queue
// answers in advance and read what was asked.
class Prompter
{
public:
    enum class Button { Yes, No, Ok, Cancel };
    struct ButtonSpec
    {
        Button kind;
        QString caption;
    };

    virtual ~Prompter() = default;

    // An information message with one OK button.
    virtual void ShowMessage(const QString &text) = 0;
    // An error message with one OK button.
    virtual void ShowError(const QString &text) = 0;
    // The same under a caption of its own instead of the boxes' usual one. A prompter that
    // shows no captions shows the text as the one above does.
    virtual void ShowError(const QString &caption, const QString &text)
    {
        Q_UNUSED(caption);
        ShowError(text);
    }
    // A confirmation with buttons of our own captions; the second button is the default.
    // Returns the kind of the button pressed (the last button's kind when closed otherwise).
    virtual Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) = 0;
    // A choice among items; returns the index chosen or -1 when cancelled.
    virtual int ChooseFromList(const QString &title, const QStringList &items) = 0;
};

// The prompter of the running program (or of the current test).
Prompter &CurrentPrompter();
void SetCurrentPrompter(Prompter *prompter);
