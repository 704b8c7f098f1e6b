#pragma once

#include "platform/Prompter.h"

#include <QString>

class QWidget;

// The program's prompter: real message boxes with Chinese button captions.
class WidgetPrompter final : public Prompter
{
public:
    explicit WidgetPrompter(QWidget *parentWindow = nullptr) : m_parent(parentWindow) {}
    void setParentWindow(QWidget *parentWindow) { m_parent = parentWindow; }
    // The caption of the boxes; the application name when none is set.
    void setTitle(const QString &title) { m_title = title; }

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    void ShowError(const QString &caption, const QString &text) override;
    Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) override;
    int ChooseFromList(const QString &title, const QStringList &items) override;

private:
    QString Title() const;
    QWidget *m_parent = nullptr;
    QString m_title;
};
