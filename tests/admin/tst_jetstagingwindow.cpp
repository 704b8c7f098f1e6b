// An old Access database found in the data folder, offscreen: the conversion window offers
// "發現舊版資料庫 Quorin.mdb，是否轉換？", shows its progress per table and the summary at the end,
// and leaves nothing behind when the offer is declined; the start-up opens the window before it
// would copy the template.

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "admin/TfrmCopyTable.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "station/StationState.h"

#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString FixturePath(const QString &name)
{
    return QStringLiteral(ROLVAN_JET_FIXTURES) + u'/' + name;
}

QByteArray FileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void SaveShot(QWidget &window, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    window.grab().save(JoinPath(dir, name));
}

// The start-up's hooks: the conversion window is opened as the main window opens it, and the
// state of the data folder is noted before and after.
class WindowHooks final : public ActivationHooks
{
public:
    WindowHooks(TDM &dm, ScriptedPrompter &prompter, const QString &working)
        : m_dm(dm)
        , m_prompter(prompter)
        , m_working(working)
    {
    }
    QStringList calls;
    void OpenConversionWindow() override
    {
        calls << (QFile::exists(m_working) ? u"conversion with Quorin.db"_s : u"conversion"_s);
        TfrmCopyTable window(m_dm);
        window.show();
        // The offer is asked once the window shows; a conversion taken has ended when it returns.
        const qsizetype asked = m_prompter.asked.size();
        QTRY_VERIFY(m_prompter.asked.size() > asked);
        QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
        calls << (QFile::exists(m_working) ? u"closed, Quorin.db made"_s : u"closed"_s);
    }

private:
    TDM &m_dm;
    ScriptedPrompter &m_prompter;
    QString m_working;
};

} // namespace

class TestJetStagingWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void offerTakenShowsTablesAndSummary();
    void offerDeclinedWritesNothing();
    void startUpOpensTheWindowBeforeTheTemplateCopy_data();
    void startUpOpensTheWindowBeforeTheTemplateCopy();

private:
    QString DataPath(const QString &name) const { return JoinPath(m_dataDir, name); }

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_dataDir;
    QString m_mdb;
    QByteArray m_mdbHash;
    Globals m_globals;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<TDM> m_dm;
};

void TestJetStagingWindow::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestJetStagingWindow::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    const QString exeDir = m_root->filePath(u"exe"_s);
    m_dataDir = m_root->filePath(u"RolvanDAP"_s);
    QVERIFY(QDir().mkpath(exeDir));
    QVERIFY(QDir().mkpath(m_dataDir));
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s,
        JoinPath(exeDir, u"SampleQuorin.db"_s)));
    m_globals = Globals();
    m_globals.ExeDir = exeDir + QDir::separator();
    m_globals.StartDir = QDir::currentPath();
    SetGlobals(&m_globals);
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, m_dataDir);
    WriteIniSetting(IniSection::Base, IniKey::BackupLocationPath, m_root->filePath(u"Backup"_s));
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9)));
    SetCurrentClock(m_clock.get());
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_dm = std::make_unique<TDM>(m_globals);

    m_mdb = DataPath(u"Quorin.mdb"_s);
    QVERIFY(QFile::copy(FixturePath(u"nwind.mdb"_s), m_mdb));
    QFile::setPermissions(m_mdb, QFile::ReadOwner | QFile::WriteOwner);
    m_mdbHash = FileHash(m_mdb);
}

void TestJetStagingWindow::cleanup()
{
    m_dm.reset();
    m_prompter.reset();
    SetCurrentClock(nullptr);
    m_clock.reset();
    SetGlobals(nullptr);
    m_root.reset();
}

