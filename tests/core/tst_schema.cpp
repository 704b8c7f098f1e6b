#include "core/Schema.h"
#include "core/TemplateBuilder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace
{

QString SeedDir()
{
    return qEnvironmentVariable("ROLVAN_SOURCE_DIR") + u"/resources/seed"_s;
}

// An open SQLite connection on a file, closed and removed when the object goes.
class Db
{
public:
    explicit Db(const QString &path)
        : m_name(u"tst_schema_"_s + QUuid::createUuid().toString(QUuid::Id128))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Db()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // First column of the first row; an invalid QVariant when there is no row.
    QVariant value(const QString &sql, const QVariantList &binds = {}) const
    {
        QSqlQuery q(db());
        q.prepare(sql);
        for (int i = 0; i < binds.size(); ++i)
            q.bindValue(i, binds.at(i));
        if (!q.exec())
            qWarning() << sql << q.lastError().text();
        return q.next() ? q.value(0) : QVariant();
    }

    QStringList columns(const QString &table) const
    {
        QStringList names;
        QSqlQuery q(db());
        q.exec(u"PRAGMA table_info("_s + table + u')');
        while (q.next())
            names.append(q.value(1).toString());
        return names;
    }

private:
    QString m_name;
};

QStringList FilesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestSchema : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void findTableIgnoresCase_data();
    void findTableIgnoresCase();

    void templateHasEveryTableAndColumnInOrder();
    void psioColumnsStandInExchangeOrder();
    void declaredTextSizesAreReadable();
    void indexesExist();

    void seedRowsArePresent();
    void everyPersonnelColumnHasACaption();
    void sysIniSettings_data();
    void sysIniSettings();
    void helpTextPerTopic_data();
    void helpTextPerTopic();

    void textComparesWithoutCase();
    void apostropheAndNullRoundTrip();

    void postgresStatementsCoverEveryTable();

    void rebuildReplacesExistingFile();
    void failedBuildLeavesExistingFileAlone_data();
    void failedBuildLeavesExistingFileAlone();
    void copiedTemplateOpensWithSameVersion();

private:
    QTemporaryDir m_dir;
    QString m_template;
};

void TestSchema::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_template = m_dir.filePath(u"SampleQuorin.db"_s);
    QString error;
    QVERIFY2(BuildTemplateDatabase(m_template, SeedDir(), &error), qPrintable(error));
    QVERIFY(QFile::exists(m_template));
    // Nothing but the template is left behind: no temporary file, no journal.
    QCOMPARE(FilesIn(m_dir.path()), QStringList{u"SampleQuorin.db"_s});
}

void TestSchema::findTableIgnoresCase_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("found");
    QTest::newRow("exact") << u"PSIO"_s << u"PSIO"_s;
    QTest::newRow("lower") << u"psio"_s << u"PSIO"_s;
    QTest::newRow("mixed") << u"Sys_Code"_s << u"SYS_CODE"_s;
    QTest::newRow("blanks") << u" booking "_s << u"Booking"_s;
    QTest::newRow("Courses is not Course") << u"courses"_s << u"Courses"_s;
    QTest::newRow("unknown") << u"IO_RPT200"_s << QString();
}

void TestSchema::findTableIgnoresCase()
{
    QFETCH(QString, asked);
    QFETCH(QString, found);
    const TableDef *t = FindTable(asked);
    QCOMPARE(t ? t->name : QString(), found);
}

void TestSchema::templateHasEveryTableAndColumnInOrder()
{
    Db db(m_template);
    const QStringList tables = db.db().tables();
    for (const TableDef &t : SchemaTables()) {
        QVERIFY2(tables.contains(t.name), qPrintable(t.name));
        QCOMPARE(db.columns(t.name), t.columnNames());
    }
    for (const QString &name : {u"Courses"_s, u"Course"_s, u"Booking"_s, u"PSIO"_s, u"PSPN"_s,
                                u"SYS_CODE"_s, u"SYS_Help"_s, u"TimeLog"_s, u"SMSLog"_s,
                                u"Grouping"_s, u"scores"_s, u"LOG"_s, u"sys_ini"_s})
        QVERIFY2(FindTable(name), qPrintable(name));
}

