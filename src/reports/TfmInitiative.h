#pragma once

#include "dialogs/RecordWindow.h"
#include "reports/EnrolmentRecords.h"

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSqlQueryModel;
class QTabWidget;
class QTableView;
class QWidget;
class TDM;
class EnrolmentSortProxy;
struct StationState;

// The enrolment records window "報名資料": the persons enrolled in the current class
// (G().CurrentClassKey) with their sign-in times, searched, added, changed and deleted, and
// signed in by hand with a double-click on the sign-in column. The rules and statements live
// in EnrolmentRecords; this window gathers input and shows the list.
//
// Opened modally from the class window ("學員名單") and the sign-in screen ("學員"), through
// Open(). Each manual sign-in stored adds one to the sign-in screen's sign-in counter: the
// window adds it to StationState::InCnt of the station given with setStation() and emits
// SignInCounted with the new caption of the sign-in button, "簽到(<n>)".
class TfmInitiative : public QDialog
{
    Q_OBJECT

public:
    explicit TfmInitiative(TDM &dm, QWidget *parent = nullptr);
    ~TfmInitiative() override;

    // Shows the window modally for the current class. station (optional) gives the station
    // number, whether the class requires enrolment, the caption of the third event kind and
    // the sign-in counter; onSignInCounted (optional) receives the new sign-in button caption
    // after every manual sign-in stored. Returns the number of manual sign-ins stored.
    static int Open(TDM &dm, StationState *station, QWidget *parent = nullptr,
                    const std::function<void(const QString &)> &onSignInCounted = {});

    void setStation(StationState *station) { m_station = station; }
    // Manual sign-ins stored since the window was last shown.
    int manualSignIns() const { return m_manualSignIns; }

    using Mode = RecordWindow::Mode;
    Mode mode() const { return m_record->mode(); }
    int rowCount() const;
    int currentRid() const { return m_currentRid; }
    // Moves the list to the person with that RID; false when not in the list.
    bool SelectPerson(int rid);
    // The grid column (view column) showing a field of the list statement; -1 when none.
    int GridColumnOf(const QString &field) const;
    // The Booking column the sign events of this station carry ("ID" or "IDNO").
    QString identityColumn() const { return m_identityColumn; }

    // The activation steps, run each time the window is shown.
    void FormActivate();

    // Toolbar: the navigation buttons NavFirst .. NavLast, then the editing buttons (both made
    // by RecordWindow), then the window's own.
    QPushButton *NavInsert = nullptr; // "新增"
    QPushButton *NavEdit = nullptr;   // "修改"
    QPushButton *NavPost = nullptr;   // "確認"
    QPushButton *NavDelete = nullptr; // " 刪除 "
    QPushButton *NavCancel = nullptr; // "取消"
    QPushButton *BitBtnHelp = nullptr;   // "Help"
    QPushButton *BitBtnDelAll = nullptr; // "全刪"
    QPushButton *BitBtnClose = nullptr;  // "  離  開  "

    QTabWidget *PageControl1 = nullptr;

    // Page "多筆瀏覽": search boxes (the hint of each names its column), count and grid.
    QLabel *LabelCount = nullptr;       // "筆數：<n>"
    QLineEdit *EditName = nullptr;      // NAME
    QLineEdit *EditIndexKey = nullptr;  // INDEX_KEY, hidden: the class key
    QLineEdit *EditMobile = nullptr;    // Mobile
    QLineEdit *EditTel = nullptr;       // TEL
    QLineEdit *EditGhour = nullptr;     // Ghour
    QLineEdit *EditID = nullptr;        // ID, hidden: "%" + the free identity box
    QLineEdit *EditIdTail = nullptr;    // the free identity box (end of the identity)
    QLineEdit *EditSignDate = nullptr;  // "簽到日" (YYYMMDD)
    QPushButton *BitBtnQuery = nullptr; // "查詢"
    QPushButton *BitBtnClear = nullptr; // "條件清除"
    QTableView *DBGrid1 = nullptr;

