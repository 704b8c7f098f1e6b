// The class window's record uploads offscreen against the fake training service: the gate of
// each button, "無簽到退資料可上傳", the sign-event package and its upload, the download and merge,
// "送件" sending the CSV files the reports window writes, and a failed upload reported with the
// package kept.

#include "app/StandardWindows.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/ClassImport.h"
#include "classes/RecordUpload.h"
#include "classes/TFmSetup.h"
#include "dialogs/Tdialog_course.h"
#include "classes/TrainingService.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "fakeservice/FakeService.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

const QString ClassNo = u"11501000001"_s;

QMap<QString, QByteArray> EntriesOf(const QByteArray &bytes)
{
    QMap<QString, QByteArray> entries;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source
        = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    zip_t *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source)
            zip_source_free(source);
        return entries;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, zip_uint64_t(i), 0, &st);
        QByteArray data(qsizetype(st.size), '\0');
        if (zip_file_t *f = zip_fopen_index(archive, zip_uint64_t(i), 0)) {
            zip_fread(f, data.data(), st.size);
            zip_fclose(f);
        }
        entries.insert(QString::fromUtf8(st.name), data);
    }
    zip_discard(archive);
    return entries;
}

QString RocToday()
{
    const QDate d = QDate::currentDate();
    return QString::number(d.year() - 1911).rightJustified(3, u'0') + d.toString(u"MMdd"_s);
}

// Answers the course choice of the roll-call sheet: the first lesson, or cancel.
class CourseChoiceAnswerer : public QObject
{
public:
    explicit CourseChoiceAnswerer(bool choose)
        : m_choose(choose)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *dialog = qobject_cast<Tdialog_course *>(QApplication::activeModalWidget())) {
                ++dialogs;
                if (m_choose) {
                    dialog->ComboBox1->setCurrentIndex(0);
                    dialog->BitBtnOK->click();
                } else {
                    dialog->BitBtnCancel->click();
                }
            }
        });
        m_timer.start();
    }
    int dialogs = 0;

private:
    bool m_choose;
    QTimer m_timer;
};

} // namespace

class TestTFmSetupUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void uploadsFromTheClassWindow();
};

