#pragma once

#include "classes/ClassImport.h"
#include "classes/ClassRecords.h"
#include "dialogs/RecordWindow.h"
#include "dialogs/WindowOpeners.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QTableWidget;
class TrainingService;
class WebClient;
class QPushButton;
class QSortFilterProxyModel;
class QSqlQueryModel;
class QTabWidget;
class QTableView;
class QWidget;
class TDM;
struct StationState;

// The class window "講習基本資料": finds a training class, corrects it, marks the days a long
// class meets, adds the unit's own classes, and chooses the class the sign-in station serves.
// The rules live in ClassRecords; this window gathers input and shows lists.
//
// The sign-in screen shows it modally (exec()). It ends with QDialog::Accepted only after
// "開始簽到退" succeeded: G().CurrentClassKey then holds the chosen class key, classChosen() is
// true, and the station given with setStation() has ClassChosenByUser raised. Any other way of
// leaving ("離開", the close box, Esc) gives QDialog::Rejected and classChosen() false.
class TFmSetup : public QDialog
{
    Q_OBJECT

public:
    // openers: the windows it opens (StandardWindowOpeners() in the program).
    TFmSetup(TDM &dm, WindowOpeners openers, QWidget *parent = nullptr);
    ~TFmSetup() override;

    // The sign-in screen whose event-kind captions the window shows and whose class-chosen
    // flag it raises. Optional.
    void setStation(StationState *station) { m_station = station; }
    // The last showing ended with "開始簽到退".
    bool classChosen() const { return m_classChosen; }

    using Mode = RecordWindow::Mode;
    Mode mode() const { return m_record->mode(); }
    // The RID of the class the list stands on (0 when none).
    int currentRid() const { return m_current.RID; }
    // The class as the detail page shows it now (what "確認" would store).
    ClassRecord GatherFields() const;
    // Rows the last query found.
    int rowCount() const;
    // Moves the list to the class with that RID; false when it is not in the list.
    bool SelectClass(int rid);

    // The activation steps, run each time the window is shown; false when they stopped.
    bool FormActivate();

    // Toolbar: the navigation buttons NavFirst .. NavLast, then the editing buttons (both made
    // by RecordWindow), then the window's own.
    QPushButton *NavInsert = nullptr;   // "新增"
    QPushButton *NavEdit = nullptr;     // "修改"
    QPushButton *NavDelete = nullptr;   // "刪除"
    QPushButton *NavPost = nullptr;     // "確認"
    QPushButton *NavCancel = nullptr;   // "取消"
    QPushButton *BitBtnHelp = nullptr;  // "Help"
    QPushButton *BitBtnSysManager = nullptr; // "系統管理"
    QPushButton *BitBtnClose = nullptr; // "  離  開  "

    QTabWidget *PageControl1 = nullptr;

    // Page "多筆瀏覽查詢": search fields (the hint of each names its column) and the list.
    QLineEdit *EditQCourseId = nullptr;
    QLineEdit *EditQCourse = nullptr;
    QLineEdit *EditQCharge = nullptr;
    QLineEdit *EditQTeacher = nullptr;
    QLabel *LabelDate = nullptr;        // "日期" / "起迄日期": a click switches the fields
    QLineEdit *EditQDate = nullptr;     // one day or a year
    QLineEdit *EditQDateS = nullptr;    // condition on DateStart
    QLineEdit *EditQDateE = nullptr;    // condition on DateEnd
    QPushButton *BitBtn1 = nullptr;     // "查詢"
    QPushButton *BitBtn2 = nullptr;     // "條件清除"
    QPushButton *BitBtn3 = nullptr;     // "講習與報名人員匯入": the web class list
    QPushButton *BitBtnRosterImport = nullptr; // "匯入學員名單檔": a roster file into the class
    // Asks for the roster file (a file dialog); tests put their own chooser here.
    std::function<QString(QWidget *parent)> chooseRosterFile;
    QLabel *LabelCount = nullptr;       // "總筆數:<n>"
    QTableView *DBGrid1 = nullptr;