void TestSchema::psioColumnsStandInExchangeOrder()
{
    const QStringList expected{u"DOOR"_s,  u"IDNO"_s,      u"IODATE"_s, u"IOTIME"_s, u"IOTYPE"_s,
                               u"IOWay"_s, u"NET"_s,       u"Web"_s,    u"INDEX_KEY"_s,
                               u"SEATS"_s, u"RID"_s,       u"RID2"_s,   u"NTP"_s};
    Db db(m_template);
    QCOMPARE(db.columns(u"PSIO"_s), expected);

    // RID is still the auto-number though it stands in the middle.
    QSqlQuery q(db.db());
    QVERIFY(q.exec(u"INSERT INTO PSIO (DOOR, IDNO) VALUES ('01', 'A1')"_s));
    QVERIFY(q.exec(u"INSERT INTO PSIO (DOOR, IDNO) VALUES ('01', 'A2')"_s));
    QCOMPARE(db.value(u"SELECT RID FROM PSIO WHERE IDNO = 'A2'"_s).toInt(),
             db.value(u"SELECT RID FROM PSIO WHERE IDNO = 'A1'"_s).toInt() + 1);
    QVERIFY(q.exec(u"DELETE FROM PSIO"_s));
}

void TestSchema::declaredTextSizesAreReadable()
{
    Db db(m_template);
    QSqlQuery q(db.db());
    QVERIFY(q.exec(u"PRAGMA table_info(Booking)"_s));
    QHash<QString, QString> types;
    while (q.next())
        types.insert(q.value(1).toString(), q.value(2).toString());
    QCOMPARE(types.value(u"ID"_s), u"VARCHAR(10)"_s);
    QCOMPARE(types.value(u"Mobile"_s), u"VARCHAR(32)"_s);
    QCOMPARE(types.value(u"DEPT"_s), u"VARCHAR(255)"_s); // text without a size

    QCOMPARE(DeclaredTextSize(u"booking"_s, u"id"_s), 10);
    QCOMPARE(DeclaredTextSize(u"SYS_CODE"_s, u"CODE_DESC"_s), 0); // memo
    QCOMPARE(DeclaredTextSize(u"Course"_s, u"Hours"_s), 0);
    QCOMPARE(DeclaredTextSize(u"Course"_s, u"nothing"_s), -1);
}

void TestSchema::indexesExist()
{
    Db db(m_template);
    for (const TableDef &t : SchemaTables()) {
        for (const IndexDef &i : t.indexes) {
            QSqlQuery q(db.db());
            QVERIFY(q.exec(u"PRAGMA index_info("_s + i.name + u')'));
            QStringList columns;
            while (q.next())
                columns.append(q.value(2).toString());
            QCOMPARE(columns, i.columns);
        }
    }
    const TableDef *psio = FindTable(u"PSIO"_s);
    QCOMPARE(psio->indexes.size(), 2);
    QCOMPARE(psio->indexes.at(0).columns, (QStringList{u"IDNO"_s, u"IODATE"_s}));
    QCOMPARE(psio->indexes.at(1).columns, QStringList{u"INDEX_KEY"_s});
}

void TestSchema::seedRowsArePresent()
{
    Db db(m_template);
    QCOMPARE(db.value(u"SELECT count(*) FROM SYS_CODE WHERE CODE_TYPE = 'DBVersion'"_s).toInt(), 1);
    const QString version =
        db.value(u"SELECT CODE_SEQ FROM SYS_CODE WHERE CODE_TYPE = 'DBVersion'"_s).toString();
    QVERIFY(QRegularExpression(u"^\\d{4}\\.\\d+\\.\\d+$"_s).match(version).hasMatch());

    const QString caption = u"SELECT CODE_DESC FROM SYS_CODE WHERE CODE_TYPE = 'PSPN_DBGRID1' "
                            "AND upper(CODE_SEQ) = ?"_s;
    QCOMPARE(db.value(caption, {u"IDNO"_s}).toString(), u"會員編號"_s);
    QCOMPARE(db.value(caption, {u"ID"_s}).toString(), u"身分證字號"_s);
    QCOMPARE(db.value(caption, {u"NAME"_s}).toString(), u"姓名"_s);
    QCOMPARE(db.value(caption, {u"MOBILE"_s}).toString(), u"手機號碼"_s);
    QCOMPARE(db.value(caption, {u"CARDID"_s}).toString(), u"卡片序號"_s);
    QCOMPARE(db.value(caption, {u"DEPT"_s}).toString(), u"部門"_s);
    QVERIFY(db.value(u"SELECT MARK FROM SYS_CODE WHERE CODE_TYPE = 'PSPN_DBGRID1' "
                     "AND CODE_SEQ = 'RID'"_s).toInt() < 0);

    // Subject list of the default unit code X001: "課程科目" + its first character.
    QSqlQuery q(db.db());
    QVERIFY(q.exec(u"SELECT CODE_SEQ, CODE_DESC FROM SYS_CODE WHERE CODE_TYPE = '課程科目X' "
                   "ORDER BY CODE_SEQ"_s));
    int subjects = 0;
    while (q.next()) {
        ++subjects;
        QCOMPARE(q.value(0).toString().size(), 4);
        QVERIFY(!q.value(1).toString().isEmpty());
    }
    QVERIFY(subjects >= 12);
}

