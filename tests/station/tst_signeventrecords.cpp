// The rules of the sign-event records window on a template copy: which events a search finds
// (names through the enrolment list of the storage kind, type, date, class number), that the
// counts per type add up to what is listed, the calculated columns, the title-click sort, edits
// that wait for the row to be left, and deletion only after the question.

#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "station/SignEventRecords.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>
#include <numeric>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(SearchInput)

namespace {

const QString ClassKey = u"1130123456701"_s;
const QString OtherClassKey = u"1130999999901"_s;
const QString IdnoCaption = u"學員編號"_s;

int AddEvent(const QString &idno, const QString &date, const QString &time, const QString &type,
             const QString &way, const QString &indexKey, const QString &door = u"01"_s)
{
    ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NTP) "
            "values (?, ?, ?, ?, ?, ?, ?, ?)"_s,
            {door, idno, date, time, type, way, indexKey, u"Y"_s});
    return QueryValue(u"select max(RID) from PSIO"_s).toInt();
}

SearchInput Input(const QString &hint, const QString &value, bool combo = false)
{
    return SearchInput{hint, value, combo};
}

QList<int> ListedRids(const SignEventRecords &records)
{
    QList<int> rids;
    for (int r = 0; r < records.rowCount(); ++r)
        rids << records.Rid(r);
    return rids;
}

} // namespace

class TestSignEventRecords : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void calculatedFields_data();
    void calculatedFields();
    void searchFindsAndCounts_data();
    void searchFindsAndCounts();
    void lookUpColumnsFollowTheStorageKind();
    void titleClickSorts_data();
    void titleClickSorts();
    void editsWaitUntilPostedOrCancelled();
    void deleteOnlyAfterConfirmation();
    void snapshotPathFollowsTheRule_data();
    void snapshotPathFollowsTheRule();
    void snapshotIsFoundUnderEitherLayout_data();
    void snapshotIsFoundUnderEitherLayout();

private:
    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    QList<int> m_rid; // events in insertion order
};

void TestSignEventRecords::init()
{
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    ExecSql(u"PRAGMA synchronous = OFF"_s);
    m_prompter = std::make_unique<ScriptedPrompter>();
    G().CourseNoLength = 11;
    G().CurrentClassKey = ClassKey;
    G().IdnoCaption = IdnoCaption;

    const auto enrol = [](const QString &key, const QString &id, const QString &idno,
                          const QString &name, const QString &hours) {
        ExecSql(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, GHour) values (?, ?, ?, ?, ?)"_s,
                {key, id, idno, name, hours});
    };
    enrol(ClassKey, u"A123456789"_s, u"S0001"_s, u"王小明"_s, u"3"_s);
    enrol(ClassKey, u"F223456780"_s, u"S0002"_s, u"林美惠"_s, u"6"_s);
    enrol(ClassKey, u"H124567890"_s, u"S0003"_s, u"陳志豪"_s, QString());
    enrol(OtherClassKey, u"K198765432"_s, u"S0009"_s, u"王大同"_s, QString());

    const QString lesson1 = u"11301234567A00109:00"_s;
    const QString lesson2 = u"11301234567A00213:30"_s;
    m_rid.clear();
    m_rid << AddEvent(u"A123456789"_s, u"1130506"_s, u"085501"_s, u"0"_s, u"KB"_s, lesson1);
    m_rid << AddEvent(u"F223456780"_s, u"1130506"_s, u"085812"_s, u"0"_s, u"SC"_s, lesson1);
    m_rid << AddEvent(u"A123456789"_s, u"1130506"_s, u"120305"_s, u"1"_s, u"KB"_s, lesson1);
    m_rid << AddEvent(u"A123456789"_s, u"1130506"_s, u"132040"_s, u"2"_s, u"SR"_s, lesson2, u"02"_s);
    m_rid << AddEvent(u"H124567890"_s, u"1130507"_s, u"090010"_s, u"0"_s, u"KB"_s, lesson1);
    m_rid << AddEvent(u"S0002"_s, u"1130507"_s, u"163000"_s, u"3"_s, u"KB"_s, lesson2);
    // Another class's event of a person with the same name beginning.
    m_rid << AddEvent(u"K198765432"_s, u"1130506"_s, u"085900"_s, u"0"_s, u"KB"_s,
                      u"11309999999A00109:00"_s);
}

void TestSignEventRecords::cleanup()
{
    m_prompter.reset();
    m_station.reset();
}

