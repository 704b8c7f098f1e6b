// The backup and conversion window, offscreen: it opens with the backup name and folder, the
// check box switches the start button, a conversion shows its progress lines and bar and closes
// the window with "OK", a plain backup says "備份完成".

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "OldDatabaseFixture.h"
#include "admin/TfrmCopyTable.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestTfrmCopyTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensWithTheBackupNameAndFolder();
    void conversionShowsItsProgressAndCloses();
    void backupOnlySaysBackupDone();

private:
    void SaveShot(QWidget &window, const QString &name);

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_dataDir;
    QString m_backupDir;
    Globals m_globals;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<TDM> m_dm;
};

void TestTfrmCopyTable::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTfrmCopyTable::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    const QString exeDir = m_root->filePath(u"exe"_s);
    m_dataDir = m_root->filePath(u"RolvanDAP"_s);
    m_backupDir = m_root->filePath(u"RolvanDAP/Backup"_s);
    QVERIFY(QDir().mkpath(exeDir));
    QVERIFY(QDir().mkpath(m_dataDir));
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s,
                        JoinPath(exeDir, u"SampleQuorin.db"_s)));
    m_globals = Globals();
    m_globals.ExeDir = exeDir + QDir::separator();
    SetGlobals(&m_globals);
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, m_dataDir);
    WriteIniSetting(IniSection::Base, IniKey::BackupLocationPath, m_backupDir);
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9)));
    SetCurrentClock(m_clock.get());
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_dm = std::make_unique<TDM>(m_globals);

    const QString working = JoinPath(m_dataDir, m_globals.DbFileName);
    QVERIFY(OldDatabase::Build(working));
    // Enough sign events for the bar to move in steps.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"more-rows"_s);
        db.setDatabaseName(working);
        QVERIFY(db.open());
        db.transaction();
        QSqlQuery insert(db);
        QVERIFY(insert.prepare(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY, NTP) "
                               "values ('01', ?, '1140503', '085900', '0', 'KB', 'N', 'A1234567890A001', 1)"_s));
        for (int i = 0; i < 250; ++i) {
            insert.addBindValue(u"D%1"_s.arg(i, 9, 10, QLatin1Char('0')));
            QVERIFY(insert.exec());
        }
        insert = QSqlQuery();
        QVERIFY(db.commit());
        db.close();
    }
    QSqlDatabase::removeDatabase(u"more-rows"_s);
    QVERIFY(m_dm->OpenWorkingDatabase(working));
}

void TestTfrmCopyTable::cleanup()
{
    m_dm.reset();
    m_prompter.reset();
    SetCurrentClock(nullptr);
    m_clock.reset();
    SetGlobals(nullptr);
    m_root.reset();
}

void TestTfrmCopyTable::SaveShot(QWidget &window, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QVERIFY(window.grab().save(JoinPath(dir, name)));
}

void TestTfrmCopyTable::opensWithTheBackupNameAndFolder()
{
    TfrmCopyTable window(*m_dm);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), u"資料庫資料表轉換作業"_s);
    QCOMPARE(window.Edit1->text(), u"20250503140709_QuorinBackup.db"_s);
    QCOMPARE(window.Edit2->text(), m_backupDir);
    QVERIFY(window.CheckBox1->isChecked());
    QCOMPARE(window.BitBtn1->text(), u"開始備份"_s);
    QVERIFY(!window.ProgressBar1->isVisible());
    QVERIFY(!window.Label6->isVisible());
    SaveShot(window, u"TfrmCopyTable-open.png"_s);

    QTest::mouseClick(window.CheckBox1, Qt::LeftButton);
    QCOMPARE(window.BitBtn1->text(), u"開始備份轉換"_s);
    QTest::mouseClick(window.CheckBox1, Qt::LeftButton);
    QCOMPARE(window.BitBtn1->text(), u"開始備份"_s);

    QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QVERIFY(!QDir(m_backupDir).exists());
}

void TestTfrmCopyTable::conversionShowsItsProgressAndCloses()
{
    TfrmCopyTable window(*m_dm);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.CheckBox1->setChecked(false);

    QStringList firstLines;
    QStringList secondLines;
    QList<int> bar;
    bool shotTaken = false;
    connect(&window, &TfrmCopyTable::progressShown, this,
            [&](const QString &first, const QString &second, int percent) {
                firstLines << first;
                secondLines << second;
                bar << percent;
                // What the user sees at that moment.
                QCOMPARE(window.Label6->text(), first);
                QCOMPARE(window.ProgressBar1->value(), percent);
                if (first == u"資料表：PSIO 轉換中 "_s && percent >= 50 && !shotTaken) {
                    shotTaken = true;
                    SaveShot(window, u"TfrmCopyTable-converting.png"_s);
                }
            });
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);

    QVERIFY2(m_prompter->all().isEmpty(), qPrintable(m_prompter->all().join(u'\n')));
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(window.Label6->isVisibleTo(&window));
    QVERIFY(window.ProgressBar1->isVisibleTo(&window));
    QVERIFY(firstLines.contains(u"資料表：PSIO 轉換中 "_s));
    QVERIFY(firstLines.contains(u"PSIO     Process finish  "_s));
    QVERIFY(secondLines.contains(u"254筆之 第 254      "_s));
    QVERIFY(bar.count(100) >= 8);
    QVERIFY(std::count_if(bar.cbegin(), bar.cend(), [](int v) { return v > 0 && v < 100; }) > 10);

    // The station reads the converted database through Con1 straight away.
    QSqlQuery query(m_dm->Con1());
    QVERIFY(query.exec(u"select count(*) from PSIO where INDEX_KEY = 'A1234567890A00109:00'"_s));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 251);

    // After the work the window still shows where it ended.
    QCOMPARE(window.Label6->text(), u"資料庫轉換完成 "_s);
    QCOMPARE(window.ProgressBar1->value(), 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    SaveShot(window, u"TfrmCopyTable-converted.png"_s);
}

void TestTfrmCopyTable::backupOnlySaysBackupDone()
{
    TfrmCopyTable window(*m_dm);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Edit1->setText(u"手動備份.db"_s);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);

    QCOMPARE(m_prompter->messages, QStringList{ u"備份完成"_s });
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(QFile::exists(JoinPath(m_backupDir, u"手動備份.db"_s)));
    QVERIFY(!QFile::exists(JoinPath(m_dataDir, m_globals.TempDbFileName)));
    QSqlQuery query(m_dm->Con1());
    QVERIFY(query.exec(u"select count(*) from 課程基本資料"_s));
}

QTEST_MAIN(TestTfrmCopyTable)
#include "tst_tfrmcopytable.moc"