void TestSchema::everyPersonnelColumnHasACaption()
{
    // The identity kinds are translated through these captions, so each must be there and
    // none may repeat.
    Db db(m_template);
    for (const QString &table : {u"Booking"_s, u"PSPN"_s}) {
        for (const QString &column : TableColumnNames(table)) {
            QCOMPARE(db.value(u"SELECT count(*) FROM SYS_CODE WHERE CODE_TYPE = 'PSPN_DBGRID1' "
                              "AND CODE_SEQ = ?"_s,
                              {column})
                         .toInt(),
                     1);
        }
    }
    QCOMPARE(db.value(u"SELECT count(*) - count(DISTINCT CODE_DESC) FROM SYS_CODE "
                      "WHERE CODE_TYPE = 'PSPN_DBGRID1'"_s)
                 .toInt(),
             0);
}

void TestSchema::sysIniSettings_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("late or early") << u"遲到早退分鐘認定X"_s << u"15"_s;
    QTest::newRow("minutes per hour") << u"每小時須上滿分鐘數X"_s << u"45"_s;
    QTest::newRow("break limit") << u"課間休息分鐘限制"_s << u"30"_s;
}

void TestSchema::sysIniSettings()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    Db db(m_template);
    QCOMPARE(db.value(u"SELECT ini3 FROM sys_ini WHERE SystemName = 'Rolvan' AND ini1 = 'Base' "
                      "AND ini2 = ?"_s,
                      {key})
                 .toString(),
             value);
}

void TestSchema::helpTextPerTopic_data()
{
    QTest::addColumn<QString>("helpId");
    QTest::addColumn<QString>("jobScreen");
    const QList<QPair<QString, QString>> topics{
        {u"簽到首頁"_s, u"簽到首頁"_s},   {u"課程選定"_s, u"多筆瀏覽查詢"_s},
        {u"課程選定"_s, u"單筆明細"_s},   {u"課程明細"_s, u"多筆瀏覽"_s},
        {u"課程明細"_s, u"單筆明細"_s},   {u"刷卡明細"_s, u"多筆瀏覽"_s},
        {u"報名資料"_s, u"多筆瀏覽"_s},   {u"報名資料"_s, u"單筆明細"_s},
        {u"列印作業"_s, u"列印作業"_s},   {u"系統設定"_s, u"一般設定"_s},
    };
    for (const auto &t : topics)
        QTest::newRow(qPrintable(t.first + u'/' + t.second)) << t.first << t.second;
}

void TestSchema::helpTextPerTopic()
{
    QFETCH(QString, helpId);
    QFETCH(QString, jobScreen);
    Db db(m_template);
    const QString text = db.value(u"SELECT HelpText FROM SYS_Help WHERE helpID = ? "
                                  "AND JobScreen = ?"_s,
                                  {helpId, jobScreen})
                             .toString();
    QVERIFY2(text.size() > 100, qPrintable(helpId + u'/' + jobScreen));
    QVERIFY(!text.contains(u'\r'));
    QVERIFY(db.value(u"SELECT HelpText2 FROM SYS_Help WHERE helpID = ? AND JobScreen = ?"_s,
                     {helpId, jobScreen})
                .toString()
                .isEmpty());
}

