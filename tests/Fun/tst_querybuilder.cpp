#include "Fun/CsvExport.h"
#include "Fun/QueryBuilder.h"
#include "base/RolvanError.h"
#include "mock/ScriptedPrompter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(SearchInput)
Q_DECLARE_METATYPE(FieldKind)

namespace {

// Bound values as "n:<number>" or "s:<text>", so a table shows both the value and whether it
// reaches the database as a number or as text.
QStringList Describe(const QVariantList &params)
{
    QStringList out;
    for (const QVariant &p : params) {
        const bool text = p.typeId() == QMetaType::QString;
        out << (text ? u"s:"_s : u"n:"_s) + p.toString();
    }
    return out;
}

SearchInput Edit(const QString &hint, const QString &value)
{
    return SearchInput { hint, value, false };
}

SearchInput Combo(const QString &hint, const QString &value)
{
    return SearchInput { hint, value, true };
}

} // namespace

class TestQueryBuilder : public QObject
{
    Q_OBJECT

private slots:
    void itemHelpers_data();
    void itemHelpers();
    void splitText_data();
    void splitText();
    void fieldKind_data();
    void fieldKind();
    void buildCondition_data();
    void buildCondition();
    void alternatives();
    void whereFromInputs_data();
    void whereFromInputs();
    void builtStatementsRunOnSqlite_data();
    void builtStatementsRunOnSqlite();
    void nextSortText_data();
    void nextSortText();
    void csvField_data();
    void csvField();
    void csvFileHasBomTitlesAndCrlfLines();
    void csvFileWriteFailsCleanly();
    void confirmDeleteAbortsSilentlyUnlessDeletePressed();
    void askYesNo();
};

void TestQueryBuilder::itemHelpers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("afterArrow");
    QTest::addColumn<QString>("beforeArrow");

    QTest::newRow("code:name") << u"0:簽到"_s << u"0"_s << u"簽到"_s << u"0:簽到"_s << QString();
    QTest::newRow("blanks trimmed")
        << u" KB : 鍵盤 "_s << u"KB"_s << u"鍵盤"_s << u" KB : 鍵盤 "_s << QString();
    QTest::newRow("first colon only")
        << u"a:b:c"_s << u"a"_s << u"b:c"_s << u"a:b:c"_s << QString();
    QTest::newRow("no colon") << u" plain "_s << u"plain"_s << u"plain"_s << u" plain "_s
                              << QString();
    QTest::newRow("arrow") << u" Booking -> NAME "_s << u"Booking -> NAME"_s << u"Booking -> NAME"_s
                           << u"NAME"_s << u"Booking"_s;
    QTest::newRow("arrow keeps 30 characters")
        << u"T->"_s + QString(40, u'x') << u"T->"_s + QString(40, u'x')
        << u"T->"_s + QString(40, u'x') << QString(30, u'x') << u"T"_s;
}

void TestQueryBuilder::itemHelpers()
{
    QFETCH(QString, text);
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QString, afterArrow);
    QFETCH(QString, beforeArrow);
    QCOMPARE(CodeOfItem(text), code);
    QCOMPARE(NameOfItem(text), name);
    QCOMPARE(TextAfterArrow(text), afterArrow);
    QCOMPARE(TextBeforeArrow(text), beforeArrow);
}

void TestQueryBuilder::splitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QStringList>("parts");

    QTest::newRow("later parts trimmed, earlier kept")
        << u" a,b , c"_s << QChar(u',') << QStringList { u" a"_s, u"b "_s, u"c"_s };
    QTest::newRow("no separator") << u" x "_s << QChar(u',') << QStringList { u" x "_s };
    QTest::newRow("empty text") << QString() << QChar(u',') << QStringList { QString() };
    QTest::newRow("empty parts") << u"a,,b,"_s << QChar(u',')
                                 << QStringList { u"a"_s, QString(), u"b"_s, QString() };
    QTest::newRow("other separator")
        << u"NAME| TEL"_s << QChar(u'|') << QStringList { u"NAME"_s, u"TEL"_s };
}

void TestQueryBuilder::splitText()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(QStringList, parts);
    QCOMPARE(SplitText(text, separator), parts);
}

