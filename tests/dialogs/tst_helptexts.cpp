// Help texts: the help of a topic comes from the template, the notes from the working database;
// saving the help stores it in both, the notes only in the working database.

#include "core/DbFunctions.h"
#include "dialogs/HelpTexts.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QFile>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString TemplatePath()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
}

int Rows(QSqlDatabase db, const QString &helpName, const QString &subject)
{
    return QueryValueOn(u"select count(*) from SYS_Help where helpID = ? and JobScreen = ?"_s, db,
                        {helpName, subject})
        .toInt();
}

QString Column(QSqlDatabase db, const QString &column, const QString &helpName,
               const QString &subject)
{
    return QueryValueOn(u"select "_s + column
                            + u" from SYS_Help where helpID = ? and JobScreen = ?"_s,
                        db, {helpName, subject})
        .toString();
}

} // namespace

class TestHelpTexts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsHelpFromTemplateAndNotesFromWorkingDatabase();
    void savingHelpStoresItInBothDatabases_data();
    void savingHelpStoresItInBothDatabases();
    void notesAreStoredInTheWorkingDatabaseOnly();
    void workingDatabaseWithoutHelpTable();

private:
    QSqlDatabase Working() { return m_db->dm().Con1(); }
    QSqlDatabase Sample() { return m_db->dm().ConSample(); }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestHelpTexts::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_prompter = std::make_unique<ScriptedPrompter>();
    // The template beside the program and a working database copied from it.
    const QString sample = m_db->globals().samplePath();
    const QString working = m_db->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(TemplatePath(), sample));
    QVERIFY(QFile::copy(TemplatePath(), working));
    QFile::setPermissions(sample, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(m_db->dm().OpenSampleDatabase(sample, &error), qPrintable(error));
    QVERIFY2(m_db->dm().OpenWorkingDatabase(working, &error), qPrintable(error));
}

void TestHelpTexts::cleanup()
{
    QVERIFY2(m_prompter->errors.isEmpty(), qPrintable(m_prompter->errors.join(u'\n')));
    m_prompter.reset();
    m_db.reset();
}

void TestHelpTexts::readsHelpFromTemplateAndNotesFromWorkingDatabase()
{
    const QString name = u"系統設定"_s;
    const QString page = u"一般設定"_s;
    const QString shipped = Column(Sample(), u"HelpText"_s, name, page);
    QVERIFY(!shipped.isEmpty());
    // The working copy's help column is not what is shown: the template's is.
    QVERIFY(ExecSqlOn(u"update SYS_Help set HelpText = ?, HelpText2 = ? where helpID = ? and JobScreen = ?"_s,
                      Working(), {u"舊的說明"_s, u"本站的筆記"_s, name, page}));

    const HelpTexts texts(m_db->dm(), name, page);
    QCOMPARE(texts.ReadHelpText(), shipped);
    QVERIFY(texts.NotesAvailable());
    QCOMPARE(texts.ReadNotes(), u"本站的筆記"_s);

    const HelpTexts unknown(m_db->dm(), name, u"沒有這頁"_s);
    QCOMPARE(unknown.ReadHelpText(), QString());
    QCOMPARE(unknown.ReadNotes(), QString());
}

void TestHelpTexts::savingHelpStoresItInBothDatabases_data()
{
    QTest::addColumn<QString>("helpName");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<int>("rowsBefore");
    QTest::newRow("new topic") << u"課程明細"_s << u"新的頁面"_s << 0;
    QTest::newRow("shipped topic") << u"系統設定"_s << u"指令執行"_s << 1;
}

void TestHelpTexts::savingHelpStoresItInBothDatabases()
{
    QFETCH(QString, helpName);
    QFETCH(QString, subject);
    QFETCH(int, rowsBefore);
    QCOMPARE(Rows(Sample(), helpName, subject), rowsBefore);
    QCOMPARE(Rows(Working(), helpName, subject), rowsBefore);

    const HelpTexts texts(m_db->dm(), helpName, subject);
    const QString text = u"按「儲存設定」前請確認 'ComputerNo' 是兩碼。\n第二行"_s;
    QVERIFY(texts.SaveHelpText(text));
    QCOMPARE(Column(Sample(), u"HelpText"_s, helpName, subject), text);
    QCOMPARE(Column(Working(), u"HelpText"_s, helpName, subject), text);

    // Saving again changes the row, it does not add one.
    QVERIFY(texts.SaveHelpText(u"第二版"_s));
    QCOMPARE(Rows(Sample(), helpName, subject), 1);
    QCOMPARE(Rows(Working(), helpName, subject), 1);
    QCOMPARE(texts.ReadHelpText(), u"第二版"_s);
}

void TestHelpTexts::notesAreStoredInTheWorkingDatabaseOnly()
{
    const HelpTexts texts(m_db->dm(), u"簽到首頁"_s, u"簽到首頁"_s);
    const QString shipped = texts.ReadHelpText();
    QVERIFY(texts.SaveNotes(u"It's our 筆記"_s));
    QCOMPARE(texts.ReadNotes(), u"It's our 筆記"_s);
    QCOMPARE(Column(Sample(), u"HelpText2"_s, u"簽到首頁"_s, u"簽到首頁"_s), QString());
    QCOMPARE(texts.ReadHelpText(), shipped);

    // Notes of a topic the working database has no row for yet.
    const HelpTexts fresh(m_db->dm(), u"報名資料"_s, u"新頁"_s);
    QVERIFY(fresh.SaveNotes(u"新的筆記"_s));
    QCOMPARE(fresh.ReadNotes(), u"新的筆記"_s);
    QCOMPARE(Rows(Sample(), u"報名資料"_s, u"新頁"_s), 0);
}

void TestHelpTexts::workingDatabaseWithoutHelpTable()
{
    QVERIFY(ExecSqlOn(u"drop table SYS_Help"_s, Working()));
    const HelpTexts texts(m_db->dm(), u"列印作業"_s, u"列印作業"_s);
    QVERIFY(!texts.NotesAvailable());
    QCOMPARE(texts.ReadNotes(), QString());
    QVERIFY(!texts.ReadHelpText().isEmpty());
    QVERIFY(!texts.SaveNotes(u"筆記"_s));
    QVERIFY(texts.SaveHelpText(u"只存範本"_s));
    QCOMPARE(texts.ReadHelpText(), u"只存範本"_s);
}

QTEST_GUILESS_MAIN(TestHelpTexts)
#include "tst_helptexts.moc"
