#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class TDM;

// The course choice dialog "課程選擇": offers the lessons of G().CurrentClassKey on the data
// module's working connection, one line each ("A001:2024/05/06(09:00-12:00):職業安全"), under
// the caption line "日期：<G().DialogCourseFirstDay>～<G().DialogCourseLastDay>".
// Each showing sets G().DialogCourseResult to "abort"; "OK" sets it to the lesson date as ROC
// text with its weekday (1130506(一)) and sets G().LessonKey and G().FullLessonKey.
class Tdialog_course : public QDialog
{
    Q_OBJECT

public:
    explicit Tdialog_course(TDM &dm, QWidget *parent = nullptr);

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
};