void TestQueryBuilder::fieldKind_data()
{
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("isComboBox");
    QTest::addColumn<QString>("spec");
    QTest::addColumn<FieldKind>("kind");

    QTest::newRow("column") << u"NAME"_s << false << u"NAME"_s << FieldKind::String;
    QTest::newRow("lower case spec") << u"cno2"_s << false << u"cno2"_s << FieldKind::NumericLower;
    QTest::newRow("chinese spec") << u"姓名"_s << false << u"姓名"_s << FieldKind::String;
    QTest::newRow("Date:") << u"Date:IODATE"_s << false << u"IODATE"_s << FieldKind::Date;
    QTest::newRow("Numeric:") << u"Numeric:Hours"_s << false << u"Hours"_s << FieldKind::Numeric;
    QTest::newRow("Stringc: wins over lower case")
        << u"Stringc:cno2"_s << false << u"cno2"_s << FieldKind::String;
    QTest::newRow("subquery") << u"Booking->NAME"_s << false << u"Booking->NAME"_s
                              << FieldKind::String;
    QTest::newRow("combo keeps the whole hint")
        << u"IOTYPE"_s << true << u"IOTYPE"_s << FieldKind::String;
}

void TestQueryBuilder::fieldKind()
{
    QFETCH(QString, hint);
    QFETCH(bool, isComboBox);
    QFETCH(QString, spec);
    QFETCH(FieldKind, kind);
    QCOMPARE(SpecOfHint(hint, isComboBox), spec);
    QCOMPARE(FieldKindOf(hint, spec), kind);
}

void TestQueryBuilder::buildCondition_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<FieldKind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("params");

    const auto S = FieldKind::String;
    const auto D = FieldKind::Date;
    const auto N = FieldKind::Numeric;
    const auto n = FieldKind::NumericLower;

    QTest::newRow("prefix") << u"  王 "_s << S << u" LIKE ?"_s << QStringList { u"s:王%"_s };
    QTest::newRow("=") << u"=A1"_s << S << u" = ?"_s << QStringList { u"s:A1"_s };
    QTest::newRow(">") << u">B"_s << S << u" > ?"_s << QStringList { u"s:B"_s };
    QTest::newRow("<") << u"<B"_s << S << u" < ?"_s << QStringList { u"s:B"_s };
    QTest::newRow(">=") << u">=20250101"_s << S << u" >= ?"_s << QStringList { u"s:20250101"_s };
    QTest::newRow("<=") << u"<=20250101"_s << S << u" <= ?"_s << QStringList { u"s:20250101"_s };
    QTest::newRow("<>") << u"<>3"_s << S << u" <> ?"_s << QStringList { u"s:3"_s };
    QTest::newRow("empty after operator") << u"<>"_s << S << u" <> ?"_s << QStringList { u"s:"_s };
    QTest::newRow("rest at most 99") << u"="_s + QString(120, u'x') << S << u" = ?"_s
                                     << QStringList { u"s:"_s + QString(99, u'x') };
    QTest::newRow("is") << u"is"_s << S << u" IS NULL "_s << QStringList();
    QTest::newRow("IS NULL") << u"IS NULL"_s << S << u" IS NULL "_s << QStringList();
    QTest::newRow("word starting with IS is a search")
        << u"ISO 品質"_s << S << u" LIKE ?"_s << QStringList { u"s:ISO 品質%"_s };
    QTest::newRow("apostrophe bound")
        << u"O'Neil"_s << S << u" LIKE ?"_s << QStringList { u"s:O'Neil%"_s };
    QTest::newRow("apostrophe after operator")
        << u"<>O'Neil"_s << S << u" <> ?"_s << QStringList { u"s:O'Neil"_s };

    QTest::newRow("date >=") << u">=2025/05/01"_s << D << u" >= ?"_s
                             << QStringList { u"s:2025/05/01"_s };
    QTest::newRow("date <> with blank")
        << u"<> 2025/05/01"_s << D << u" <> ?"_s << QStringList { u"s:2025/05/01"_s };
    QTest::newRow("date prefix") << u"2025/05"_s << D << u" LIKE ?"_s
                                 << QStringList { u"s:2025/05%"_s };
    QTest::newRow("date is") << u"is"_s << D << u" IS NULL "_s << QStringList();

    QTest::newRow("numeric plain") << u"5"_s << n << u" = ?"_s << QStringList { u"n:5"_s };
    QTest::newRow("numeric >=") << u">= 2.5"_s << N << u" >= ?"_s << QStringList { u"n:2.5"_s };
    QTest::newRow("numeric <>") << u"<>3"_s << n << u" <> ?"_s << QStringList { u"n:3"_s };
    QTest::newRow("numeric not a number")
        << u"abc"_s << N << u" = ?"_s << QStringList { u"s:abc"_s };
    QTest::newRow("numeric nan is text")
        << u"nan"_s << N << u" = ?"_s << QStringList { u"s:nan"_s };

    QTest::newRow("raw OR") << u"= 'A' or NAME like 'B%'"_s << S << u" = 'A' or NAME like 'B%'"_s
                            << QStringList();
    QTest::newRow("raw IN") << u"in ('A','B')"_s << S << u" in ('A','B')"_s << QStringList();
    QTest::newRow("raw IN on numeric") << u"IN (1,2)"_s << n << u" IN (1,2)"_s << QStringList();
    QTest::newRow("raw OR on date") << u">=2025/01/01 or IODATE is null"_s << D
                                    << u" >=2025/01/01 or IODATE is null"_s << QStringList();
    QTest::newRow("OR inside a word is a search")
        << u"NORTH"_s << S << u" LIKE ?"_s << QStringList { u"s:NORTH%"_s };
    QTest::newRow("IN inside a name is a search")
        << u"Martin"_s << S << u" LIKE ?"_s << QStringList { u"s:Martin%"_s };
    QTest::newRow("IN inside a name with brackets is a search")
        << u"Lin (林)"_s << S << u" LIKE ?"_s << QStringList { u"s:Lin (林)%"_s };
    QTest::newRow("IN inside a word before brackets is a search")
        << u"Martin(2)"_s << S << u" LIKE ?"_s << QStringList { u"s:Martin(2)%"_s };
    QTest::newRow("raw NOT IN") << u"not in ('A')"_s << S << u" not in ('A')"_s << QStringList();
}