void TestSignEventRecords::calculatedFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("masked identity") << u"CalID"_s << u"1234567890"_s << u"*****67890"_s;
    QTest::newRow("masked short identity") << u"CalID"_s << u"S0001"_s << u"*****"_s;
    QTest::newRow("type 0") << u"IotypeCal"_s << u"0"_s << u"簽到"_s;
    QTest::newRow("type 1") << u"IotypeCal"_s << u"1"_s << u"簽退"_s;
    QTest::newRow("type 2 by caption") << u"IotypeCal"_s << u"2"_s << u"下午到"_s;
    QTest::newRow("type 5 by caption") << u"IotypeCal"_s << u"5"_s << u"晚退"_s;
    QTest::newRow("roll call") << u"IotypeCal"_s << u"9"_s << u"點名"_s;
    QTest::newRow("time card type shown as is") << u"IotypeCal"_s << u"A"_s << u"A"_s;
    QTest::newRow("way keyboard") << u"IOWAYCal"_s << u"KB"_s << u"鍵盤"_s;
    QTest::newRow("way screen") << u"IOWAYCal"_s << u"SC"_s << u"螢幕"_s;
    QTest::newRow("way reader") << u"IOWAYCal"_s << u"SR"_s << u"感應"_s;
    QTest::newRow("way manual shown as is") << u"IOWAYCal"_s << u"IT"_s << u"IT"_s;
    QTest::newRow("Gregorian date") << u"IODateCal"_s << u"1130506"_s << u"2024-05-06"_s;
    QTest::newRow("Gregorian of a leap day") << u"IODateCal"_s << u"1130229"_s << u"2024-02-29"_s;
    QTest::newRow("no such day") << u"IODateCal"_s << u"1130230"_s << QString();
    QTest::newRow("not a date") << u"IODateCal"_s << u"11305"_s << QString();
}

void TestSignEventRecords::calculatedFields()
{
    QFETCH(QString, field);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    SignTypeCaptions captions;
    captions.io3Cap = u"下午到"_s;
    if (field == u"CalID"_s)
        QCOMPARE(MaskedIdno(input), expected);
    else if (field == u"IotypeCal"_s)
        QCOMPARE(SignTypeName(input, captions), expected);
    else if (field == u"IOWAYCal"_s)
        QCOMPARE(SignWayName(input), expected);
    else
        QCOMPARE(GregorianOfRocDate(input), expected);
}

void TestSignEventRecords::searchFindsAndCounts_data()
{
    QTest::addColumn<QString>("storageKind");
    QTest::addColumn<QList<SearchInput>>("inputs");
    QTest::addColumn<QList<int>>("expectedIndexes"); // into m_rid
    QTest::addColumn<QList<int>>("counts");          // types 0 .. 5

    const SearchInput classNo = Input(u"INDEX_KEY"_s, u"11301234567"_s);
    QTest::newRow("the class") << u"身分證字號"_s << QList<SearchInput>{classNo}
                               << QList<int>{0, 1, 2, 3, 4, 5} << QList<int>{3, 1, 1, 1, 0, 0};
    QTest::newRow("name by identity number")
        << u"身分證字號"_s << QList<SearchInput>{classNo, Input(u"Booking->NAME"_s, u"王"_s)}
        << QList<int>{0, 2, 3} << QList<int>{1, 1, 1, 0, 0, 0};
    QTest::newRow("name by personnel number")
        << IdnoCaption << QList<SearchInput>{classNo, Input(u"Booking->NAME"_s, u"林"_s)}
        << QList<int>{5} << QList<int>{0, 0, 0, 1, 0, 0};
    QTest::newRow("name without the class number reaches every class")
        << u"身分證字號"_s << QList<SearchInput>{Input(u"Booking->NAME"_s, u"王"_s)}
        << QList<int>{0, 2, 3, 6} << QList<int>{2, 1, 1, 0, 0, 0};
    QTest::newRow("type from the list item")
        << u"身分證字號"_s << QList<SearchInput>{classNo, Input(u"IOTYPE"_s, u"2"_s, true)}
        << QList<int>{3} << QList<int>{0, 0, 1, 0, 0, 0};
    QTest::newRow("date")
        << u"身分證字號"_s << QList<SearchInput>{classNo, Input(u"IODATE"_s, u"1130507"_s)}
        << QList<int>{4, 5} << QList<int>{1, 0, 0, 1, 0, 0};
    QTest::newRow("date from, way and station")
        << u"身分證字號"_s
        << QList<SearchInput>{classNo, Input(u"IODATE"_s, u">=1130506"_s), Input(u"IOWay"_s, u"KB"_s, true),
                              Input(u"DOOR"_s, u"01"_s)}
        << QList<int>{0, 2, 4, 5} << QList<int>{2, 1, 0, 1, 0, 0};
    QTest::newRow("a name with an apostrophe finds nobody")
        << u"身分證字號"_s << QList<SearchInput>{classNo, Input(u"Booking->NAME"_s, u"O'Neil"_s)}
        << QList<int>{} << QList<int>{0, 0, 0, 0, 0, 0};
}

