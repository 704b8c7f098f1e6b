#pragma once

#include "dialogs/ChoiceDialogs.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class TDM;

// Which class the course choice dialog offers the lessons of, and the class's first and last
// day for its caption line.
struct CourseChoiceRequest
{
    QString classKey;
    QString firstDay;
    QString lastDay;
};

// The course choice dialog "課程選擇": offers the lessons of the requested class on the data
// module's working connection, one line each ("A001:2024/05/06(09:00-12:00):職業安全"), under
// the caption line "日期：<first day>～<last day>".
// Each showing sets the result of choice() to "abort"; "OK" sets it to the lesson date as ROC
// text with its weekday (1130506(一)) together with the lesson's keys.
class Tdialog_course : public QDialog
{
    Q_OBJECT

public:
    Tdialog_course(TDM &dm, const CourseChoiceRequest &request, QWidget *parent = nullptr);

    // What the last showing gave: Result "abort" unless a line was confirmed; the keys of the
    // last confirmed line stay when a later showing is left without one.
    const CourseChoice &choice() const { return m_choice; }
    bool chosen() const { return m_choice.Result != CourseChoiceAbort(); }

    QLabel *Label1 = nullptr;        // the caption line
    QComboBox *ComboBox1 = nullptr;  // the lesson lines
    QPushButton *BitBtnOK = nullptr; // "OK", the default button
    QPushButton *BitBtnCancel = nullptr;

public slots:
    void BitBtnOKClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    TDM &m_dm;
    CourseChoiceRequest m_request;
    CourseChoice m_choice;
};
