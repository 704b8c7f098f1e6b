#pragma once

#include "reports/ReportOutputs.h"
#include "reports/SignSheets.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFrame;
class TFmAttendanceChart;
class QLabel;
class QProgressBar;
class QPushButton;
class TDM;

// The reports window "送署查核資料" of the class of G().CurrentClassKey: the three sign-in
// sheets and the four CSV files of the class's audit package. What is not a widget (class
// values, folders, rows and columns, files) lives in ReportOutputs; this window shows the
// class, runs the outputs and shows the progress of the hours computation.
//
// Reached in three ways:
//   - the class window's "講習課程出勤報表": Open() shows it modally;
//   - the class window's uploads and the sign-in screen's print: CreateActivated() gives a
//     window that is activated but never shown; the caller presses what it needs
//     (RunSignEventsCsv(), ..., or a sheet button) and frees it;
//   - the class window's "送件": RunSubmissionOutputs() runs the four CSV outputs in order;
//   - the sign-in screen's "列印作業": PrintPhotoSheet() produces the photo sheet.
class TFmReport : public QDialog
{
    Q_OBJECT

public:
    explicit TFmReport(TDM &dm, QWidget *parent = nullptr);
    ~TFmReport() override;

    // Creates the window, activates it, shows it modally and frees it when it closes.
    static int Open(TDM &dm, QWidget *parent);
    // A window created and activated without being shown. Errors of the activation raise.
    static std::unique_ptr<TFmReport> CreateActivated(TDM &dm, QWidget *parent = nullptr);
    // The submission run: a window created and activated without being shown runs the four CSV
    // outputs in order, calling stage with "產出簽到退紀錄", "產出課程明細紀錄", "產出各課程核可時數"
    // and "產出各學員核可時數" before each. Returns the files written; errors raise.
    static QStringList RunSubmissionOutputs(TDM &dm, QWidget *parent,
                                            const std::function<void(const QString &)> &stage = {});

    // The sign-in screen's print: a window created and activated without being shown produces
    // the photo sheet (course choice, preview, PDF). An error shows its message. Returns the
    // PDF file written, empty when the sheet was cancelled, stopped or failed.
    static QString PrintPhotoSheet(TDM &dm, QWidget *parent);
    // A sheet from a window created and activated without being shown, with or without the
    // preview (the roll-call upload skips it). Returns the PDF file written, empty when the
    // course choice was cancelled or the sheet stopped with its message; errors raise.
    static QString ProduceSheet(TDM &dm, QWidget *parent, SignSheetKind kind, bool showPreview);

    // The activation: reads the class values, settings and folders, creates the folders,
    // sets caption and labels, restores the geometry, and computes the late and early bounds
    // of the class's start date. Runs when the window is first shown unless the caller ran it
    // before.
    void FormActivate();

    // One sign-in sheet, as its button runs it: PP set for the sheet, the course choice when
    // the class has lessons (a cancelled choice ends it without a word), the sheet data with
    // the progress panel, the preview (unless SkipPreview) and then the PDF file. Returns the
    // PDF file written, empty when the sheet was cancelled or stopped with its message
    // (a roll-call sheet of a class without lessons); errors raise.
    QString RunSheet(SignSheetKind kind);
    // The PDF file of the last sheet written by this window (empty before).
    QString LastPdfFileName() const { return m_lastPdfFileName; }
    // Sheets go straight to their PDF file without the preview (the roll-call upload; tests).
    bool SkipPreview = false;
    // The late and early bounds of the class's start date, computed at activation.
    const DayWindows &sheetWindows() const { return m_sheetWindows; }

    // The four CSV outputs, as their hidden buttons run them; each returns the file it wrote
    // (RunCoursesCsv: empty when the class has neither lessons nor a class row) and raises
    // RolvanError when it cannot. The two hours outputs run the hours computation first, with
    // the progress panel showing.
    QString RunSignEventsCsv();
    QString RunCoursesCsv();
    QString RunHoursPerCourseCsv();
    QString RunPermitHoursCsv();

    // The chart page of the class: runs the hours computation with the progress panel showing
    // and gives the page, not shown, exporting into PdfDir as <ClassNumber>_AttendanceChart.png
    // and .pdf. Errors of the run raise.
    std::unique_ptr<TFmAttendanceChart> CreateChartPage();

    ReportOutputs &outputs() { return m_outputs; }
    TDM &dm() { return m_dm; }

    // A text appended to the PDF file name of the sheets.
    QString PP;

    QLabel *Label1 = nullptr; // "科目：<class name>"
    QLabel *Label2 = nullptr; // "日期：<first day>[～<last day>]"

    // The three sign-in sheets and the close button.
    QPushButton *BitBtnPhoto = nullptr;    // "講習課程簽到單(照片)"
    QPushButton *BitBtnSimple = nullptr;   // "講習課程簽到單(簡式)"
    QPushButton *BitBtnRollCall = nullptr; // "講習課程簽到單(點名)"
    QPushButton *BitBtnChart = nullptr;    // "出勤統計圖表": the chart page
    QPushButton *BitBtnClose = nullptr;    // "結束"
    QPushButton *BitBtnHelp = nullptr;     // "說明": the help topic "列印作業"

    // Where the last sheet's PDF file was written, with a button that opens its folder.
    QFrame *PanelPdf = nullptr;
    QLabel *LabelPdfPath = nullptr;        // "PDF 檔已寫入：<path>"
    QPushButton *BitBtnOpenFolder = nullptr; // "開啟資料夾"

    // The CSV outputs: never shown, pressed in code.
    QPushButton *BitBtnPSIO = nullptr;     // "講習期間所有刷卡記錄"
    QPushButton *BitBtnCourse = nullptr;   // "講習期間所有課程記錄"
    QPushButton *BitBtnScore = nullptr;    // "學員各課程核定時數明細"
    QPushButton *BitBtnBooking = nullptr;  // "學員講習核定時數清單"

    // The progress panel " 資料處理中  ", hidden except while the hours are computed.
    QFrame *Panel1 = nullptr;
    QLabel *LabelPanel1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

public slots:
    void BitBtnPhotoClick();
    void BitBtnSimpleClick();
    void BitBtnRollCallClick();
    void BitBtnChartClick();
    void BitBtnCloseClick();
    void BitBtnHelpClick();
    void BitBtnOpenFolderClick();
    void BitBtnPSIOClick();
    void BitBtnCourseClick();
    void BitBtnScoreClick();
    void BitBtnBookingClick();

public:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BuildWindow();
    ReportOutputs::Progress ShowProgress();
    void HideProgress();

    TDM &m_dm;
    ReportOutputs m_outputs;
    bool m_activated = false;
    QString m_lastPdfFileName;
    DayWindows m_sheetWindows;
};
