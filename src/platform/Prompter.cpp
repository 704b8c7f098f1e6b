#include "platform/Prompter.h"

#include <QDebug>

namespace {

// Used only when nothing installed a prompter: writes to the log and answers "no".
class LogPrompter final : public Prompter
{
public:
    void ShowMessage(const QString &text) override { qInfo().noquote() << text; }
    void ShowError(const QString &text) override { qWarning().noquote() << text; }
    Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) override
    {
        qInfo().noquote() << message;
        return buttons.isEmpty() ? Button::Cancel : buttons.last().kind;
    }
    int ChooseFromList(const QString &, const QStringList &) override { return -1; }
};

Prompter *g_prompter = nullptr;

} // namespace

Prompter &CurrentPrompter()
{
    static LogPrompter fallback;
    return g_prompter ? *g_prompter : fallback;
}

void SetCurrentPrompter(Prompter *prompter) { g_prompter = prompter; }
