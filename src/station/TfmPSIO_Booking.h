#pragma once

#include "station/SignEventRecords.h"

#include <QDialog>

class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QWidget;
class RecordWindow;
class TDM;
struct StationState;

// The sign-event records window "報名刷卡簽到退明細資料": lists the sign events of the class
// G().CurrentClassKey with the names of the enrolled persons, searches them by the inputs whose
// hints name their columns, counts the matching events per type, shows the snapshot of the event
// under the cursor, and lets the operator correct (in the grid, posted when the row is left) or
// delete events. "匯出" and "匯入" carry events between stations (SignEventTransfer). The rules
// live in SignEventRecords; this window gathers input and shows results.
//
// Opened modally with Open() from the class window ("刷卡明細資料", once a class is chosen) and
// from the sign-in screen's records button; each showing runs the opening steps anew.
class TfmPSIO_Booking : public QDialog
{
    Q_OBJECT

public:
    // station: the sign-in screen whose type captions, snapshot rule and snapshot sub-folder
    // the window uses; without one the defaults and the settings file are used.
    explicit TfmPSIO_Booking(TDM &dm, const StationState *station = nullptr, QWidget *parent = nullptr);
    ~TfmPSIO_Booking() override;

    // Shows the window modally for the class of G().CurrentClassKey and returns when it closes.
    static void Open(TDM &dm, const StationState *station, QWidget *parent);

    // The opening steps, run each time the window is shown.
    void FormActivate();

    SignEventRecords *records() const { return m_records; }
    // Station number (INI Base/ComputerNo, read when the window is made).
    QString StationNo;
    // The picture folder and whether snapshots are taken (the picture panel is shown).
    QString pictureDir() const { return m_pictureDir; }
    bool photoOn() const { return m_photoOn; }
    // The picture the panel shows: the row's snapshot, or "unSign.jpg" when it is missing.
    QString shownPicture() const { return m_shownPicture; }
    bool panelLarge() const { return m_panelLarge; }
    // Runs "匯入" on the given file without asking for one (the button asks).
    void ImportFile(const QString &path);

    // Toolbar: the navigation buttons BtnFirst .. BtnLast (RecordWindow), then these.
    QPushButton *BitBtnDelete = nullptr;  // "刪除"
    QPushButton *BitBtnCancel = nullptr;  // "  取消  "
    QPushButton *BitBtnEdit = nullptr;    // "Edit" (hidden)
    QPushButton *BitBtnPost = nullptr;    // "確認" (hidden)
    QPushButton *BitBtnExport = nullptr;  // "匯出"
    QPushButton *BitBtnImport = nullptr;  // "匯入"
    QPushButton *BitBtnHelp = nullptr;    // "Help"
    QPushButton *BitBtnClose = nullptr;   // "離開"

    // Search inputs; the hint (tool tip) of each names its column.
    QLineEdit *Edit4 = nullptr;      // INDEX_KEY: the class number
    QLineEdit *Edit6 = nullptr;      // Booking->NAME
    QLineEdit *Edit15 = nullptr;     // IDNO
    QLineEdit *Edit14 = nullptr;     // IODATE
    QLineEdit *Edit1 = nullptr;      // IOTIME
    QLineEdit *Edit2 = nullptr;      // NTP
    QLineEdit *Edit9 = nullptr;      // DOOR
    QComboBox *ComboBox4 = nullptr;  // IOTYPE
    QComboBox *ComboBox12 = nullptr; // IOWay
    QLineEdit *Edit10 = nullptr;     // Booking->GNAME (hidden)
    QComboBox *ComboBox13 = nullptr; // Booking->GHOUR (hidden)
    QLabel *LabelIdno = nullptr;     // caption of Edit15: the storage kind
    QPushButton *BitBtnQry = nullptr;   // "查詢"
    QPushButton *BitBtnClear = nullptr; // "條件清除"
    QList<QLabel *> Lab_Iotype;      // Lab_Iotype1 .. Lab_Iotype6: counts of the types "0" .. "5"

    QTableView *DBGrid4 = nullptr;
    QFrame *Panel1 = nullptr;        // the picture panel
    QLabel *Image1 = nullptr;

public slots:
    void BitBtnQryClick();
    void BitBtnClearClick();
    void BitBtnDeleteClick();
    void BitBtnCancelClick();
    void BitBtnPostClick();
    void BitBtnExportClick();
    void BitBtnImportClick();
    void BitBtnHelpClick();
    void BitBtnCloseClick();
    void DBGrid4TitleClick(int column);
    void Image1DblClick();
    void DateFieldDblClick(QLineEdit *field);
    void DateFieldRightClick(QLineEdit *field);

public:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildWindow();
    QHBoxLayout *BuildToolbar();
    QWidget *BuildSearchPanel();
    void LayOutSearchPanel(QWidget *search);
    void BuildRecordsGrid();
    void BuildPicturePanel();
    void RowChanged(int row, int previous);
    void ShowSnapshot(int row);
    void PlacePanel1();
    void SelectRow(int row);
    bool PostPendingEdit();
    QString ClassNumber() const;

    TDM &m_dm;
    const StationState *m_station = nullptr;
    RecordWindow *m_record = nullptr;
    SignEventRecords *m_records = nullptr;
    QString m_pictureDir;
    QString m_snapshotRule;
    bool m_photoOn = false;
    bool m_panelLarge = false;
    QString m_shownPicture;
};