void TestSchema::textComparesWithoutCase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"work.db"_s);
    QVERIFY(QFile::copy(m_template, path));
    Db db(path);
    QSqlQuery q(db.db());
    QVERIFY(q.prepare(u"INSERT INTO Booking (INDEX_KEY, ID, NAME) VALUES (?, ?, ?)"_s));
    q.addBindValue(u"ab12345678901"_s);
    q.addBindValue(u"a123456789"_s);
    q.addBindValue(u"ab"_s);
    QVERIFY(q.exec());

    QCOMPARE(db.value(u"SELECT count(*) FROM Booking WHERE NAME = 'AB'"_s).toInt(), 1);
    QCOMPARE(db.value(u"SELECT count(*) FROM Booking WHERE ID = ?"_s, {u"A123456789"_s}).toInt(), 1);
    QCOMPARE(db.value(u"SELECT count(*) FROM Booking WHERE INDEX_KEY = 'AB12345678901' "
                      "AND ID = 'A123456789'"_s)
                 .toInt(),
             1);
    QCOMPARE(db.value(u"SELECT count(*) FROM Booking WHERE INDEX_KEY LIKE 'AB1%'"_s).toInt(), 1);
    // Memo columns too.
    QVERIFY(q.exec(u"INSERT INTO SYS_CODE (CODE_TYPE, CODE_SEQ, CODE_DESC) "
                   "VALUES ('t', 's', 'Abc')"_s));
    QCOMPARE(db.value(u"SELECT count(*) FROM SYS_CODE WHERE CODE_DESC = 'aBC'"_s).toInt(), 1);
}

void TestSchema::apostropheAndNullRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"work.db"_s);
    QVERIFY(QFile::copy(m_template, path));
    Db db(path);
    QSqlQuery q(db.db());
    QVERIFY(q.prepare(u"INSERT INTO Booking (INDEX_KEY, NAME, TEL, Score) VALUES (?, ?, ?, ?)"_s));
    q.addBindValue(u"K01"_s);
    q.addBindValue(u"O'Brien 林'小明"_s);
    q.addBindValue(QVariant(QMetaType(QMetaType::QString)));
    q.addBindValue(QVariant());
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));

    QCOMPARE(db.value(u"SELECT NAME FROM Booking WHERE NAME = ?"_s, {u"o'brien 林'小明"_s}).toString(),
             u"O'Brien 林'小明"_s);
    QVERIFY(db.value(u"SELECT TEL FROM Booking WHERE INDEX_KEY = 'K01'"_s).isNull());
    QVERIFY(db.value(u"SELECT Score FROM Booking WHERE INDEX_KEY = 'K01'"_s).isNull());

    // A yes/no column left out reads as false, as Jet's did.
    QVERIFY(q.exec(u"INSERT INTO Courses (CourseId, Echelon) VALUES ('C1', '01')"_s));
    QCOMPARE(db.value(u"SELECT Bookin FROM Courses WHERE CourseId = 'C1'"_s).toInt(), 0);
}

void TestSchema::postgresStatementsCoverEveryTable()
{
    const QStringList statements = PostgresSchemaStatements();
    const QString all = statements.join(u";\n"_s);
    QVERIFY(statements.first().contains(u"CREATE EXTENSION IF NOT EXISTS citext"_s));
    for (const QString &fn : {u"mid(s text, start bigint, len bigint DEFAULT NULL)"_s,
                              u"mid(s citext, start bigint, len bigint DEFAULT NULL)"_s,
                              u"mid(s bigint, start bigint, len bigint DEFAULT NULL)"_s,
                              u"val(s text)"_s, u"ucase(s text)"_s})
        QVERIFY2(all.contains(u"CREATE OR REPLACE FUNCTION "_s + fn), qPrintable(fn));

    for (const TableDef &t : SchemaTables()) {
        const QString head = u"CREATE TABLE IF NOT EXISTS "_s + t.name + u" ("_s;
        const auto it = std::find_if(statements.begin(), statements.end(),
                                     [&](const QString &s) { return s.startsWith(head); });
        QVERIFY2(it != statements.end(), qPrintable(t.name));
        // Every column, in table order.
        qsizetype at = 0;
        for (const ColumnDef &c : t.columns) {
            at = it->indexOf(
                QRegularExpression(u"(?:\\(|, )"_s + QRegularExpression::escape(c.name) + u' '),
                at);
            QVERIFY2(at >= 0, qPrintable(t.name + u'.' + c.name));
        }
        for (const IndexDef &i : t.indexes)
            QVERIFY(all.contains(u"CREATE INDEX IF NOT EXISTS "_s + i.name + u" ON "_s + t.name));
    }
    QVERIFY(all.contains(u"IODATE citext"_s));
    QVERIFY(all.contains(u"RID serial PRIMARY KEY"_s));
    QVERIFY(all.contains(u"Bookin smallint"_s));
    QVERIFY(!all.contains(u"COLLATE NOCASE"_s));
}