void TestSignEventRecords::searchFindsAndCounts()
{
    QFETCH(QString, storageKind);
    QFETCH(QList<SearchInput>, inputs);
    QFETCH(QList<int>, expectedIndexes);
    QFETCH(QList<int>, counts);

    SignEventRecords records(m_station->dm());
    records.Open(ClassKey, storageKind, SignTypeCaptions{});
    records.Search(inputs);
    QList<int> expected;
    for (const int i : std::as_const(expectedIndexes))
        expected << m_rid.at(i);
    QCOMPARE(ListedRids(records), expected);
    const QList<int> counted = records.CountByType(inputs);
    QCOMPARE(counted, counts);
    // What is counted is what is listed (roll calls and time cards aside).
    int listed0to5 = 0;
    for (int r = 0; r < records.rowCount(); ++r)
        listed0to5 += records.Value(r, u"IOTYPE"_s).toString() <= u"5"_s ? 1 : 0;
    QCOMPARE(std::accumulate(counted.begin(), counted.end(), 0), listed0to5);
}

void TestSignEventRecords::lookUpColumnsFollowTheStorageKind()
{
    SignEventRecords records(m_station->dm());
    records.Open(ClassKey, u"身分證字號"_s, SignTypeCaptions{});
    records.Search({Input(u"INDEX_KEY"_s, u"11301234567"_s)});
    QCOMPARE(records.headerData(SignEventRecords::ColCalId, Qt::Horizontal).toString(), u"身分證字號"_s);
    const auto cell = [&records](int row, int column) {
        return records.data(records.index(row, column)).toString();
    };
    QCOMPARE(cell(0, SignEventRecords::ColCalId), u"*****56789"_s);
    QCOMPARE(cell(0, SignEventRecords::ColName), u"王小明"_s);
    QCOMPARE(cell(0, SignEventRecords::ColGHour), u"3"_s);
    QCOMPARE(cell(0, SignEventRecords::ColDateCal), u"2024-05-06"_s);
    QCOMPARE(cell(1, SignEventRecords::ColName), u"林美惠"_s);
    // Stored by personnel number: only a station of that kind finds its name.
    QCOMPARE(cell(5, SignEventRecords::ColName), QString());

    records.Open(ClassKey, IdnoCaption, SignTypeCaptions{});
    QCOMPARE(records.headerData(SignEventRecords::ColCalId, Qt::Horizontal).toString(), IdnoCaption);
    QCOMPARE(cell(5, SignEventRecords::ColName), u"林美惠"_s);
    QCOMPARE(cell(5, SignEventRecords::ColGHour), u"6"_s);
    QCOMPARE(cell(0, SignEventRecords::ColName), QString());
}

void TestSignEventRecords::titleClickSorts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("firstSort");
    QTest::addColumn<QList<int>>("ascending"); // indexes into m_rid; descending is the reverse

    QTest::newRow("date, equal dates keep their order")
        << int(SignEventRecords::ColDate) << u"IODATE"_s << QList<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("time") << int(SignEventRecords::ColTime) << u"IOTIME"_s << QList<int>{0, 1, 4, 2, 3, 5};
    QTest::newRow("masked identity sorts by identity")
        << int(SignEventRecords::ColCalId) << u"IDNO"_s << QList<int>{0, 2, 3, 1, 4, 5};
    QTest::newRow("type name sorts by type code")
        << int(SignEventRecords::ColType) << u"IOTYPE"_s << QList<int>{0, 1, 4, 2, 3, 5};
}