void TestQueryBuilder::buildCondition()
{
    QFETCH(QString, value);
    QFETCH(FieldKind, kind);
    QFETCH(QString, text);
    QFETCH(QStringList, params);
    const SqlCondition c = BuildCondition(value, kind);
    QCOMPARE(c.text, text);
    QCOMPARE(Describe(c.params), params);
}

void TestQueryBuilder::alternatives()
{
    const SqlCondition c = BuildAlternativesCondition(u" NAME | TEL|Mobile"_s, u" 09 "_s);
    QCOMPARE(c.text, u" ( NAME Like ? Or TEL Like ? Or Mobile Like  ? ) "_s);
    QCOMPARE(Describe(c.params), (QStringList { u"s:09%"_s, u"s:09%"_s, u"s:09%"_s }));

    QVERIFY(BuildAlternativesCondition(u"NAME"_s, u"09"_s).text.isEmpty());
    QVERIFY(BuildAlternativesCondition(u"NAME|TEL) or (1=1"_s, u"09"_s).text.isEmpty());
    QVERIFY(BuildAlternativesCondition(u"NAME|"_s, u"09"_s).text.isEmpty());
}

void TestQueryBuilder::whereFromInputs_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QList<SearchInput>>("inputs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("params");

    const QString booking = u"select * from Booking "_s;

    QTest::newRow("plain value on NAME")
        << booking << QList<SearchInput> { Edit(u"NAME"_s, u"王"_s) }
        << booking + u" where NAME LIKE ?"_s << QStringList { u"s:王%"_s };
    QTest::newRow("lower-case spec compares val numerically")
        << u"select * from Course"_s << QList<SearchInput> { Edit(u"cno2"_s, u"5"_s) }
        << u"select * from Course where  val ( cno2) = ?"_s << QStringList { u"n:5"_s };
    QTest::newRow("alternatives") << booking << QList<SearchInput> { Edit(u"NAME|TEL"_s, u"09"_s) }
                                  << booking + u" where  ( NAME Like ? Or TEL Like  ? ) "_s
                                  << QStringList { u"s:09%"_s, u"s:09%"_s };
    QTest::newRow("two inputs joined by and") << booking
                                              << QList<SearchInput> { Edit(u"NAME"_s, u"王"_s),
                                                     Edit(u"Date:IODATE"_s, u">=2025/05/01"_s) }
                                              << booking + u" where NAME LIKE ? and IODATE >= ?"_s
                                              << QStringList { u"s:王%"_s, u"s:2025/05/01"_s };
    QTest::newRow("nothing filled leaves the base")
        << booking
        << QList<SearchInput> { Edit(u"NAME"_s, u"   "_s), Edit(QString(), u"王"_s),
               Combo(u"IOTYPE"_s, QString()) }
        << booking << QStringList();
    QTest::newRow("drop-down code")
        << u"select * from PSIO"_s << QList<SearchInput> { Combo(u"IOTYPE"_s, u"2"_s) }
        << u"select * from PSIO where IOTYPE LIKE ?"_s << QStringList { u"s:2%"_s };
    QTest::newRow("Stringc keeps a lower-case column a text")
        << booking << QList<SearchInput> { Edit(u"Stringc:cno2"_s, u"5"_s) }
        << booking + u" where cno2 LIKE ?"_s << QStringList { u"s:5%"_s };
    QTest::newRow("hint that is no column name is skipped")
        << booking
        << QList<SearchInput> { Edit(u"NAME='x' or 1"_s, u"1"_s), Edit(u"A->B;drop"_s, u"1"_s),
               Edit(u"IDNO"_s, u"A1"_s) }
        << booking + u" where IDNO LIKE ?"_s << QStringList { u"s:A1%"_s };
}

