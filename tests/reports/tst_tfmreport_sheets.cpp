// The sheets of the reports window offscreen: a sheet button runs the course choice, the preview
// and then writes the PDF; a cancelled choice ends without preview or file; a roll-call sheet of
// a class without lessons shows its message; the sign-in screen's print and the roll-call
// upload's sheet without preview.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "SignSheetFixture.h"
#include "dialogs/Tdialog_course.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reportengine/ReportPreviewDialog.h"
#include "dialogs/TFm_Help.h"
#include "platform/ShellOpener.h"
#include "reports/TFmReport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;
namespace F = SignSheetFixture;

namespace {

void SaveShot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name, "PNG");
}

// Answers the modal windows of a sheet as they come: the course choice dialog chooses its first
// lesson (or is cancelled) and the preview is looked at and closed.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(bool chooseLesson, const QString &shot = QString())
        : m_chooseLesson(chooseLesson)
        , m_shot(shot)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::Answer);
        m_timer.start();
    }

    int courseDialogs = 0;
    int previews = 0;
    int previewPages = 0;

private:
    void Answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<Tdialog_course *>(modal)) {
            ++courseDialogs;
            if (m_chooseLesson) {
                dialog->ComboBox1->setCurrentIndex(0);
                dialog->BitBtnOK->click();
            } else {
                dialog->BitBtnCancel->click();
            }
        } else if (auto *preview = qobject_cast<ReportPreviewDialog *>(modal)) {
            ++previews;
            QTest::qWait(50);
            if (!m_shot.isEmpty())
                SaveShot(preview, m_shot);
            preview->close();
        }
    }

    bool m_chooseLesson;
    QString m_shot;
    QTimer m_timer;
};

// Folders the reports window asks the desktop to open.
class RecordingShellOpener final : public ShellOpener
{
public:
    RecordingShellOpener() { SetCurrentShellOpener(this); }
    ~RecordingShellOpener() override { SetCurrentShellOpener(nullptr); }
    bool OpenPath(const QString &path) override
    {
        opened << path;
        return true;
    }
    QStringList opened;
};

QStringList PdfFiles(const QString &dir)
{
    return QDir(dir).entryList({ u"*.pdf"_s }, QDir::Files, QDir::Name);
}

} // namespace

class TestTFmReportSheets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sheetButtonChoosesPreviewsAndWritesThePdf_data();
    void sheetButtonChoosesPreviewsAndWritesThePdf();
    void cancelledCourseChoiceLeavesNoPdf();
    void rollCallWithoutLessonsShowsItsMessage();
    void printAndUploadEntries();
    void helpButtonOpensThePrintingTopic();

private:
    QString PictureFolder() const { return m_db->dir() + u"/查核資料檔案"_s; }
    QString PdfDir() const { return PictureFolder() + u"/11300001201/PDF"_s; }
    QString PicDir() const { return PictureFolder() + u"/11300001201/PIC"_s; }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestTFmReportSheets::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTFmReportSheets::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_prompter = std::make_unique<ScriptedPrompter>();
    const QString build = qEnvironmentVariable("ROLVAN_BUILD_DIR");
    const QString sample = m_db->globals().samplePath();
    const QString working = m_db->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(build + u"/SampleQuorin.db"_s, sample));
    QVERIFY(QFile::copy(build + u"/SampleQuorin.db"_s, working));
    QVERIFY(QFile::copy(build + u"/NoSign.jpg"_s, m_db->globals().ExeDir + u"NoSign.jpg"_s));
    QFile::setPermissions(sample, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(m_db->dm().OpenSampleDatabase(sample, &error), qPrintable(error));
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_db->dm(), working, &error), qPrintable(error));
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, PictureFolder());
    WriteIniSetting(IniSection::Base, IniKey::PhotoOnSign, u"True"_s);
    Globals &g = G();
    g.CurrentClassKey = F::ClassKey;
    g.OrganisationName = u"臺北市職業安全衛生訓練中心"_s;

    F::AddClass();
    const QList<F::Person> people = F::People(6);
    F::AddBookings(people);
    QVERIFY(QDir().mkpath(PicDir()));
    QVERIFY(F::AddEvents(people, PicDir()) > 20);
}

void TestTFmReportSheets::cleanup()
{
    m_prompter.reset();
    m_db.reset();
}

void TestTFmReportSheets::sheetButtonChoosesPreviewsAndWritesThePdf_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("pp");
    QTest::addColumn<QString>("file");

    QTest::newRow("photo") << u"BitBtnPhoto"_s << QString()
                           << u"11300001201A1010900_1130905(四)Pic.pdf"_s;
    QTest::newRow("simple") << u"BitBtnSimple"_s << QString()
                            << u"11300001201A1010900_1130905(四).pdf"_s;
    QTest::newRow("roll call") << u"BitBtnRollCall"_s << u"點名"_s
                               << u"11300001201A1010900_1130905(四)點名.pdf"_s;
}