void TestSignEventRecords::titleClickSorts()
{
    QFETCH(int, column);
    QFETCH(QString, firstSort);
    QFETCH(QList<int>, ascending);

    SignEventRecords records(m_station->dm());
    records.Open(ClassKey, u"身分證字號"_s, SignTypeCaptions{});
    records.Search({Input(u"INDEX_KEY"_s, u"11301234567"_s)});

    QVERIFY(records.SortByColumn(column));
    QCOMPARE(records.sortText(), firstSort);
    QList<int> expected;
    for (const int i : std::as_const(ascending))
        expected << m_rid.at(i);
    QCOMPARE(ListedRids(records), expected);

    QVERIFY(records.SortByColumn(column));
    QCOMPARE(records.sortText(), firstSort + u" DESC"_s);
    // Descending keys: each row's key is not smaller than the next one's.
    const QString field = firstSort;
    for (int r = 1; r < records.rowCount(); ++r)
        QVERIFY(records.Value(r - 1, field).toString() >= records.Value(r, field).toString());
    if (column == SignEventRecords::ColDate) {
        QCOMPARE(records.Value(0, u"IODATE"_s).toString(), u"1130507"_s);
        QCOMPARE(records.Value(records.rowCount() - 1, u"IODATE"_s).toString(), u"1130506"_s);
    }

    // A look-up column leaves the order alone.
    const QList<int> before = ListedRids(records);
    QVERIFY(!records.SortByColumn(SignEventRecords::ColName));
    QCOMPARE(ListedRids(records), before);
    QCOMPARE(records.sortText(), firstSort + u" DESC"_s);
}

void TestSignEventRecords::editsWaitUntilPostedOrCancelled()
{
    SignEventRecords records(m_station->dm());
    records.Open(ClassKey, u"身分證字號"_s, SignTypeCaptions{});
    records.Search({Input(u"INDEX_KEY"_s, u"11301234567"_s)});
    const auto stored = [](int rid) {
        return QueryValue(u"select IOTIME from PSIO where RID = ?"_s, {rid}).toString();
    };

    // Stored columns can be edited, calculated ones and the clock flag cannot.
    QVERIFY(records.flags(records.index(0, SignEventRecords::ColTime)) & Qt::ItemIsEditable);
    QVERIFY(!(records.flags(records.index(0, SignEventRecords::ColName)) & Qt::ItemIsEditable));
    QVERIFY(!(records.flags(records.index(0, SignEventRecords::ColNtp)) & Qt::ItemIsEditable));
    QVERIFY(!records.setData(records.index(0, SignEventRecords::ColType), u"1"_s));

    // The edit shows at once and is stored only when posted.
    QVERIFY(records.setData(records.index(0, SignEventRecords::ColTime), u"085959"_s));
    QCOMPARE(records.data(records.index(0, SignEventRecords::ColTime)).toString(), u"085959"_s);
    QCOMPARE(stored(m_rid.at(0)), u"085501"_s);
    records.PostPending();
    QVERIFY(!records.hasPendingEdit());
    QCOMPARE(stored(m_rid.at(0)), u"085959"_s);

    // Cancelled: the stored value comes back.
    QVERIFY(records.setData(records.index(1, SignEventRecords::ColTime), u"000000"_s));
    records.CancelPending();
    QCOMPARE(records.data(records.index(1, SignEventRecords::ColTime)).toString(), u"085812"_s);
    QCOMPARE(stored(m_rid.at(1)), u"085812"_s);

    // Editing another row first stores the pending row.
    QVERIFY(records.setData(records.index(1, SignEventRecords::ColTime), u"085800"_s));
    QVERIFY(records.setData(records.index(2, SignEventRecords::ColTime), u"120000"_s));
    QCOMPARE(stored(m_rid.at(1)), u"085800"_s);
    QCOMPARE(records.pendingRow(), 2);
    records.CancelPending();

    // Too long for the column: refused with a message, nothing pending.
    QVERIFY(!records.setData(records.index(0, SignEventRecords::ColTime), u"0859591"_s));
    QVERIFY(!records.hasPendingEdit());
    QCOMPARE(m_prompter->messages.value(0), u"「時間」最多 6 個字"_s);
}

