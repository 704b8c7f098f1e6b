#include "reports/TFmReport.h"

#include "Fun/FileFunctions.h"
#include "Fun/FormHelpers.h"
#include "Fun/FormGeometryWidget.h"
#include "Fun/SettingKeys.h"
#include "dialogs/TFm_Help.h"
#include "dialogs/Tdialog_course.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"
#include "platform/ShellOpener.h"
#include "reportengine/ReportPreviewDialog.h"
#include "reports/TFmAttendanceChart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Hides the progress panel however the hours run ends.
class ProgressPanelGuard
{
public:
    explicit ProgressPanelGuard(std::function<void()> hide)
        : m_hide(std::move(hide))
    {
    }
    ~ProgressPanelGuard() { m_hide(); }
    ProgressPanelGuard(const ProgressPanelGuard &) = delete;
    ProgressPanelGuard &operator=(const ProgressPanelGuard &) = delete;

private:
    std::function<void()> m_hide;
};

} // namespace

TFmReport::TFmReport(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_outputs(dm)
{
    setObjectName(u"FmReport"_s);
    setWindowTitle(ReportOutputs::Caption());
    setSizeGripEnabled(true);
    BuildWindow();
}

TFmReport::~TFmReport() = default;

void TFmReport::BuildWindow()
{
    QFont headingFont = font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.25);
    headingFont.setBold(true);

    Label1 = new QLabel(u"科目："_s, this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setFont(headingFont);
    Label1->setWordWrap(true);
    Label2 = new QLabel(u"日期："_s, this);
    Label2->setObjectName(u"Label2"_s);
    Label2->setFont(headingFont);

    BitBtnPhoto = MakeButton(this, u"BitBtnPhoto"_s, u"講習課程簽到單(照片)"_s);
    BitBtnSimple = MakeButton(this, u"BitBtnSimple"_s, u"講習課程簽到單(簡式)"_s);
    BitBtnRollCall = MakeButton(this, u"BitBtnRollCall"_s, u"講習課程簽到單(點名)"_s);
    BitBtnClose = MakeButton(this, u"BitBtnClose"_s, u"結束"_s);
    BitBtnHelp = MakeButton(this, u"BitBtnHelp"_s, u"說明"_s);

    BitBtnPSIO = MakeButton(this, u"BitBtnPSIO"_s, u"講習期間所有刷卡記錄"_s);
    BitBtnCourse = MakeButton(this, u"BitBtnCourse"_s, u"講習期間所有課程記錄"_s);
    BitBtnScore = MakeButton(this, u"BitBtnScore"_s, u"學員各課程核定時數明細"_s);
    BitBtnBooking = MakeButton(this, u"BitBtnBooking"_s, u"學員講習核定時數清單"_s);
    for (QPushButton *hidden : {BitBtnPSIO, BitBtnCourse, BitBtnScore, BitBtnBooking})
        hidden->hide();

    QFont buttonFont = font();
    buttonFont.setPointSizeF(buttonFont.pointSizeF() * 1.2);
    BitBtnChart = MakeButton(this, u"BitBtnChart"_s, u"出勤統計圖表"_s);
    for (QPushButton *sheet : {BitBtnPhoto, BitBtnSimple, BitBtnRollCall, BitBtnChart}) {
        sheet->setFont(buttonFont);
        sheet->setMinimumSize(320, 56);
    }
    for (QPushButton *bottomButton : {BitBtnHelp, BitBtnClose}) {
        bottomButton->setFont(buttonFont);
        bottomButton->setMinimumSize(140, 40);
    }

    // Where the PDF went: shown after each sheet, so nobody has to search for it.
    PanelPdf = new QFrame(this);
    PanelPdf->setObjectName(u"PanelPdf"_s);
    PanelPdf->setFrameShape(QFrame::StyledPanel);
    LabelPdfPath = new QLabel(PanelPdf);
    LabelPdfPath->setObjectName(u"LabelPdfPath"_s);
    LabelPdfPath->setWordWrap(true);
    LabelPdfPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    BitBtnOpenFolder = MakeButton(PanelPdf, u"BitBtnOpenFolder"_s, u"開啟資料夾"_s);
    auto *pdfLayout = new QHBoxLayout(PanelPdf);
    pdfLayout->addWidget(LabelPdfPath, 1);
    pdfLayout->addWidget(BitBtnOpenFolder);
    PanelPdf->hide();

    Panel1 = new QFrame(this);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    LabelPanel1 = new QLabel(u" 資料處理中  "_s, Panel1);
    LabelPanel1->setObjectName(u"LabelPanel1"_s);
    LabelPanel1->setFont(buttonFont);
    LabelPanel1->setAlignment(Qt::AlignCenter);
    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(u"ProgressBar1"_s);
    ProgressBar1->setRange(0, 0);
    auto *panelLayout = new QVBoxLayout(Panel1);
    panelLayout->addWidget(LabelPanel1);
    panelLayout->addWidget(ProgressBar1);
    Panel1->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(12);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(16);
    for (QPushButton *sheet : {BitBtnPhoto, BitBtnSimple, BitBtnRollCall, BitBtnChart})
        layout->addWidget(sheet, 0, Qt::AlignHCenter);
    for (QPushButton *hidden : {BitBtnPSIO, BitBtnCourse, BitBtnScore, BitBtnBooking})
        layout->addWidget(hidden, 0, Qt::AlignHCenter);
    layout->addSpacing(8);
    layout->addWidget(Panel1);
    layout->addWidget(PanelPdf);
    layout->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BitBtnHelp);
    bottom->addStretch();
    bottom->addWidget(BitBtnClose);
    layout->addLayout(bottom);

    connect(BitBtnPhoto, &QPushButton::clicked, this, &TFmReport::BitBtnPhotoClick);
    connect(BitBtnSimple, &QPushButton::clicked, this, &TFmReport::BitBtnSimpleClick);
    connect(BitBtnRollCall, &QPushButton::clicked, this, &TFmReport::BitBtnRollCallClick);
    connect(BitBtnChart, &QPushButton::clicked, this, &TFmReport::BitBtnChartClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFmReport::BitBtnCloseClick);
    connect(BitBtnHelp, &QPushButton::clicked, this, &TFmReport::BitBtnHelpClick);
    connect(BitBtnOpenFolder, &QPushButton::clicked, this, &TFmReport::BitBtnOpenFolderClick);
    connect(BitBtnPSIO, &QPushButton::clicked, this, &TFmReport::BitBtnPSIOClick);
    connect(BitBtnCourse, &QPushButton::clicked, this, &TFmReport::BitBtnCourseClick);
    connect(BitBtnScore, &QPushButton::clicked, this, &TFmReport::BitBtnScoreClick);
    connect(BitBtnBooking, &QPushButton::clicked, this, &TFmReport::BitBtnBookingClick);
}

