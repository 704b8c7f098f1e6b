#include "platform/WidgetPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QWidget *DialogParent(QWidget *preferred)
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return preferred;
}

void ShowBox(QWidget *parent, const QString &title, QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::NoButton,
                    DialogParent(parent));
    box.addButton(QStringLiteral("確定"), QMessageBox::AcceptRole);
    box.exec();
}

} // namespace

QString WidgetPrompter::Title() const
{
    return m_title.isEmpty() ? QApplication::applicationName() : m_title;
}

void WidgetPrompter::ShowMessage(const QString &text)
{
    ShowBox(m_parent, Title(), QMessageBox::Information, text);
}

void WidgetPrompter::ShowError(const QString &text)
{
    ShowBox(m_parent, Title(), QMessageBox::Critical, text);
}

Prompter::Button WidgetPrompter::MessageDlgCaptions(const QString &message,
                                                    const QList<ButtonSpec> &buttons)
{
    QMessageBox box(QMessageBox::Question, Title(), message,
                    QMessageBox::NoButton, DialogParent(m_parent));
    QList<QPushButton *> pushButtons;
    for (const ButtonSpec &spec : buttons) {
        const bool yes = spec.kind == Button::Yes || spec.kind == Button::Ok;
        pushButtons << box.addButton(spec.caption, yes ? QMessageBox::YesRole : QMessageBox::NoRole);
    }
    // The second button is the default, so Enter never confirms a deletion by accident.
    if (pushButtons.size() >= 2)
        box.setDefaultButton(pushButtons.at(1));
    box.exec();
    const int index = pushButtons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    if (index < 0)
        return buttons.isEmpty() ? Button::Cancel : buttons.last().kind;
    return buttons.at(index).kind;
}

int WidgetPrompter::ChooseFromList(const QString &title, const QStringList &items)
{
    bool ok = false;
    const QString chosen = QInputDialog::getItem(DialogParent(m_parent),
                                                 Title(), title,
                                                 items, 0, false, &ok);
    return ok ? int(items.indexOf(chosen)) : -1;
}
