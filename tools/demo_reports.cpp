// demo_reports --out <folder> [--class <class key>]
// The reports of a demo home's finished class, for a person to look at. Run with ROLVAN_HOME
// set to the demo home (scripts/demo-reports does it): starts up like the station (settings,
// data folders, working database), makes the class held the day before current (the one
// make_demo_data adds, serial 0002; or the class given), writes its four CSV outputs and its
// three sign-in sheets as PDF files where the reports window writes them, then puts into the
// output folder a PNG of each sheet's first page (pdftoppm -r 70), of the course choice, of
// the sign-event records window (also with its snapshot shown large), of the enrolment window
// and of the attendance chart page of that class (whose PNG and PDF go beside the sheets). Prints every file written, one a line.
// Exits 0 when everything was written, 1 when something failed (with the reason on stderr),
// 2 on bad arguments.

#include "dialogs/Tdialog_course.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "core/DbFunctions.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "reports/TFmAttendanceChart.h"
#include "reports/TFmReport.h"
#include "reports/TfmInitiative.h"
#include "station/StationState.h"
#include "station/TfmPSIO_Booking.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFont>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QTextStream &Out()
{
    static QTextStream out(stdout);
    return out;
}

QTextStream &Err()
{
    static QTextStream err(stderr);
    return err;
}

// Nobody answers here: messages go to stderr, questions get their last button (as a closed
// box does), choices are cancelled.
class ConsolePrompter final : public Prompter
{
public:
    void ShowMessage(const QString &text) override { Err() << u"訊息："_s << text << Qt::endl; }
    void ShowError(const QString &text) override
    {
        ++errors;
        Err() << u"錯誤："_s << text << Qt::endl;
    }
    Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) override
    {
        Err() << u"詢問（未回答）："_s << message << Qt::endl;
        return buttons.isEmpty() ? Button::Cancel : buttons.last().kind;
    }
    int ChooseFromList(const QString &title, const QStringList &) override
    {
        Err() << u"選擇（未回答）："_s << title << Qt::endl;
        return -1;
    }

    int errors = 0;
};

// Lets a shown window lay itself out and paint.
void Settle(int milliseconds = 300)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool SaveGrab(QWidget *window, const QString &path)
{
    if (!window->grab().save(path, "PNG")) {
        Err() << u"無法寫入 "_s << path << Qt::endl;
        return false;
    }
    Out() << path << Qt::endl;
    return true;
}

// The course choice dialog of a sheet chooses the first lesson, as a person would; the first
// time it is also photographed.
class CourseChooser : public QObject
{
public:
    explicit CourseChooser(const QString &shot)
        : m_shot(shot)
    {
        m_timer.setInterval(50);
        connect(&m_timer, &QTimer::timeout, this, &CourseChooser::Answer);
        m_timer.start();
    }

private:
    void Answer()
    {
        auto *dialog = qobject_cast<Tdialog_course *>(QApplication::activeModalWidget());
        if (!dialog || dialog->ComboBox1->count() == 0)
            return;
        dialog->ComboBox1->setCurrentIndex(0);
        if (!m_shot.isEmpty()) {
            SaveGrab(dialog, m_shot);
            m_shot.clear();
        }
        dialog->BitBtnOK->click();
    }

    QString m_shot;
    QTimer m_timer;
};

// The first page of a PDF file as a PNG file (pdftoppm adds the ".png").
bool RenderFirstPage(const QString &pdf, const QString &pngWithoutSuffix)
{
    QProcess process;
    process.start(u"pdftoppm"_s, {u"-r"_s, u"70"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, u"-png"_s,
                                  u"-singlefile"_s, pdf, pngWithoutSuffix});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        Err() << u"pdftoppm 無法轉換 "_s << pdf << u"："_s
              << QString::fromLocal8Bit(process.readAllStandardError()) << process.errorString()
              << Qt::endl;
        return false;
    }
    Out() << pngWithoutSuffix << u".png"_s << Qt::endl;
    return true;
}

// The class make_demo_data adds for the day before today.
QString PreviousDayClassKey()
{
    const QDate day = CurrentClock().today().addDays(-1);
    return QString::number(day.year() - 1911).rightJustified(3, u'0') + day.toString(u"MMdd"_s)
        + u"0002"_s + u"01"_s;
}

class NoHooks final : public ActivationHooks
{
};