int TFmReport::Open(TDM &dm, QWidget *parent)
{
    TFmReport window(dm, parent);
    if (!GuardAction([&window] { window.FormActivate(); }))
        return QDialog::Rejected;
    return window.exec();
}

std::unique_ptr<TFmReport> TFmReport::CreateActivated(TDM &dm, QWidget *parent)
{
    auto window = std::make_unique<TFmReport>(dm, parent);
    window->FormActivate();
    return window;
}

QStringList TFmReport::RunSubmissionOutputs(TDM &dm, QWidget *parent,
                                            const std::function<void(const QString &)> &stage)
{
    const auto report = CreateActivated(dm, parent);
    const auto enter = [&stage](const QString &text) {
        if (stage)
            stage(text);
    };
    QStringList files;
    enter(u"產出簽到退紀錄"_s);
    files << report->RunSignEventsCsv();
    enter(u"產出課程明細紀錄"_s);
    if (const QString courses = report->RunCoursesCsv(); !courses.isEmpty())
        files << courses;
    enter(u"產出各課程核可時數"_s);
    files << report->RunHoursPerCourseCsv();
    enter(u"產出各學員核可時數"_s);
    files << report->RunPermitHoursCsv();
    return files;
}

QString TFmReport::PrintPhotoSheet(TDM &dm, QWidget *parent)
{
    QString file;
    GuardAction([&] { file = ProduceSheet(dm, parent, SignSheetKind::Photo, true); });
    return file;
}

