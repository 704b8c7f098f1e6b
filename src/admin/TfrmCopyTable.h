#pragma once

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TDM;
struct ConversionProgress;

// "資料庫資料表轉換作業": backs up the working database and, unless "備份不轉換" is checked,
// converts it to the layout of the template. The work itself is DatabaseConversion's; this
// window gathers the backup name and folder and shows the progress lines and the bar.
//
// When the data folder has no Quorin.db but an old Access database Quorin.mdb, the window offers
// to convert that file instead ("發現舊版資料庫 Quorin.mdb，是否轉換？"): its tables are read one by
// one with their progress, the summary of rows read, converted and skipped per table is shown in
// the window at the end, and the .mdb stays as it was.
//
// When the station works on the shared database (useNetDB), the window backs that database up
// through pg_dump into the backup folder and says where the file is; it converts nothing and
// says why.
//
// Open it modally: TfrmCopyTable window(dm, parent); window.exec();
// The result is Accepted ("OK") after the work, Rejected after "取消".
class TfrmCopyTable : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmCopyTable(TDM &dm, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;    // heading
    QLabel *Label2 = nullptr;    // "資料重整時會順便備份 備份檔名如下："
    QLabel *Label3 = nullptr;    // "yyyymmddhhmmss  檔名格式"
    QLabel *Label4 = nullptr;    // "備份檔名："
    QLineEdit *Edit1 = nullptr;  // backup file name
    QLabel *Label5 = nullptr;    // "備份目錄："
    QLineEdit *Edit2 = nullptr;  // backup folder
    QCheckBox *CheckBox1 = nullptr; // "備份不轉換"
    QPushButton *BitBtn1 = nullptr; // "開始備份" / "開始備份轉換"
    QPushButton *BitBtn2 = nullptr; // "取消"
    QLabel *Label6 = nullptr;    // first status line: the table being converted
    QLabel *Label7 = nullptr;    // second status line: the row
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *LabelJet = nullptr;       // the old Access database found, when there is one
    QLabel *LabelShared = nullptr;    // the shared database: what the window does with it
    QPlainTextEdit *MemoSummary = nullptr; // rows read, converted and skipped per table

public slots:
    void FormActivate();
    void CheckBox1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    // Asks whether the old Access database is to be converted, and converts it when so.
    void OfferJetConversion();

    // Ignored while the work runs: the window closes by itself when it is done.
    void reject() override;

signals:
    // Each progress report as the window shows it.
    void progressShown(const QString &tableLine, const QString &rowLine, int percent);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ShowProgress(const ConversionProgress &progress);
    void ShowJetMode();
    void ShowSharedMode();
    void RunJetConversion();
    void SetInputsEnabled(bool enabled);

    TDM &m_dm;
    bool m_activated = false;
    bool m_running = false;
    QString m_jetPath;     // Quorin.mdb waiting for its conversion
    bool m_jetDone = false; // converted: the window shows the summary until it is closed
    bool m_shared = false;  // the station works on the shared database
};