void TestSignEventRecords::deleteOnlyAfterConfirmation()
{
    SignEventRecords records(m_station->dm());
    records.Open(ClassKey, u"身分證字號"_s, SignTypeCaptions{});
    records.Search({Input(u"INDEX_KEY"_s, u"11301234567"_s)});
    const auto exists = [](int rid) {
        return QueryValue(u"select count(*) from PSIO where RID = ?"_s, {rid}).toInt() == 1;
    };

    m_prompter->queueButton(Prompter::Button::No);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, records.DeleteRow(1));
    QCOMPARE(m_prompter->asked.value(0), u"是否確定刪除此筆資料?"_s);
    QVERIFY(exists(m_rid.at(1)));
    QCOMPARE(records.rowCount(), 6);

    // A pending edit of the deleted row goes with it; that of a later row moves up with it.
    QVERIFY(records.setData(records.index(3, SignEventRecords::ColTime), u"132041"_s));
    m_prompter->queueButton(Prompter::Button::Yes);
    records.DeleteRow(1);
    QVERIFY(!exists(m_rid.at(1)));
    QCOMPARE(records.rowCount(), 5);
    QCOMPARE(records.Rid(1), m_rid.at(2));
    QCOMPARE(records.pendingRow(), 2);
    records.PostPending();
    QCOMPARE(QueryValue(u"select IOTIME from PSIO where RID = ?"_s, {m_rid.at(3)}).toString(), u"132041"_s);
}

void TestSignEventRecords::snapshotPathFollowsTheRule_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("expected");
    const QString name = ClassKey + u"A1234567891130506085501"_s + u"0KB.jpg"_s;
    QTest::newRow("by class number") << u"課程編號"_s << u"/pics/11301234567/PIC/"_s + name;
    QTest::newRow("by year and month of the event") << u"年月"_s << u"/pics/11305/"_s + name;
    QTest::newRow("other rule keeps the station's folder") << u"x"_s << u"/pics/cur/"_s + name;
}

void TestSignEventRecords::snapshotPathFollowsTheRule()
{
    QFETCH(QString, rule);
    QFETCH(QString, expected);
    SignEventRecords records(m_station->dm());
    records.Open(ClassKey, u"身分證字號"_s, SignTypeCaptions{});
    records.Search({Input(u"INDEX_KEY"_s, u"11301234567"_s)});
    QCOMPARE(QDir::fromNativeSeparators(records.SnapshotPath(0, u"/pics"_s, rule, u"cur"_s, 11)), expected);
    QCOMPARE(records.SnapshotPath(0, QString(), rule, u"cur"_s, 11), QString());
    QCOMPARE(records.SnapshotPath(99, u"/pics"_s, rule, u"cur"_s, 11), QString());
}

// The station's rule can have changed since a snapshot was filed (the first save of the settings
// window turns "年月" into "課程編號"): the snapshot is found under either layout.
void TestSignEventRecords::snapshotIsFoundUnderEitherLayout_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("filedUnder"); // sub-folder of the picture folder, "" = nowhere
    QTest::addColumn<bool>("found");

    QTest::newRow("filed by month, read by class number") << u"課程編號"_s << u"11305"_s << true;
    QTest::newRow("filed by class number, read by month") << u"年月"_s << u"11301234567/PIC"_s << true;
    QTest::newRow("filed by month, read by month") << u"年月"_s << u"11305"_s << true;
    QTest::newRow("filed in the station's own folder") << u"x"_s << u"cur"_s << true;
    QTest::newRow("filed by the month of another date") << u"課程編號"_s << u"11304"_s << false;
    QTest::newRow("nowhere") << u"課程編號"_s << u""_s << false;
}

void TestSignEventRecords::snapshotIsFoundUnderEitherLayout()
{
    QFETCH(QString, rule);
    QFETCH(QString, filedUnder);
    QFETCH(bool, found);

    const QString pictures = m_station->dir() + u"/pics"_s;
    const QString name = ClassKey + u"A1234567891130506085501"_s + u"0KB.jpg"_s;
    QString filed;
    if (!filedUnder.isEmpty()) {
        filed = pictures + u'/' + filedUnder + u'/' + name;
        QVERIFY(QDir().mkpath(pictures + u'/' + filedUnder));
        QFile file(filed);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("jpeg");
    }
    SignEventRecords records(m_station->dm());
    records.Open(ClassKey, u"身分證字號"_s, SignTypeCaptions{});
    records.Search({Input(u"INDEX_KEY"_s, u"11301234567"_s)});
    const QString path = records.FindSnapshotOf(0, pictures, rule, u"cur"_s, 11);
    QCOMPARE(QDir::fromNativeSeparators(path), found ? filed : QString());
    QCOMPARE(records.FindSnapshotOf(0, QString(), rule, u"cur"_s, 11), QString());
}

QTEST_GUILESS_MAIN(TestSignEventRecords)
#include "tst_signeventrecords.moc"