QString TFmReport::ProduceSheet(TDM &dm, QWidget *parent, SignSheetKind kind, bool showPreview)
{
    const auto report = CreateActivated(dm, parent);
    report->SkipPreview = !showPreview;
    return report->RunSheet(kind);
}

void TFmReport::FormActivate()
{
    m_activated = true;
    const FormSizeDefault::Geometry geometry = FormSizeDefault::FmReport;
    RestoreFormGeometry(this, geometry.top, geometry.left, geometry.width, geometry.height);
    m_outputs.Activate();
    setWindowTitle(ReportOutputs::Caption());
    Label1->setText(m_outputs.SubjectLabel());
    Label2->setText(m_outputs.DateLabel());
    // The bounds of the class's start date matter only to the sheets, which compute them again
    // for their lesson: a class whose date cannot be read still gets its CSV outputs.
    try {
        m_sheetWindows = BuildSheetWindows(
            m_dm.Con1(), m_outputs.classKey(), m_outputs.values().DateStart, QString(), m_outputs.settings());
    } catch (const RolvanError &) {
        m_sheetWindows = DayWindows();
    }
}

void TFmReport::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_activated)
        GuardAction([this] { FormActivate(); });
}

void TFmReport::done(int result)
{
    if (isVisible())
        SaveFormGeometry(this);
    QDialog::done(result);
}

ReportOutputs::Progress TFmReport::ShowProgress()
{
    ProgressBar1->setRange(0, 0);
    ProgressBar1->setValue(0);
    Panel1->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    auto lastPaint = std::make_shared<QElapsedTimer>();
    lastPaint->start();
    return [this, lastPaint](qsizetype done, qsizetype total) {
        const int maximum = int(qMin<qsizetype>(total, std::numeric_limits<int>::max()));
        if (ProgressBar1->maximum() != maximum)
            ProgressBar1->setRange(0, maximum);
        ProgressBar1->setValue(int(qMin<qsizetype>(done, maximum)));
        // Keep the window painting without spending the run on it.
        if (lastPaint->elapsed() >= 100 || done >= total) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            lastPaint->restart();
        }
    };
}

void TFmReport::HideProgress()
{
    Panel1->hide();
}

QString TFmReport::RunSignEventsCsv()
{
    return m_outputs.SignEventsCsv();
}

QString TFmReport::RunCoursesCsv()
{
    return m_outputs.CoursesCsv();
}

QString TFmReport::RunHoursPerCourseCsv()
{
    const ReportOutputs::Progress progress = ShowProgress();
    const ProgressPanelGuard guard([this] { HideProgress(); });
    return m_outputs.HoursPerCourseCsv(progress);
}

QString TFmReport::RunPermitHoursCsv()
{
    const ReportOutputs::Progress progress = ShowProgress();
    const ProgressPanelGuard guard([this] { HideProgress(); });
    return m_outputs.PermitHoursCsv(progress);
}

std::unique_ptr<TFmAttendanceChart> TFmReport::CreateChartPage()
{
    if (!m_activated)
        FormActivate();
    AttendanceChartData data;
    {
        ShowProgress();
        const ProgressPanelGuard guard([this] { HideProgress(); });
        data = ComputeAttendanceChart(m_dm.Con1(), m_outputs.classKey(), m_outputs.settings());
    }
    m_outputs.ComputeDirectories();
    ForceDirectoryPath(m_outputs.PdfDir);
    return std::make_unique<TFmAttendanceChart>(
        data, m_outputs.SubjectLabel() + u"　"_s + m_outputs.DateLabel(), m_outputs.PdfDir,
        m_outputs.classNumber() + u"_AttendanceChart"_s, this);
}