void TestQueryBuilder::whereFromInputs()
{
    QFETCH(QString, base);
    QFETCH(QList<SearchInput>, inputs);
    QFETCH(QString, text);
    QFETCH(QStringList, params);
    const SqlCondition c
        = BuildWhereFromInputs(base, u"select idno from Booking "_s, u" IDNO "_s, inputs);
    QCOMPARE(c.text, text);
    QCOMPARE(Describe(c.params), params);
}

// The sign-event records window: conditions on PSIO itself, conditions on the enrolment
// rows through the subquery, bound in the order of the statement.
void TestQueryBuilder::builtStatementsRunOnSqlite_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QList<SearchInput>>("inputs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ids");

    const QString psio = u" select * from PSIO"_s;
    QTest::newRow("subquery joined after the base conditions")
        << psio
        << QList<SearchInput> { Edit(u"Booking->NAME"_s, u"O'"_s), Edit(u"IODATE"_s, u"1140501"_s) }
        << u" select * from PSIO where IODATE LIKE ? and  IDNO  in ( select idno from Booking  where NAME like ?) "_s
        << QStringList { u"A001"_s };
    QTest::newRow("two subquery conditions")
        << psio
        << QList<SearchInput> { Edit(u"Booking->NAME"_s, u"O"_s), Edit(u"Booking->TEL"_s, u"09"_s) }
        << u" select * from PSIO where  IDNO  in ( select idno from Booking  where NAME like ? and TEL like ?) "_s
        << QStringList { u"A001"_s, u"A001"_s };
    QTest::newRow("operator form")
        << psio << QList<SearchInput> { Edit(u"IDNO"_s, u"=A002"_s) }
        << u" select * from PSIO where IDNO = ?"_s << QStringList { u"A002"_s };
    QTest::newRow("raw IN as typed")
        << psio << QList<SearchInput> { Edit(u"IDNO"_s, u"IN ('A002','A003')"_s) }
        << u" select * from PSIO where IDNO IN ('A002','A003')"_s
        << QStringList { u"A002"_s, u"A003"_s };

    const QString booking = u"select IDNO from Booking"_s;
    QTest::newRow("name with apostrophe found")
        << booking << QList<SearchInput> { Edit(u"NAME"_s, u"O'Neil"_s) }
        << u"select IDNO from Booking where NAME LIKE ?"_s << QStringList { u"A001"_s };
    QTest::newRow("apostrophe in alternatives")
        << booking << QList<SearchInput> { Edit(u"TEL|NAME"_s, u"D'A"_s) }
        << u"select IDNO from Booking where  ( TEL Like ? Or NAME Like  ? ) "_s
        << QStringList { u"A003"_s };
    QTest::newRow("date kind compares as text")
        << u"select IDNO from Booking"_s
        << QList<SearchInput> { Edit(u"Date:CR_DATE"_s, u">=2025/05/01"_s) }
        << u"select IDNO from Booking where CR_DATE >= ?"_s << QStringList { u"A002"_s, u"A003"_s };
}