    // Page "單筆明細": one person. Each field's hint is its column.
    QLineEdit *DBEditNAME = nullptr;
    QLineEdit *DBEditCalID = nullptr; // CalID; ID while a new person is added
    QLineEdit *DBEditIDNO = nullptr;
    QLineEdit *DBEditBookingNo = nullptr;
    QLineEdit *DBEditTEL = nullptr;
    QLineEdit *DBEditMobile = nullptr;
    QLineEdit *DBEditCARDID = nullptr;
    QLineEdit *DBEditeMail = nullptr;
    QLineEdit *DBEditBIRTHDAY = nullptr;
    QComboBox *DBComboJOBTYPE = nullptr;
    QLineEdit *DBEditGHour = nullptr;
    QLineEdit *DBEditScore = nullptr;
    QLineEdit *DBEditCR_TYPE = nullptr;
    QLineEdit *DBEditCR_DATE = nullptr;
    QComboBox *DBComboSEX = nullptr;
    QLineEdit *DBEditLINE = nullptr;
    QLineEdit *DBEditAddress = nullptr;
    QLineEdit *DBEditZIP = nullptr;

    // The label in front of a detail field.
    QLabel *LabelOf(QWidget *field) const;

signals:
    // A manual sign-in was stored; caption is the sign-in button's new text, "簽到(<n>)".
    void SignInCounted(const QString &caption);

public slots:
    // 修改, 刪除 and 取消 are RecordWindow's own.
    void NavInsertClick();
    void NavPostClick();
    void BitBtnHelpClick();
    void BitBtnDelAllClick();
    void BitBtnCloseClick();
    void BitBtnQueryClick(); // 查詢
    void BitBtnClearClick(); // 條件清除
    // Double-click on a grid cell: the name column opens the detail page, the sign-in column
    // signs the person in.
    void DBGrid1DblClick(int viewRow, int viewColumn);
    void EditSignDateDblClick();
    void EditSignDateRightClick();

public:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct DetailField
    {
        QWidget *field;
        QLabel *label;
        QString column; // hint: the data column
    };

    void BuildWindow();
    QHBoxLayout *BuildToolbar();
    QWidget *BuildListPage();
    QWidget *BuildDetailPage();
    QPushButton *MakeButton(const QString &name, const QString &caption);
    void AddDetailField(QWidget *page, const QString &caption, QWidget *field,
                        const QString &dataColumn);
    void RunSearch(int selectRid);
    void ApplyGridLayout();
    void ApplyDetailLayout();
    void CurrentRowChanged();
    void LoadFields(int rid);
    // The enabled states of the window's own buttons and fields in a mode.
    void ApplyModeStates(Mode mode);
    void BeginEdit();
    // Deletes the person the list stands on (after asking) and searches again.
    void DeleteShownPerson();
    QVariantMap GatherFields() const;
    void SetComboValue(QComboBox *combo, const QString &value);
    QString SignInCaption() const;
    // The key a manual sign-in at `now` is stored under (EnrolmentRecords::ManualSignInKey with
    // the sign-in screen's lesson and windows), else the lesson the operator chooses in the
    // course choice dialog; std::nullopt when he chooses none.
    std::optional<QString> ManualSignInKey(const QDateTime &now);
    int SourceColumn(const QString &field) const;

    TDM &m_dm;
    std::unique_ptr<EnrolmentRecords> m_records;
    StationState *m_station = nullptr;
    QSqlQueryModel *m_model = nullptr;
    EnrolmentSortProxy *m_proxy = nullptr;
    QList<DetailField> m_detailFields;
    QGridLayout *m_detailGrid = nullptr;
    QList<QWidget *> m_fixedHidden; // hidden whatever the layout says
    RecordWindow *m_record = nullptr;
    int m_currentRid = 0;
    QString m_identityColumn = QStringLiteral("ID");
    QString m_signInField = QStringLiteral("CalIoTime");
    QVariantMap m_loadedValues; // the editable columns of the current person as loaded
    QVariantMap m_newValues;    // the values a new person starts with
    struct GridColumn
    {
        QString field;
        QString title;
        int width;
    };
    QList<GridColumn> m_gridColumns; // the shown grid columns, in order
    QWidget *m_listPage = nullptr;
    bool m_loading = false;
    int m_manualSignIns = 0;
};