void TFmReport::BitBtnChartClick()
{
    std::unique_ptr<TFmAttendanceChart> page;
    if (GuardAction([&] { page = CreateChartPage(); }) && page)
        page->exec();
}

QString TFmReport::RunSheet(SignSheetKind kind)
{
    if (!m_activated)
        FormActivate();
    PP = kind == SignSheetKind::RollCall ? u"點名"_s : QString();
    const QString classKey = m_outputs.classKey();

    // The lesson of the sheet; the dialog leaves "abort" unless a lesson is confirmed. A class
    // without lessons prints for its own start date, whatever was chosen for another class.
    SheetChoice choice;
    if (SheetNeedsCourseChoice(m_dm.Con1(), classKey)) {
        Tdialog_course dialog(
            m_dm, {classKey, m_outputs.values().DateStart, m_outputs.values().DateEnd}, this);
        dialog.exec();
        choice = {dialog.choice().Result, dialog.choice().LessonKey, dialog.choice().FullLessonKey};
        if (choice.aborted())
            return QString();
    }

    SignSheetOutput sheet;
    {
        const ReportOutputs::Progress progress = ShowProgress();
        const ProgressPanelGuard guard([this] { HideProgress(); });
        try {
            const auto places = [this](const SheetData &d) {
                return SignSheetPlacesOf(m_outputs, d.RocSheetDate);
            };
            sheet = PrepareSignSheet(
                m_dm.Con1(), kind, classKey, choice, ReadReportSettings(m_dm.ConSample()), ReadSheetPhotoOn(), places, PP, progress);
        } catch (const SilentAbort &) {
            return QString();
        }
    }
    if (!sheet.Message.isEmpty()) {
        CurrentPrompter().ShowMessage(sheet.Message);
        return QString();
    }

    if (!SkipPreview)
        ReportPreviewDialog::ShowPreview(sheet.Layout, this, sheet.PdfFileName);
    // The PDF folder may have gone since the activation; it is the class's own.
    ForceDirectoryPath(m_outputs.PdfDir);
    ExportReportPdf(sheet.Layout, sheet.PdfFileName);
    m_lastPdfFileName = sheet.PdfFileName;
    LabelPdfPath->setText(u"PDF 檔已寫入："_s + QDir::toNativeSeparators(m_lastPdfFileName));
    PanelPdf->show();
    return m_lastPdfFileName;
}

void TFmReport::BitBtnOpenFolderClick()
{
    if (m_lastPdfFileName.isEmpty())
        return;
    const QString folder = QFileInfo(m_lastPdfFileName).absolutePath();
    if (!CurrentShellOpener().OpenPath(folder))
        CurrentPrompter().ShowMessage(u"無法開啟資料夾：\n"_s + QDir::toNativeSeparators(folder));
}

void TFmReport::BitBtnHelpClick()
{
    GuardAction([this] { TFm_Help::ShowHelp(m_dm, u"列印作業"_s, u"列印作業"_s, this); });
}

void TFmReport::BitBtnPhotoClick()
{
    GuardAction([this] { RunSheet(SignSheetKind::Photo); });
}

void TFmReport::BitBtnSimpleClick()
{
    GuardAction([this] { RunSheet(SignSheetKind::Simple); });
}

void TFmReport::BitBtnRollCallClick()
{
    GuardAction([this] { RunSheet(SignSheetKind::RollCall); });
}

void TFmReport::BitBtnCloseClick()
{
    close();
}

void TFmReport::BitBtnPSIOClick()
{
    GuardAction([this] { RunSignEventsCsv(); });
}

void TFmReport::BitBtnCourseClick()
{
    GuardAction([this] { RunCoursesCsv(); });
}

void TFmReport::BitBtnScoreClick()
{
    GuardAction([this] { RunHoursPerCourseCsv(); });
}

void TFmReport::BitBtnBookingClick()
{
    GuardAction([this] { RunPermitHoursCsv(); });
}