int Run(const QString &outDir, QString classKey)
{
    Globals globals;
    SetGlobals(&globals);
    globals.ExeDir = ResolveExeDir(QCoreApplication::applicationDirPath());
    ConsolePrompter prompter;
    SetCurrentPrompter(&prompter);
    TDM dm(globals);
    StationState station;
    NoHooks hooks;
    MainActivation activation(dm, station, hooks);
    const QString program = QCoreApplication::applicationFilePath();
    if (activation.Run({program}, program) != MainActivation::Outcome::Done) {
        Err() << u"demo_reports: 無法啟動："_s << activation.lastError() << Qt::endl;
        return 1;
    }
    if (classKey.isEmpty())
        classKey = PreviousDayClassKey();
    const QString courseName =
        QueryValueIn(u"select Course from Courses where CourseId || Echelon = ?"_s, dm.Con1(),
                     {classKey})
            .toString();
    if (courseName.isEmpty()) {
        Err() << u"demo_reports: 找不到講習 "_s << classKey
              << u"（示範資料的前一天講習由 make_demo_data --ini 或 --read-ini 加入）"_s << Qt::endl;
        return 1;
    }
    G().CurrentClassKey = classKey;
    Out() << u"講習 "_s << classKey << u" "_s << courseName << Qt::endl;

    if (!QDir().mkpath(outDir)) {
        Err() << u"demo_reports: 無法建立資料夾 "_s << outDir << Qt::endl;
        return 1;
    }
    bool ok = true;

    // The audit package's CSV files.
    Out() << u"CSV："_s << Qt::endl;
    const QStringList csvFiles = TFmReport::RunSubmissionOutputs(dm, nullptr);
    for (const QString &file : csvFiles)
        Out() << file << Qt::endl;

    // The chart page as it opens, and its PNG and PDF beside the sheets.
    Out() << u"出勤統計圖表："_s << Qt::endl;
    {
        const auto report = TFmReport::CreateActivated(dm);
        const auto page = report->CreateChartPage();
        page->show();
        Settle();
        ok = SaveGrab(page.get(), JoinPath(outDir, u"attendance-chart.png"_s)) && ok;
        for (const QString &file : page->Export())
            Out() << file << Qt::endl;
        page->close();
    }

    // The three sheets of the first lesson, without the preview.
    Out() << u"簽到單："_s << Qt::endl;
    CourseChooser chooser(JoinPath(outDir, u"course-choice.png"_s));
    const QList<QPair<SignSheetKind, QString>> sheets = {
        {SignSheetKind::Photo, u"sheet-photo"_s},
        {SignSheetKind::Simple, u"sheet-simple"_s},
        {SignSheetKind::RollCall, u"sheet-rollcall"_s},
    };
    for (const auto &[kind, name] : sheets) {
        const QString pdf = TFmReport::ProduceSheet(dm, nullptr, kind, false);
        if (pdf.isEmpty() || !QFileInfo::exists(pdf)) {
            Err() << u"demo_reports: "_s << SignSheetTitle(kind) << u" 沒有產出"_s << Qt::endl;
            ok = false;
            continue;
        }
        Out() << pdf << Qt::endl;
        ok = RenderFirstPage(pdf, JoinPath(outDir, name)) && ok;
    }

    // The records window and the enrolment window of the class, as they open.
    {
        TfmPSIO_Booking records(dm, &station);
        records.show();
        Settle();
        ok = SaveGrab(&records, JoinPath(outDir, u"records-window.png"_s)) && ok;
        // A double-click on the snapshot shows it large.
        records.Image1DblClick();
        Settle(100);
        ok = SaveGrab(&records, JoinPath(outDir, u"records-window-snapshot.png"_s)) && ok;
        records.close();
    }
    {
        TfmInitiative enrolment(dm);
        enrolment.setStation(&station);
        enrolment.show();
        Settle();
        // The sign-in column shows the class's day.
        enrolment.EditSignDate->setText(classKey.left(7));
        enrolment.BitBtnQueryClick();
        Settle(100);
        ok = SaveGrab(&enrolment, JoinPath(outDir, u"enrolment-window.png"_s)) && ok;
        enrolment.close();
    }

    SetCurrentPrompter(nullptr);
    SetGlobals(nullptr);
    return ok && prompter.errors == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Rolvan"_s);
    QApplication::setStyle(u"Fusion"_s);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
    // The fonts of the station (the sheets ask for "標楷體").
    QFont::insertSubstitution(u"標楷體"_s, u"AR PL UKai TW"_s);
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);

    QStringList args = QApplication::arguments().mid(1);
    QString outDir;
    QString classKey;
    bool usable = true;
    while (usable && args.size() >= 2) {
        const QString option = args.takeFirst();
        const QString value = args.takeFirst();
        if (option == u"--out"_s && !value.isEmpty())
            outDir = value;
        else if (option == u"--class"_s && !value.isEmpty())
            classKey = value;
        else
            usable = false;
    }
    if (!usable || !args.isEmpty() || outDir.isEmpty()) {
        Err() << "usage: demo_reports --out <folder> [--class <class key>]   (ROLVAN_HOME: the demo home)\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("ROLVAN_HOME")) {
        Err() << u"demo_reports: ROLVAN_HOME 未設定（應為示範資料夾，例如 build/demo）"_s << Qt::endl;
        return 2;
    }
    try {
        return Run(QDir(outDir).absolutePath(), classKey);
    } catch (const RolvanError &e) {
        Err() << u"demo_reports: "_s << e.message() << Qt::endl;
        return 1;
    }
}