void TestQueryBuilder::builtStatementsRunOnSqlite()
{
    QFETCH(QString, base);
    QFETCH(QList<SearchInput>, inputs);
    QFETCH(QString, text);
    QFETCH(QStringList, ids);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString connection = u"querybuilder"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
        db.setDatabaseName(dir.filePath(u"search.db"_s));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(u"create table Booking (IDNO text, NAME text, TEL text, CR_DATE text)"_s));
        QVERIFY(q.exec(u"create table PSIO (IDNO text, IODATE text)"_s));
        const QList<QStringList> people { { u"A001"_s, u"O'Neil"_s, u"0912"_s, u"2025/04/30"_s },
            { u"A002"_s, u"王小明"_s, u"0922"_s, u"2025/05/01"_s },
            { u"A003"_s, u"D'Arcy"_s, u"02"_s, u"2025/12/31"_s } };
        for (const QStringList &p : people) {
            QVERIFY(q.prepare(u"insert into Booking values (?, ?, ?, ?)"_s));
            for (const QString &v : p)
                q.addBindValue(v);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
        const QList<QStringList> events { { u"A001"_s, u"1140501"_s }, { u"A001"_s, u"1140502"_s },
            { u"A002"_s, u"1140501"_s }, { u"A003"_s, u"1140503"_s } };
        for (const QStringList &e : events) {
            QVERIFY(q.prepare(u"insert into PSIO values (?, ?)"_s));
            q.addBindValue(e.at(0));
            q.addBindValue(e.at(1));
            QVERIFY(q.exec());
        }

        const SqlCondition c
            = BuildWhereFromInputs(base, u"select idno from Booking "_s, u" IDNO "_s, inputs);
        QCOMPARE(c.text, text);
        QVERIFY2(q.prepare(c.text + u" order by IDNO"_s), qPrintable(q.lastError().text()));
        for (const QVariant &p : c.params)
            q.addBindValue(p);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        QStringList found;
        while (q.next())
            found << q.value(0).toString();
        QCOMPARE(found, ids);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

void TestQueryBuilder::nextSortText_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("next");

    QTest::newRow("first click ascending") << QString() << u"NAME"_s << u"NAME"_s;
    QTest::newRow("second click descending") << u"NAME"_s << u"NAME"_s << u"NAME DESC"_s;
    QTest::newRow("third click ascending") << u"NAME DESC"_s << u"NAME"_s << u"NAME"_s;
    QTest::newRow("other column ascending") << u"NAME DESC"_s << u"TEL"_s << u"TEL"_s;
    QTest::newRow("no field name") << u"NAME"_s << QString() << QString();
    QTest::newRow("look-up field") << QString() << u"NameLookup"_s << QString();
    QTest::newRow("calculated field") << QString() << u"CalIndex"_s << QString();
    QTest::newRow("Cal at the end sorts") << QString() << u"IotypeCal"_s << u"IotypeCal"_s;
}

void TestQueryBuilder::nextSortText()
{
    QFETCH(QString, current);
    QFETCH(QString, field);
    QFETCH(QString, next);
    QCOMPARE(NextSortText(current, field), next);
}

void TestQueryBuilder::csvField_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("written");

    QTest::newRow("plain") << u"王小明"_s << QChar(u',') << u"王小明"_s;
    QTest::newRow("blanks kept") << u" a b "_s << QChar(u',') << u" a b "_s;
    QTest::newRow("separator") << u"1,5"_s << QChar(u',') << u"\"1,5\""_s;
    QTest::newRow("other separator not special") << u"1,5"_s << QChar(u';') << u"1,5"_s;
    QTest::newRow("chosen separator") << u"a;b"_s << QChar(u';') << u"\"a;b\""_s;
    QTest::newRow("double quote doubled")
        << u"say \"hi\""_s << QChar(u',') << u"\"say \"\"hi\"\"\""_s;
    QTest::newRow("line feed") << u"a\nb"_s << QChar(u',') << u"\"a\nb\""_s;
    QTest::newRow("carriage return") << u"a\rb"_s << QChar(u',') << u"\"a\rb\""_s;
    QTest::newRow("apostrophe plain") << u"O'Neil"_s << QChar(u',') << u"O'Neil"_s;
}

