#include "platform/WidgetPrompter.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

void WidgetPrompter::ShowError(const QString &caption, const QString &text)
{
    ShowBox(m_parent, caption.isEmpty() ? Title() : caption, QMessageBox::Critical, text);
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
    // The answer is the position of the line chosen: two lines may read alike.
    QDialog dialog(DialogParent(m_parent));
    dialog.setObjectName(QStringLiteral("ChoiceList"));
    dialog.setWindowTitle(Title());
    auto *layout = new QVBoxLayout(&dialog);
    auto *label = new QLabel(title, &dialog);
    layout->addWidget(label);
    auto *list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("ChoiceListItems"));
    list->addItems(items);
    list->setCurrentRow(0);
    list->setMinimumWidth(qMin(list->sizeHintForColumn(0) + 4 * list->frameWidth() + 24, 900));
    // Up to twelve lines without a scroll bar, and no empty space below the last one.
    list->setFixedHeight(
        qBound(1, int(items.size()), 12) * list->sizeHintForRow(0) + 2 * list->frameWidth() + 4);
    layout->addWidget(list);
    auto *buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("確定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    list->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    const int row = list->currentRow();
    return row >= 0 && row < items.size() ? row : -1;
}