void TestSchema::rebuildReplacesExistingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"SampleQuorin.db"_s);
    {
        // An older template with a table the description no longer has.
        Db old(path);
        QSqlQuery q(old.db());
        QVERIFY(q.exec(u"CREATE TABLE Leftover (x INTEGER)"_s));
    }
    QString error;
    QVERIFY2(BuildTemplateDatabase(path, SeedDir(), &error), qPrintable(error));
    QCOMPARE(FilesIn(dir.path()), QStringList{u"SampleQuorin.db"_s});
    Db db(path);
    QVERIFY(!db.db().tables().contains(u"Leftover"_s));
    QVERIFY(db.db().tables().contains(u"PSIO"_s));
    QCOMPARE(db.value(u"PRAGMA journal_mode"_s).toString(), u"delete"_s);
}

void TestSchema::failedBuildLeavesExistingFileAlone_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("content");
    QTest::newRow("unknown column") << u"SYS_CODE.bad.tsv"_s << u"CODE_TYPE\tNOPE\nA\tB\n"_s;
    QTest::newRow("unknown table") << u"Nowhere.tsv"_s << u"A\n1\n"_s;
    QTest::newRow("short row") << u"sys_ini.bad.tsv"_s << u"ini1\tini2\nBase\n"_s;
    QTest::newRow("too long for its column")
        << u"SYS_CODE.bad.tsv"_s << u"CODE_TYPE\tRW\nx\t12345678\n"_s;
    QTest::newRow("not a number") << u"SYS_CODE.bad.tsv"_s << u"CODE_TYPE\tOrders\nx\tten\n"_s;
    QTest::newRow("auto-number listed") << u"LOG.bad.tsv"_s << u"RID\tMessage\n1\tx\n"_s;
}

void TestSchema::failedBuildLeavesExistingFileAlone()
{
    QFETCH(QString, fileName);
    QFETCH(QString, content);
    QTemporaryDir dir;
    const QString seeds = dir.filePath(u"seed"_s);
    QVERIFY(QDir().mkpath(seeds));
    for (const QString &f : FilesIn(SeedDir()))
        QVERIFY(QFile::copy(SeedDir() + u'/' + f, seeds + u'/' + f));
    QFile bad(seeds + u'/' + fileName);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(content.toUtf8());
    bad.close();

    const QString out = dir.filePath(u"out"_s);
    QVERIFY(QDir().mkpath(out));
    const QString path = out + u"/SampleQuorin.db"_s;
    QVERIFY(QFile::copy(m_template, path));
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    QString error;
    QVERIFY(!BuildTemplateDatabase(path, seeds, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(fileName), qPrintable(error));
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
    QCOMPARE(FilesIn(out), QStringList{u"SampleQuorin.db"_s});
}

void TestSchema::copiedTemplateOpensWithSameVersion()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"new/place/Quorin.db"_s);
    QVERIFY(QDir().mkpath(QFileInfo(copy).path()));
    QVERIFY(QFile::copy(m_template, copy));

    const QString sql = u"SELECT CODE_SEQ FROM SYS_CODE WHERE CODE_TYPE = 'DBVersion' ORDER BY RID"_s;
    Db original(m_template);
    Db copied(copy);
    QVERIFY(copied.db().isOpen());
    const QString version = original.value(sql).toString();
    QVERIFY(!version.isEmpty());
    QCOMPARE(copied.value(sql).toString(), version);
    QCOMPARE(copied.value(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
}

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