void TestTFmReportSheets::sheetButtonChoosesPreviewsAndWritesThePdf()
{
    QFETCH(QString, button);
    QFETCH(QString, pp);
    QFETCH(QString, file);

    F::AddLesson();
    TFmReport window(m_db->dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.PP = u"上次的"_s; // whatever a caller left there
    {
        ModalAnswerer answerer(true, u"preview-"_s + button + u".png"_s);
        QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
        QCOMPARE(answerer.courseDialogs, 1);
        QCOMPARE(answerer.previews, 1);
    }
    QVERIFY2(m_prompter->all().isEmpty(), qPrintable(m_prompter->all().join(u'\n')));
    QCOMPARE(window.PP, pp);
    QCOMPARE(PdfFiles(PdfDir()), QStringList { file });
    QCOMPARE(window.LastPdfFileName(), JoinPath(PdfDir(), file));
    QVERIFY(QFileInfo(window.LastPdfFileName()).size() > 1000);
    QVERIFY(!window.Panel1->isVisible());
    QVERIFY(window.isVisible());
    // The window says where the file went, and opens its folder on request.
    QVERIFY(window.PanelPdf->isVisible());
    QCOMPARE(window.LabelPdfPath->text(),
        u"PDF 檔已寫入："_s + QDir::toNativeSeparators(JoinPath(PdfDir(), file)));
    RecordingShellOpener opener;
    QTest::mouseClick(window.BitBtnOpenFolder, Qt::LeftButton);
    QCOMPARE(opener.opened, QStringList { QFileInfo(window.LastPdfFileName()).absolutePath() });
    window.close();
}

void TestTFmReportSheets::cancelledCourseChoiceLeavesNoPdf()
{
    F::AddLesson();
    TFmReport window(m_db->dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    {
        ModalAnswerer answerer(false);
        QTest::mouseClick(window.BitBtnRollCall, Qt::LeftButton);
        QCOMPARE(answerer.courseDialogs, 1);
        QCOMPARE(answerer.previews, 0);
    }
    QVERIFY(m_prompter->all().isEmpty());
    QVERIFY(PdfFiles(PdfDir()).isEmpty());
    QVERIFY(window.LastPdfFileName().isEmpty());
    QVERIFY(!window.PanelPdf->isVisible());
    // Nothing was built: the work table of an earlier run is left as it was.
    QVERIFY(!TableExists(u"IO_RPT200"_s));
    window.close();
}

void TestTFmReportSheets::rollCallWithoutLessonsShowsItsMessage()
{
    const auto window = TFmReport::CreateActivated(m_db->dm());
    window->SkipPreview = true;
    ModalAnswerer answerer(true);
    QCOMPARE(window->RunSheet(SignSheetKind::RollCall), QString());
    QCOMPARE(m_prompter->messages, QStringList { u"點名作業 需有設定課程明細"_s });
    QCOMPARE(answerer.courseDialogs, 0);
    QVERIFY(PdfFiles(PdfDir()).isEmpty());
    QVERIFY(window->LastPdfFileName().isEmpty());
}

void TestTFmReportSheets::printAndUploadEntries()
{
    // The sign-in screen's print: the photo sheet of the class without lessons, for its own date.
    {
        ModalAnswerer answerer(true);
        const QString file = TFmReport::PrintPhotoSheet(m_db->dm(), nullptr);
        QCOMPARE(answerer.courseDialogs, 0);
        QCOMPARE(answerer.previews, 1);
        QCOMPARE(file, JoinPath(PdfDir(), u"11300001201_1130905(四)Pic.pdf"_s));
        QVERIFY(QFile::exists(file));
    }
    // The roll-call upload: the lesson chosen, no preview, the file name handed back.
    F::AddLesson();
    ModalAnswerer answerer(true);
    const QString file
        = TFmReport::ProduceSheet(m_db->dm(), nullptr, SignSheetKind::RollCall, false);
    QCOMPARE(answerer.courseDialogs, 1);
    QCOMPARE(answerer.previews, 0);
    QCOMPARE(file, JoinPath(PdfDir(), u"11300001201A1010900_1130905(四)點名.pdf"_s));
    QVERIFY(QFile::exists(file));
    QVERIFY(m_prompter->all().isEmpty());
}

// "說明" opens the help of the printing topic "列印作業".
void TestTFmReportSheets::helpButtonOpensThePrintingTopic()
{
    TFmReport window(m_db->dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QString topic;
    QTimer::singleShot(0, &window, [&topic] {
        if (auto *help = qobject_cast<TFm_Help *>(QApplication::activeModalWidget())) {
            topic = G().HelpName;
            help->close();
        }
    });
    QTest::mouseClick(window.BitBtnHelp, Qt::LeftButton);
    QCOMPARE(topic, u"列印作業"_s);
    QVERIFY(m_prompter->all().isEmpty());
    window.close();
}

QTEST_MAIN(TestTFmReportSheets)
#include "tst_tfmreport_sheets.moc"
