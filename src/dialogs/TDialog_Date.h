#pragma once

#include <QDialog>

class QCalendarWidget;
class QLineEdit;
class QPushButton;

// The date dialog "日期選擇": a month calendar that starts at the date its text names (read with
// its pattern) and, when confirmed by a double-click or "確認", replaces the text with the chosen
// day in the same pattern. Closing it any other way leaves the text alone.
// Arrow keys move the day (left, right) or the week (up, down); "年" moves 365 days back and
// the arrow button beside it 365 days forward. Its width and height are remembered in section
// FormSize (Dialog_Date_Width, Dialog_Date_height).
class TDialog_Date : public QDialog
{
    Q_OBJECT

public:
    // pattern: the date pattern of the text in and out (empty: the default "YYYY/MM/DD").
    explicit TDialog_Date(const QString &dateText = QString(), const QString &pattern = QString(),
                          QWidget *parent = nullptr);

    // The text the next showing starts from, and its pattern.
    void setDateText(const QString &dateText, const QString &pattern = QString());
    // The text as it stands: the chosen day after a confirmation, else the text it was given.
    QString dateText() const { return m_dateText; }

    // Shows the dialog modally with its top left corner at topLeft (screen coordinates).
    // True when a date was chosen (dateText() then holds it).
    bool Execute(const QPoint &topLeft);

    // The usual use from a date field: the field's text goes in, the dialog opens over the
    // field, and the text that comes out is written back into the field. pattern is the date
    // pattern of the field (empty: the default "YYYY/MM/DD"). True when the field's text
    // changed.
    static bool ChooseDateForField(QLineEdit *field, const QString &pattern = QString());

    QCalendarWidget *MonthCalendar1 = nullptr;
    QPushButton *SpeedButtonYear = nullptr;    // "年": 365 days back
    QPushButton *SpeedButtonForward = nullptr; // 365 days forward
    QPushButton *BitBtnOK = nullptr;           // "確認"

public slots:
    void SpeedButtonYearClick();
    void SpeedButtonForwardClick();
    void BitBtnOKClick();
    void MonthCalendar1DblClick();

protected:
    void showEvent(QShowEvent *event) override;

public:
    void done(int result) override;

private:
    QString m_dateText;
    QString m_pattern;
};