void TestJetStagingWindow::offerTakenShowsTablesAndSummary()
{
    m_prompter->queueButton(Prompter::Button::Yes);
    TfrmCopyTable window(*m_dm);
    QStringList firstLines;
    bool shotTaken = false;
    connect(&window, &TfrmCopyTable::progressShown, this,
        [&](const QString &first, const QString &, int percent) {
            if (firstLines.isEmpty() || firstLines.last() != first)
                firstLines << first;
            if (first.contains(u"Orders"_s) && percent >= 50 && !shotTaken) {
                shotTaken = true;
                SaveShot(window, u"TfrmCopyTable-jet-reading.png"_s);
            }
        });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.LabelJet->isVisible());
    QVERIFY(!window.CheckBox1->isVisible());
    QTRY_VERIFY(window.MemoSummary->isVisible());

    QCOMPARE(m_prompter->asked, QStringList { u"發現舊版資料庫 Quorin.mdb，是否轉換？"_s });
    QCOMPARE(m_prompter->askedButtons.value(0).size(), 2);
    QVERIFY2(m_prompter->errors.isEmpty(), qPrintable(m_prompter->errors.join(u'\n')));
    // Each table announced in the file's order, then the conversion and its check.
    QCOMPARE(firstLines.first(), u"讀取舊版資料表：Order Details （1/9） "_s);
    QVERIFY(firstLines.contains(u"讀取舊版資料表：Umsätze （9/9） "_s));
    QVERIFY(firstLines.contains(u"檢查新資料庫 "_s));
    const QString summary = window.MemoSummary->toPlainText();
    QVERIFY2(summary.startsWith(u"舊版資料庫轉換完成，共讀取 4032 筆，略過 0 筆。"_s),
        qPrintable(summary));
    QVERIFY2(
        summary.contains(u"\nOrders：讀取 830 筆，轉入 830 筆，略過 0 筆"_s), qPrintable(summary));
    QCOMPARE(window.BitBtn2->text(), u"關閉"_s);
    QVERIFY(!window.BitBtn1->isVisible());
    SaveShot(window, u"TfrmCopyTable-jet-summary.png"_s);

    QVERIFY(QFile::exists(DataPath(u"Quorin.db"_s)));
    QVERIFY(m_dm->isWorkingOpen());
    QCOMPARE(FileHash(m_mdb), m_mdbHash);
    QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
    QCOMPARE(window.result(), int(QDialog::Accepted));
}

void TestJetStagingWindow::offerDeclinedWritesNothing()
{
    m_prompter->queueButton(Prompter::Button::No);
    TfrmCopyTable window(*m_dm);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(window.BitBtn1->text(), u"開始轉換"_s);
    QVERIFY(window.LabelJet->text().contains(QDir::toNativeSeparators(m_mdb)));
    QVERIFY(!window.ProgressBar1->isVisible());
    SaveShot(window, u"TfrmCopyTable-jet-offer.png"_s);

    QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QCOMPARE(QDir(m_dataDir).entryList(QDir::Files), QStringList { u"Quorin.mdb"_s });
    QCOMPARE(FileHash(m_mdb), m_mdbHash);
}

void TestJetStagingWindow::startUpOpensTheWindowBeforeTheTemplateCopy_data()
{
    QTest::addColumn<bool>("convert");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("converted") << true
                               << QStringList { u"conversion"_s, u"closed, Quorin.db made"_s };
    QTest::newRow("declined: the template is copied after")
        << false << QStringList { u"conversion"_s, u"closed"_s };
}

void TestJetStagingWindow::startUpOpensTheWindowBeforeTheTemplateCopy()
{
    QFETCH(bool, convert);
    QFETCH(QStringList, calls);
    m_prompter->queueButton(convert ? Prompter::Button::Yes : Prompter::Button::No);
    StationState station;
    WindowHooks hooks(*m_dm, *m_prompter, DataPath(u"Quorin.db"_s));
    MainActivation activation(*m_dm, station, hooks);
    QCOMPARE(activation.Run({ u"Rolvan"_s }, QCoreApplication::applicationFilePath()),
        MainActivation::Outcome::Done);
    QCOMPARE(hooks.calls.mid(0, 2), calls);
    QVERIFY(m_dm->isWorkingOpen());
    QVERIFY(QFile::exists(DataPath(u"Quorin.db"_s)));
    QCOMPARE(FileHash(m_mdb), m_mdbHash);

    // With Quorin.db there, the next activation offers nothing.
    const int asked = m_prompter->asked.size();
    MainActivation again(*m_dm, station, hooks);
    QCOMPARE(again.Run({ u"Rolvan"_s }, QCoreApplication::applicationFilePath()),
        MainActivation::Outcome::Done);
    QCOMPARE(hooks.calls.size(), 2);
    QCOMPARE(m_prompter->asked.size(), asked);
}

QTEST_MAIN(TestJetStagingWindow)
#include "tst_jetstagingwindow.moc"
