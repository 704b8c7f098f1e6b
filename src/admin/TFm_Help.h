#pragma once

#include <QDialog>

class TDM;

// The help window: the help text of one topic (help name + page) from the template database,
// and the user's own notes on it from the working database.
class TFm_Help : public QDialog
{
    Q_OBJECT
public:
    explicit TFm_Help(TDM &dm, QWidget *parent = nullptr);

    // Opens the help of a topic modally; windows call this from their help buttons.
    static void ShowHelp(TDM &dm, const QString &helpName, const QString &subject,
                         QWidget *parent = nullptr);

private:
    TDM &m_dm;
};
