#pragma once

#include "classes/LessonRules.h"
#include "dialogs/RecordWindow.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSqlQueryModel;
class QTabWidget;
class QTableView;
class QWidget;
class TDM;

// The lesson window "課程明細" of one class: lists, adds, edits and deletes the class's lessons
// (Course rows), refuses inconsistent lessons before they are stored, enrols a lesson's teacher
// in the class, and on closing records on which days of the class there are lessons
// (Courses.DateBet). The rules live in LessonRules; this window gathers input and shows lists.
//
// Opened modally for the class of G().CurrentClassKey (OpenForClass sets it first).
class Tfm_Course : public QDialog
{
    Q_OBJECT

public:
    explicit Tfm_Course(TDM &dm, QWidget *parent = nullptr);
    ~Tfm_Course() override;

    // Sets G().CurrentClassKey to classKey and shows the window modally; returns when it
    // closes (the QDialog result code).
    int OpenForClass(const QString &classKey);

    using Mode = RecordWindow::Mode;
    Mode mode() const { return m_record->mode(); }
    // The RID of the lesson the list stands on (0 when none).
    int currentRid() const;

    // Toolbar: the navigation buttons BtnFirst .. BtnLast, then the editing buttons (both made
    // by RecordWindow), then the window's own.
    QPushButton *BitBtnInsert = nullptr; // "新增"
    QPushButton *BitBtnEdit = nullptr;   // "修改"
    QPushButton *BitBtnPost = nullptr;   // "確認"
    QPushButton *BitBtnDelete = nullptr; // " 刪除 "
    QPushButton *BitBtnCancel = nullptr; // "取消"
    QPushButton *BitBtnHelp = nullptr;   // "Help"
    QPushButton *BitBtnClose = nullptr;  // "離開"
    QPushButton *BitBtnUpload = nullptr; // "課程上傳": the lessons to the training web service

    // Pages "多筆瀏覽" (the list) and "單筆明細" (one lesson).
    QTabWidget *PageControl1 = nullptr;
    QTableView *DBGrid1 = nullptr;

    // Detail fields, named after their columns.
    QLineEdit *DBEditCNo4 = nullptr;
    QComboBox *DBLookupCNo4 = nullptr; // the subject list: CODE_DESC of the lesson number
    QComboBox *DBComboCNo2 = nullptr;
    QComboBox *DBComboSubject = nullptr;
    QLineEdit *DBEditDateStart = nullptr;
    QComboBox *DBComboTimeStart = nullptr;
    QComboBox *DBComboTimeEnd = nullptr;
    QLineEdit *DBEditHours = nullptr;
    QComboBox *DBComboTeacher = nullptr;
    QLineEdit *DBEditTeacherID = nullptr;
    QLineEdit *DBEditNoonRS = nullptr;
    QLineEdit *DBEditNoonRE = nullptr;
    QLineEdit *DBEditNightRS = nullptr;
    QLineEdit *DBEditNightRE = nullptr;
    QLineEdit *DBEditR1 = nullptr;
    QLineEdit *DBEditR2 = nullptr;
    QLineEdit *DBEditR3 = nullptr;
    QPlainTextEdit *DBMemoCourseContent = nullptr;

public slots:
    // 修改, 刪除 and 取消 are RecordWindow's own.
    void BitBtnInsertClick();
    void BitBtnPostClick();
    void BitBtnHelpClick();
    void BitBtnCloseClick();
    void BitBtnUploadClick();
    void DBGrid1DblClick();
    void DBComboTeacherChange();
    void DBEditTeacherIDDblClick();
    void DBEditDateStartDblClick();
    void DBEditDateStartRightClick();
    void DBLookupCNo4Change(int index);

public:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildWindow();
    QHBoxLayout *BuildToolbar();
    QWidget *BuildListPage();
    QWidget *BuildDetailPage();
    void CreateLessonFields(QWidget *detail);
    QGridLayout *LayOutLessonFields(QWidget *detail);
    void ConnectLessonFields();
    void Activate();
    void ReloadList(int selectRid);
    void CurrentRowChanged();
    void LoadFields(const LessonRecord &lesson);
    LessonRecord GatherFields() const;
    void BeginEdit();
    // Deletes the lesson the list stands on (after asking) and lists the lessons again.
    void DeleteShownLesson();
    void ShowLookupOfNumber();
    void FillDropDowns();
    QList<QLineEdit *> OptionalTimeFields() const;

    TDM &m_dm;
    std::unique_ptr<LessonRules> m_rules;
    QSqlQueryModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    RecordWindow *m_record = nullptr;
    RememberedLesson m_remembered;
    bool m_loading = false;    // fields are being filled by the window, not typed
    bool m_refocusing = false; // focus is being put back into a field refused on leaving
};