    // Page "單筆明細": the class.
    QLineEdit *DBEditCourseId = nullptr;
    QLabel *LabelCourseIdLen = nullptr; // "(11位文數字)"
    QLineEdit *DBEditEchelon = nullptr; // hidden
    QLineEdit *DBEditCourse = nullptr;  // read-only except for a new class
    QLineEdit *DBEditDateStart = nullptr;
    QLineEdit *DBEditDateEnd = nullptr;
    QComboBox *DBComboTimeStart = nullptr;
    QComboBox *DBComboTimeEnd = nullptr;
    QComboBox *DBComboPlace = nullptr;
    QComboBox *DBComboCharge = nullptr;
    QLineEdit *DBEditTeacher = nullptr;
    QLineEdit *DBEditTeacherId = nullptr;
    QComboBox *DBComboTotHours = nullptr;
    QList<QCheckBox *> CheckBoxSign;    // CheckBox1 .. CheckBox6: 簽到 簽退 午到 午退 晚上簽到 晚上簽退
    QComboBox *DBComboCNo2 = nullptr;
    QLineEdit *DBEditCNo4 = nullptr;
    QLabel *LabelCNo4Desc = nullptr;
    QPlainTextEdit *DBMemoContent = nullptr;

    // Buttons of the detail page.
    QWidget *PanelButtons = nullptr;
    QPushButton *BitBtn7 = nullptr;  // "開始簽到退"
    QPushButton *BitBtn8 = nullptr;  // "課程明細"
    QPushButton *BitBtn9 = nullptr;  // "講習課程出勤報表" (not available yet)
    QPushButton *BitBtn10 = nullptr; // "刷卡明細資料" (not available yet)
    QPushButton *BitBtn11 = nullptr; // "學員名單" (not available yet)
    QPushButton *BitBtn12 = nullptr; // "期間日期"
    QPushButton *BitBtn13 = nullptr; // "【驗自然人憑證】"
    QPushButton *BitBtn14 = nullptr; // "點名紀錄上傳"
    QPushButton *BitBtn15 = nullptr; // "刷卡紀錄上傳彙整"
    QPushButton *BitBtn16 = nullptr; // "刷卡紀錄下載彙整"
    QPushButton *BitBtn17 = nullptr; // "送件"
    QPushButton *BitBtn18 = nullptr; // "簽到資料註記到人員基本資料"

    // Upload progress: the bar (hidden while idle) and the label in front of the class number.
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *LabelUpload = nullptr;      // "資料上傳進度 <n> ％"

    // Panel "網站講習清單資料": the service's classes, one grid row per class (row 0 the titles).
    QWidget *PanelWeb = nullptr;
    QLabel *LabelWebHint = nullptr;     // "選擇講習後點下載"
    QTableWidget *StringGrid1 = nullptr;
    QPushButton *BtnWebDownload = nullptr; // "下載"
    QPushButton *BtnWebClose = nullptr;    // "離開"

    // Progress panel of the web actions: "人員基本資料下載中" while idle, then the stage.
    QWidget *PanelProgress = nullptr;
    QLabel *LabelProgress = nullptr;