void TestTFmSetupUpload::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTFmSetupUpload::uploadsFromTheClassWindow()
{
    FakeService fake;
    QVERIFY2(fake.start(), qPrintable(fake.error()));
    TestDatabase db;
    const QString templatePath = qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
    const QString work = db.dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(templatePath, work));
    QVERIFY(QFile::copy(templatePath, db.globals().samplePath()));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(db.globals().samplePath(), QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(db.dm().OpenSampleDatabase(db.globals().samplePath()));
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(db.dm(), work, &error), qPrintable(error));
    const QString pictures = db.dir() + u"/查核資料檔案"_s;
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, pictures);
    WriteIniSetting(IniSection::Base, IniKey::StationNo, u"01"_s);
    WriteIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, u"課程編號"_s);
    fake.configureStation();
    ScriptedPrompter prompter;
    RecordingUrlOpener browser;
    TrainingService::CheckToken().clear();

    // The class, downloaded as the web import does.
    TrainingService service(ServiceSettings::FromIni());
    const auto list = ClassImport::ParseClassList(
        service.FetchClassListText().value, QDate::currentDate(), &error);
    QVERIFY(list);
    QVERIFY2(ClassImport::DownloadClass(service, db.dm().Con1(), list->entries.at(0),
                 u"測試訓練中心"_s, QDateTime::currentDateTime(), &error),
        qPrintable(error));

    TFmSetup window(db.dm(), StandardWindowOpeners());
    window.resize(980, 710);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.LabelCount->text().startsWith(u"總筆數:"_s));
    window.EditQCourseId->setText(ClassNo);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QTRY_COMPARE(window.GatherFields().CourseId, ClassNo);
    for (QPushButton *b : { window.BitBtn14, window.BitBtn15, window.BitBtn16, window.BitBtn17 })
        QVERIFY(b->isEnabled());

    prompter.clear();
    // Before any check: "點名紀錄上傳" only says so, the others start the check again.
    QTest::mouseClick(window.BitBtn14, Qt::LeftButton);
    QVERIFY2(prompter.all() == QStringList { u"請先 【驗自然人憑證】"_s },
        qPrintable(prompter.all().join(u'|')));
    QVERIFY(browser.opened.isEmpty());
    prompter.clear();
    QTest::mouseClick(window.BitBtn15, Qt::LeftButton);
    QCOMPARE(prompter.all(), QStringList { u"請先 【驗自然人憑證】"_s });
    QCOMPARE(browser.opened.size(), 1);
    QVERIFY(fake.markChecked(TrainingService::CheckToken()));

    // A class without sign events.
    prompter.clear();
    QTest::mouseClick(window.BitBtn15, Qt::LeftButton);
    QCOMPARE(prompter.all(), QStringList { u"無簽到退資料可上傳"_s });
    QVERIFY(!QFileInfo::exists(pictures + u"/upperload"_s));

    // Two sign events: the package, its message and the service's answer.
    QSqlQuery q(db.dm().Con1());
    for (const QString &id : { u"A123456789"_s, u"B223456789"_s }) {
        QVERIFY(q.exec(
            u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NTP) values "
            "('01', '%1', '%2', '085500', '0', 'KB', '%3A10309:00', 'Y')"_s.arg(
                id, RocToday(), ClassNo)));
    }
    prompter.clear();
    QTest::mouseClick(window.BitBtn15, Qt::LeftButton);
    QCOMPARE(prompter.all().size(), 2);
    QVERIFY2(
        prompter.all().at(0).endsWith(u".csv 資料筆數:2\n缺少影像檔：2 筆（紀錄仍列於檔案中）"_s),
        qPrintable(prompter.all().at(0)));
    QCOMPARE(prompter.all().at(1), u"上傳成功"_s);
    QVERIFY(!window.PanelProgress->isVisible());
    QCOMPARE(window.LabelUpload->text(), u"資料上傳進度 100 ％"_s);

    // Download and merge: the two events come back as this station's own, nothing is added.
    prompter.clear();
    QTest::mouseClick(window.BitBtn16, Qt::LeftButton);
    QCOMPARE(prompter.all(), QStringList { u"總共 匯入筆數：2 筆\n"_s });
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), 2);

    // "點名紀錄上傳": a cancelled course choice sends nothing; a chosen lesson sends the sheet made
    // now.
    prompter.clear();
    const int postedBefore = int(fake.posted().size());
    {
        CourseChoiceAnswerer cancel(false);
        QTest::mouseClick(window.BitBtn14, Qt::LeftButton);
        QCOMPARE(cancel.dialogs, 1);
    }
    QCOMPARE(int(fake.posted().size()), postedBefore);
    QVERIFY2(prompter.all().isEmpty(), qPrintable(prompter.all().join(u'|')));
    {
        CourseChoiceAnswerer choose(true);
        QTest::mouseClick(window.BitBtn14, Qt::LeftButton);
        QCOMPARE(choose.dialogs, 1);
    }
    QCOMPARE(prompter.all(), QStringList { u"上傳成功"_s });
    const QJsonObject rollCall = fake.posted().last().toObject();
    const QString pdfName = rollCall.value(u"files"_s)
                                .toObject()
                                .value(u"uploadzip"_s)
                                .toObject()
                                .value(u"filename"_s)
                                .toString();
    QVERIFY2(pdfName.endsWith(u"點名.pdf"_s), qPrintable(pdfName));
    QFile pdf(pictures + u'/' + ClassNo + u"/PDF/"_s + pdfName);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray pdfBytes = pdf.readAll();
    QCOMPARE(fake.uploadedFile(rollCall.value(u"index"_s).toInt()), pdfBytes);

    // "送件": the service receives the class folder with the reports window's CSV files.
    prompter.clear();
    QTest::mouseClick(window.BitBtn17, Qt::LeftButton);
    QCOMPARE(prompter.all(), QStringList { u"上傳成功"_s });
    const QJsonObject last = fake.posted().last().toObject();
    QCOMPARE(last.value(u"fields"_s).toObject().value(u"clssno"_s).toString(), ClassNo);
    const auto received = EntriesOf(fake.uploadedFile(last.value(u"index"_s).toInt()));
    const QString classFolder = pictures + u'/' + ClassNo;
    for (const QString &suffix :
        { u".csv"_s, u"_Course.csv"_s, u"_HoursPerCourse.csv"_s, u"_PermitHours.csv"_s }) {
        const QString name = ClassNo + suffix;
        QFile file(classFolder + u'/' + name);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
        QCOMPARE(received.value(name), file.readAll());
    }
    // The sheets' PDF files travel in the class folder too.
    QCOMPARE(received.value(u"PDF/"_s + pdfName), pdfBytes);

    // A failing service: the reason is shown and the package stays for another try.
    prompter.clear();
    QVERIFY(fake.set(u"status=500&path=clszip"_s));
    QTest::mouseClick(window.BitBtn17, Qt::LeftButton);
    QCOMPARE(prompter.all().size(), 1);
    QVERIFY2(prompter.all().first().contains(u"HTTP 500"_s), qPrintable(prompter.all().first()));
    QVERIFY(QFileInfo(pictures + u"/ZIP/"_s + ClassNo + u".zip"_s).isFile());
    QVERIFY(!window.PanelProgress->isVisible());
    window.close();
}

QTEST_MAIN(TestTFmSetupUpload)
#include "tst_tfmsetup_upload.moc"