void TestQueryBuilder::csvField()
{
    QFETCH(QString, value);
    QFETCH(QChar, separator);
    QFETCH(QString, written);
    QCOMPARE(CsvField(value, separator), written);
}

void TestQueryBuilder::csvFileHasBomTitlesAndCrlfLines()
{
    const QStringList header { u"身分證字號"_s, u"姓名"_s, u"時數"_s };
    const QList<QStringList> rows { { u"A001"_s, u"O'Neil"_s, u"3"_s },
        { u"A002"_s, u"王, 小明"_s, QString() } };
    const QByteArray expected = QByteArray("\xEF\xBB\xBF")
        + u"身分證字號,姓名,時數\r\nA001,O'Neil,3\r\nA002,\"王, 小明\",\r\n"_s.toUtf8();

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(WriteCsv(buffer, header, rows, u','));
    QCOMPARE(buffer.data(), expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"A1234567890.csv"_s);
    QVERIFY(ExportRowsToCsvFile(path, header, rows, u','));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
}

void TestQueryBuilder::csvFileWriteFailsCleanly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"missing/x.csv"_s);
    QVERIFY(!ExportRowsToCsvFile(path, { u"a"_s }, {}, u','));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestQueryBuilder::confirmDeleteAbortsSilentlyUnlessDeletePressed()
{
    ScriptedPrompter prompter;

    prompter.queueButton(Prompter::Button::Yes);
    ConfirmDelete();
    QCOMPARE(prompter.asked, QStringList { u"是否確定刪除此筆資料?"_s });
    QCOMPARE(prompter.askedButtons.at(0).size(), 2);
    QCOMPARE(prompter.askedButtons.at(0).at(0).caption, u"刪除"_s);
    QCOMPARE(prompter.askedButtons.at(0).at(0).kind, Prompter::Button::Yes);
    QCOMPARE(prompter.askedButtons.at(0).at(1).caption, u"取消"_s);

    prompter.queueButton(Prompter::Button::No);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, ConfirmDelete());
    // Enter on the default (second) button cancels too.
    QVERIFY_THROWS_EXCEPTION(SilentAbort, ConfirmDelete());
    prompter.queueButton(Prompter::Button::Cancel);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, ConfirmDelete());
    QVERIFY(prompter.messages.isEmpty());
    QVERIFY(prompter.errors.isEmpty());

    prompter.clear();
    prompter.queueButton(Prompter::Button::No);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, ConfirmDeleteNamed(u"課程名稱: 職業安全 的資料?"_s));
    prompter.queueButton(Prompter::Button::Yes);
    ConfirmDeleteNamed(u"科目名稱：急救"_s);
    QCOMPARE(prompter.asked,
        (QStringList {
            u"刪除這筆 課程名稱: 職業安全 的資料? ??"_s, u"刪除這筆 科目名稱：急救 ??"_s }));
    QCOMPARE(prompter.askedButtons.at(1).at(0).caption, u"刪除"_s);
}

void TestQueryBuilder::askYesNo()
{
    ScriptedPrompter prompter;
    const QString message = u"提醒你! 刷卡紀錄會註記 尚未網路校時喔! "_s;
    prompter.queueButton(Prompter::Button::Yes);
    QVERIFY(AskYesNo(message, u"知道了!"_s, u"別再提了"_s));
    prompter.queueButton(Prompter::Button::No);
    QVERIFY(!AskYesNo(message, u"知道了!"_s, u"別再提了"_s));
    QVERIFY(!AskYesNo(message, u"知道了!"_s, u"別再提了"_s)); // default: the second button
    QCOMPARE(prompter.asked.size(), 3);
    QCOMPARE(prompter.asked.at(0), message);
    QCOMPARE(prompter.askedButtons.at(0).at(0).caption, u"知道了!"_s);
    QCOMPARE(prompter.askedButtons.at(0).at(1).caption, u"別再提了"_s);
}

QTEST_GUILESS_MAIN(TestQueryBuilder)
#include "tst_querybuilder.moc"