    // Period-date panel.
    QWidget *PanelPeriod = nullptr;
    QListWidget *CheckListBox1 = nullptr;
    QLabel *LabelPeriodCount = nullptr; // "前後共<n>天"
    QPushButton *BtnPeriodAll = nullptr;    // "全選"
    QPushButton *BtnPeriodNone = nullptr;   // "全刪"
    QPushButton *BtnPeriod135 = nullptr;    // "1.3.5"
    QPushButton *BtnPeriod24 = nullptr;     // " 2.4"
    QPushButton *BtnPeriodWork = nullptr;   // "工作日"
    QList<QPushButton *> BtnPeriodDay;      // "1" .. "5"
    QPushButton *BtnPeriodOk = nullptr;     // "oK"
    QPushButton *BtnPeriodCancel = nullptr; // "取消"

public slots:
    // 修改, 刪除 and 取消 are RecordWindow's own.
    void NavInsertClick();
    void NavPostClick();
    void BitBtnHelpClick();
    void BitBtnSysManagerClick();
    void BitBtnCloseClick();
    void SearchClick();             // BitBtn1 查詢
    void ClearSearchClick();        // BitBtn2 條件清除
    void LabelDateClick();
    void DBGrid1DblClick();
    void BitBtn7Click();            // 開始簽到退
    void LessonsClick();            // BitBtn8 課程明細
    void AttendanceReportsClick();  // BitBtn9 講習課程出勤報表
    void SignEventRecordsClick();   // BitBtn10 刷卡明細資料
    void EnrolmentListClick();      // BitBtn11 學員名單
    void PeriodDatesClick();        // BitBtn12 期間日期
    void ImportWebClassesClick();   // BitBtn3 講習與報名人員匯入
    void BitBtnRosterImportClick(); // 匯入學員名單檔
    void CheckCertificateClick();   // BitBtn13 【驗自然人憑證】
    void MarkPersonnelClick();      // BitBtn18 簽到資料註記到人員基本資料
    // The record uploads (rules in RecordUpload).
    // BitBtn14 點名紀錄上傳: the roll-call sheet this action makes, uploaded.
    void UploadRollCallClick();
    // BitBtn15 刷卡紀錄上傳彙整: the sign-event package, uploaded.
    void UploadSignEventsClick();
    // BitBtn16 刷卡紀錄下載彙整: the class's package downloaded and merged.
    void DownloadSignEventsClick();
    // BitBtn17 送件: report files, time-stamp check, audit package, uploaded.
    void SubmitClick();
    void BtnWebDownloadClick();
    void BtnWebCloseClick();
    void StringGrid1SelectCell(int row);
    // Follows an upload of the given client on the bar and the label.
    void FollowUploadProgress(WebClient &client);
    void ShowUploadProgress(qint64 sent, qint64 total);
    // The web class list as the panel shows it (empty before the first request).
    const WebClassList &webClassList() const { return m_webList; }
    int webRow() const { return m_webRow; }
    void PeriodButtonClick(PeriodButton button, int weekday = 0);
    void BtnPeriodOkClick();
    void BtnPeriodCancelClick();

public:
    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildWindow();
    QHBoxLayout *BuildToolbar();
    QWidget *BuildSearchPage();
    QWidget *BuildDetailPage();
    // The rows of the detail page's form, each group adding its rows from row on.
    void AddNumberAndNameRows(QWidget *page, QGridLayout *form, int &row);
    void AddDateAndTimeRows(QWidget *page, QGridLayout *form, int &row);
    void AddPlaceAndTeacherRows(QWidget *page, QGridLayout *form, int &row);
    void AddHoursAndSubjectRows(QWidget *page, QGridLayout *form, int &row);
    QWidget *BuildSignKindBox(QWidget *page);
    QWidget *BuildClassButtons(QWidget *page);
    void ConnectClassFields();
    QWidget *BuildPeriodPanel();
    void BuildWebPanels();
    void PlaceWebPanels();
    void FillWebGrid();
    void ImportWebRow(int row);
    void ShowStage(const QString &text);
    // The certificate gate of an upload; restartCheck starts the check again when it fails.
    bool PassUploadGate(TrainingService &service, bool restartCheck);
    // The class of the detail page made current for an upload; empty after "尚未選定講習".
    QString UploadClassKey();
    // The class key and the service of an upload of the shown class, once the class is made
    // current and the certificate gate passed (the check started again when it failed); no
    // service when either stopped.
    struct UploadStart
    {
        QString key;
        std::unique_ptr<TrainingService> service;
    };
    UploadStart StartUpload();
    // The service as the settings read at activation say; the check token lives for the run.
    std::unique_ptr<TrainingService> MakeService() const;
    QPushButton *MakeButton(const QString &name, const QString &caption);
    void MarkNotAvailable(QPushButton *button);
    // The class on the detail page becomes G().CurrentClassKey; false (with a message) when none.
    bool MakeShownClassCurrent();
    void RunQuery(int selectRid);
    void CurrentRowChanged();
    void MoveToClass(const ClassRecord &record);
    void LoadFields(const ClassRecord &record);
    void FillDropDowns();
    void BeginEdit();
    // Deletes the class the list stands on (after asking) and searches again.
    void DeleteShownClass();
    // The enabled states of the window's own buttons and fields in a mode.
    void ApplyModeStates(Mode mode);
    // Back to browsing with the list on the class with that RID, or on the row it stands on.
    void ReturnToList(int rid);
    void UpdatePeriodButton();
    void CheckDayLimit();
    void ShowPeriodDays();
    void DateFieldDoubleClick(QLineEdit *field);
    void DateFieldRightClick(QLineEdit *field);
    bool CheckTimeFieldOnLeave(QComboBox *field);
    void ApplyEventCaptions();

    TDM &m_dm;
    const WindowOpeners m_open;
    std::unique_ptr<ClassRecords> m_records;
    StationState *m_station = nullptr;
    QSqlQueryModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    RecordWindow *m_record = nullptr;
    ClassRecord m_current;       // the class as stored (or as a new class starts)
    QString m_dateBet;           // DateBet as the period-date panel left it
    QList<PeriodDay> m_periodDays;
    QString m_serviceUrl;        // base address of the training web service
    bool m_signTouched = false;  // the user pressed one of the sign-kind boxes
    bool m_loading = false;      // fields are being filled by the window, not typed
    bool m_rangeShown = false;   // the range fields are shown instead of the date field
    bool m_refocusing = false;
    bool m_classChosen = false;
    WebClassList m_webList;      // the last class list the panel showed
    int m_webRow = 0;            // grid row chosen in the panel (0 = none yet)
};
