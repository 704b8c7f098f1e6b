// The three sign-in sheets: page columns and group positions, masked identities, PDF file names,
// and each sheet laid out and written as PDF for a class of twenty persons, read back through
// its text (pdftotext) and its picture cells.

#include "core/DbFunctions.h"
#include "SignSheetFixture.h"
#include "base/Globals.h"
#include "mock/TestDatabase.h"
#include "reports/SignSheets.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
namespace F = SignSheetFixture;

Q_DECLARE_METATYPE(SignSheetKind)

namespace {

QString PdfText(const QString &pdf)
{
    const QString tool = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (tool.isEmpty())
        return QString();
    QProcess process;
    process.start(tool, { u"-layout"_s, pdf, u"-"_s });
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The objects of a printed row, by name.
const ReportObject &RowObject(const ReportLayout &layout, int row, const QString &name)
{
    const ReportPlacedBand *band = layout.rowBand(row);
    const ReportObject *o = band ? band->findObject(name) : nullptr;
    if (!o)
        qFatal("row %d has no object %s", row, qPrintable(name));
    return *o;
}

const ReportObject &TemplateObject(const ReportTemplate &t, const QString &name)
{
    const ReportObject *o = t.findObject(name);
    if (!o)
        qFatal("the template has no object %s", qPrintable(name));
    return *o;
}

int RowOf(const SignSheetOutput &sheet, const QString &id)
{
    for (int row = 0; row < sheet.Layout.rows.size(); ++row) {
        const ReportObject &o = RowObject(sheet.Layout, row, u"PersonId"_s);
        if (o.text.endsWith(id.mid(5, 5)))
            return row;
    }
    return -1;
}

} // namespace

class TestSignSheets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void plan_data();
    void plan();
    void groupsFitTheirPageColumn_data();
    void groupsFitTheirPageColumn();
    void maskedIdentity_data();
    void maskedIdentity();
    void clockText_data();
    void clockText();
    void pdfFileName_data();
    void pdfFileName();

    void sheetPrintsHeaderAndRows_data();
    void sheetPrintsHeaderAndRows();
    void photoSheetPicturesFollowTheirTimes();
    void snapshotsOffShowThePlaceholder();
    void classWithoutLessons();
    void everyPlanFitsItsPageColumn_data();
    void everyPlanFitsItsPageColumn();

private:
    SignSheetOutput Prepare(SignSheetKind kind, bool photoOn = true, const QString &pp = QString());
    SignSheetPlaces Places() const;

    std::unique_ptr<TestDatabase> m_db;
    QString m_picDir;
    QString m_pdfDir;
    QString m_yearMonthDir;
    QString m_noSign;
    QList<F::Person> m_people;
};

void TestSignSheets::initTestCase()
{
    m_db = std::make_unique<TestDatabase>();
    const QString work = m_db->dir() + u"/Work.db"_s;
    const QString build = qEnvironmentVariable("ROLVAN_BUILD_DIR");
    QVERIFY(QFile::copy(build + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_db->dm(), work, &error), qPrintable(error));
    m_db->globals().CurrentClassKey = F::ClassKey;
    m_db->globals().OrganisationName = u"臺北市職業安全衛生訓練中心"_s;

    m_picDir = m_db->dir() + u"/pictures/11300001201/PIC"_s;
    m_pdfDir = m_db->dir() + u"/pictures/11300001201/PDF"_s;
    m_yearMonthDir = m_db->dir() + u"/pictures/11309"_s;
    QVERIFY(QDir().mkpath(m_picDir) && QDir().mkpath(m_pdfDir) && QDir().mkpath(m_yearMonthDir));
    m_noSign = build + u"/NoSign.jpg"_s;
    QVERIFY2(QFile::exists(m_noSign), qPrintable(m_noSign));

    F::AddClass();
    F::AddLesson();
    m_people = F::People(18);
    F::AddBookings(m_people);
    QVERIFY(F::AddEvents(m_people, m_picDir) > 80);
    // One snapshot lies in the year-and-month folder of the station's other folder rule.
    const QString moved = SignRecorder::SnapshotFileName(
        F::ClassKey, m_people.at(0).id, F::DayRoc, u"130500"_s, u"2"_s, u"KB"_s);
    QVERIFY(QFile::rename(m_picDir + u'/' + moved, m_yearMonthDir + u'/' + moved));
}

void TestSignSheets::cleanupTestCase() { m_db.reset(); }

SignSheetPlaces TestSignSheets::Places() const
{
    SignSheetPlaces places;
    places.PicDir = m_picDir;
    places.PdfDir = m_pdfDir;
    places.YearMonthDir = m_yearMonthDir;
    places.NoSignFile = m_noSign;
    places.OrganisationName = G().OrganisationName;
    return places;
}

SignSheetOutput TestSignSheets::Prepare(SignSheetKind kind, bool photoOn, const QString &pp)
{
    const SheetChoice choice { F::SheetDate, F::LessonKey, F::FullKey };
    return PrepareSignSheet(
        m_db->dm().Con1(), kind, F::ClassKey, choice, ReportSettings(), photoOn,
        [this](const SheetData &) { return Places(); }, pp);
}

// ---- Rules ----------------------------------------------------------------------------------

void TestSignSheets::plan_data()
{
    QTest::addColumn<SignSheetKind>("kind");
    QTest::addColumn<QString>("signType");
    QTest::addColumn<QString>("rollCallText");
    QTest::addColumn<int>("pageColumns");
    QTest::addColumn<QString>("shown"); // groups shown, morning to evening
    QTest::addColumn<QList<int>>("order"); // the shown groups from left to right
    QTest::addColumn<qreal>("groupWidth");

    const auto photo = SignSheetKind::Photo;
    const auto simple = SignSheetKind::Simple;
    const auto roll = SignSheetKind::RollCall;
    QTest::newRow("photo, whole day and evening")
        << photo << u"111111"_s << QString() << 1 << u"111"_s << QList<int> { 0, 1, 2 }
        << PhotoGroupWidth;
    QTest::newRow("photo, morning and afternoon")
        << photo << u"111100"_s << QString() << 2 << u"110"_s << QList<int> { 0, 1 }
        << PhotoGroupWidth;
    QTest::newRow("photo, morning and evening")
        << photo << u"110011"_s << QString() << 2 << u"101"_s << QList<int> { 0, 2 }
        << PhotoGroupWidth;
    QTest::newRow("photo, afternoon only moves left")
        << photo << u"001100"_s << QString() << 3 << u"010"_s << QList<int> { 1 }
        << PhotoGroupWidth;
    QTest::newRow("photo, evening only") << photo << u"000011"_s << QString() << 3 << u"001"_s
                                         << QList<int> { 2 } << PhotoGroupWidth;
    QTest::newRow("photo, odd count keeps one column")
        << photo << u"111000"_s << QString() << 1 << u"110"_s << QList<int> { 0, 1 }
        << PhotoGroupWidth;
    QTest::newRow("simple, afternoon only moves left")
        << simple << u"001100"_s << QString() << 3 << u"010"_s << QList<int> { 1 }
        << SimpleGroupWidth;
    QTest::newRow("simple, whole day") << simple << u"111100"_s << QString() << 2 << u"110"_s
                                       << QList<int> { 0, 1 } << SimpleGroupWidth;
    QTest::newRow("roll call R1 R2 R3")
        << roll << QString() << u"(09:30)(14:00)(19:30)"_s << 2 << u"111"_s
        << QList<int> { 0, 1, 2 } << RollCallColumnWidth;
    QTest::newRow("roll call R1 and R3 side by side")
        << roll << QString() << u"(09:30)(19:30)"_s << 3 << u"101"_s << QList<int> { 0, 2 }
        << RollCallColumnWidth;
    QTest::newRow("roll call R2 only") << roll << QString() << u"(14:00)"_s << 4 << u"010"_s
                                       << QList<int> { 1 } << RollCallColumnWidth;
    QTest::newRow("roll call none")
        << roll << QString() << QString() << 1 << u"000"_s << QList<int> {} << RollCallColumnWidth;
}

void TestSignSheets::plan()
{
    QFETCH(SignSheetKind, kind);
    QFETCH(QString, signType);
    QFETCH(QString, rollCallText);
    QFETCH(int, pageColumns);
    QFETCH(QString, shown);
    QFETCH(QList<int>, order);
    QFETCH(qreal, groupWidth);

    // The mask the sheet data derives from the roll-call times.
    QString mask = u"000"_s;
    const QStringList times = rollCallText.split(u')', Qt::SkipEmptyParts);
    for (const QString &t : times) {
        const int hour = t.mid(1, 2).toInt();
        mask[hour <= 12 ? 0 : hour <= 18 ? 1 : 2] = u'1';
    }
    if (kind == SignSheetKind::RollCall)
        QCOMPARE(RollCallPageColumns(rollCallText), pageColumns);
    else
        QCOMPARE(SheetPageColumns(signType), pageColumns);

    const SignSheetPlan plan = PlanSignSheet(kind, signType, mask, rollCallText);
    QCOMPARE(plan.pageColumns, pageColumns);
    QCOMPARE(plan.columnWidth, 196.0 / pageColumns);
    for (int k = 0; k < 3; ++k)
        QCOMPARE(plan.groupVisible[k], shown.at(k) == u'1');
    // Each shown group sits directly right of the previous one, the first right of the lead cells.
    qreal left = plan.leadWidth;
    for (int k : order) {
        QCOMPARE(plan.groupLeft[k], left);
        left += groupWidth;
    }
    QVERIFY2(left <= plan.columnWidth, qPrintable(u"%1 > %2"_s.arg(left).arg(plan.columnWidth)));
}

void TestSignSheets::groupsFitTheirPageColumn_data()
{
    QTest::addColumn<QString>("signType");
    QTest::addColumn<int>("pageColumns");

    // Sign-ins without sign-outs: the count rule asks for more columns than the groups fit.
    QTest::newRow("three groups, four kinds") << u"101011"_s << 1;
    QTest::newRow("two groups, two kinds") << u"101000"_s << 2;
}

void TestSignSheets::groupsFitTheirPageColumn()
{
    QFETCH(QString, signType);
    QFETCH(int, pageColumns);

    const SignSheetPlan plan = PlanSignSheet(SignSheetKind::Photo, signType, u"000"_s, QString());
    QCOMPARE(plan.pageColumns, pageColumns);
    qreal right = 0;
    for (int k = 0; k < 3; ++k) {
        if (plan.groupVisible[k])
            right = qMax(right, plan.groupLeft[k] + PhotoGroupWidth);
    }
    QVERIFY(right <= plan.columnWidth);
    QVERIFY(!plan.morningSignOutPicture);
}

void TestSignSheets::maskedIdentity_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("jobType");
    QTest::addColumn<QString>("printed");

    QTest::newRow("student") << u"A123456789"_s << u"學員"_s << u"*****56789"_s;
    QTest::newRow("lecturer") << u"A123456789"_s << u"講師"_s << u"講師56789"_s;
    QTest::newRow("lecturer with blanks") << u"A123456789"_s << u"講師  "_s << u"講師56789"_s;
    QTest::newRow("short identity") << u"A1234"_s << u"學員"_s << u"*****"_s;
    QTest::newRow("personnel number") << u"E00123"_s << QString() << u"*****3"_s;
}

void TestSignSheets::maskedIdentity()
{
    QFETCH(QString, id);
    QFETCH(QString, jobType);
    QFETCH(QString, printed);
    QCOMPARE(MaskedSheetIdentity(id, jobType), printed);
}

void TestSignSheets::clockText_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("printed");
    QTest::newRow("six digits") << u"085512"_s << u"08:55"_s;
    QTest::newRow("cut to five") << u"08550"_s << u"08:55"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blank") << u"      "_s << QString();
}

void TestSignSheets::clockText()
{
    QFETCH(QString, time);
    QFETCH(QString, printed);
    QCOMPARE(SheetClockText(time), printed);
}

void TestSignSheets::pdfFileName_data()
{
    QTest::addColumn<SignSheetKind>("kind");
    QTest::addColumn<QString>("fullKey");
    QTest::addColumn<QString>("pp");
    QTest::addColumn<QString>("file");

    QTest::newRow("roll call") << SignSheetKind::RollCall << u"11300001201A10109:00"_s << u"點名"_s
                               << u"11300001201A1010900_1130905(四)點名.pdf"_s;
    QTest::newRow("photo") << SignSheetKind::Photo << u"11300001201A10109:00"_s << QString()
                           << u"11300001201A1010900_1130905(四)Pic.pdf"_s;
    QTest::newRow("simple, class without lessons") << SignSheetKind::Simple << u"11300001201"_s
                                                   << QString() << u"11300001201_1130905(四).pdf"_s;
    QTest::newRow("key with separators stays in the folder")
        << SignSheetKind::Simple << u"113/../A\\1:09:00"_s << QString()
        << u"113_.._A_10900_1130905(四).pdf"_s;
}

void TestSignSheets::pdfFileName()
{
    QFETCH(SignSheetKind, kind);
    QFETCH(QString, fullKey);
    QFETCH(QString, pp);
    QFETCH(QString, file);
    QCOMPARE(SheetPdfFileName(u"/data/PDF"_s, fullKey, u"1130905(四)"_s, pp, SheetPdfSuffix(kind)),
        JoinPath(u"/data/PDF"_s, file));
}

// ---- Sheets ---------------------------------------------------------------------------------

void TestSignSheets::sheetPrintsHeaderAndRows_data()
{
    QTest::addColumn<SignSheetKind>("kind");
    QTest::addColumn<QString>("pp");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("pageColumns");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");

    const QStringList common { u"主辦單位：臺北市職業安全衛生訓練中心"_s, u"講習編號"_s,
        F::ClassKey, u"1130905(四)"_s, u"09:00-16:00"_s, u"堆高機安全作業與法規"_s, u"應到"_s,
        u"上課地點"_s, u"延平南路"_s, u"課程備註"_s, u"實作課程請著工作服"_s, u"點名時間"_s,
        u"(09:30)(14:00)"_s, u"王小明"_s, u"*****50000"_s, u"講師98765"_s, u"Page: 1"_s };
    QTest::newRow("photo") << SignSheetKind::Photo << QString()
                           << u"11300001201A1010900_1130905(四)Pic.pdf"_s << 2
                           << common
            + QStringList { u"講習課程簽到單(照片)"_s, u"時數"_s, u"實到"_s, u"缺席"_s, u"身分證"_s,
                  u"電話"_s, u"簽到影像"_s, u"簽退影像"_s, u"0912345000"_s, u"08:50"_s, u"12:05"_s,
                  u"13:05"_s, u"遲到"_s, u"早退"_s }
                           << QStringList { u"早點"_s, u"晚點"_s, u"晚上"_s };
    QTest::newRow("simple") << SignSheetKind::Simple << QString()
                            << u"11300001201A1010900_1130905(四).pdf"_s << 2
                            << common
            + QStringList { u"講習課程簽到單(簡式)"_s, u"時數"_s, u"實到"_s, u"缺席"_s, u"身分證"_s,
                  u"姓名"_s, u"簽到"_s, u"簽退"_s, u"08:50"_s, u"16:05"_s, u"遲到"_s }
                            << QStringList { u"早點"_s, u"0912345000"_s, u"簽到影像"_s };
    QTest::newRow("roll call") << SignSheetKind::RollCall << u"點名"_s
                               << u"11300001201A1010900_1130905(四)點名.pdf"_s << 3
                               << common
            + QStringList {
                  u"講習課程簽到單(點名)"_s, u"早點"_s, u"午點"_s, u"晚點"_s, u"點名簽到"_s,
                  u"早點影像"_s, u"午點影像"_s, u"0912345000"_s, u"早 09:30"_s, u"午 14:05"_s
              } << QStringList { u"時數"_s, u"實到"_s, u"缺席"_s, u"晚點影像"_s, u"12:05"_s };
}

void TestSignSheets::sheetPrintsHeaderAndRows()
{
    QFETCH(SignSheetKind, kind);
    QFETCH(QString, pp);
    QFETCH(QString, file);
    QFETCH(int, pageColumns);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);

    const SignSheetOutput sheet = Prepare(kind, true, pp);
    QVERIFY(sheet.Message.isEmpty());
    QCOMPARE(sheet.Data.SheetSignType, u"111100"_s);
    QCOMPARE(sheet.PdfFileName, JoinPath(m_pdfDir, file));
    QCOMPARE(sheet.Template.columns, pageColumns);
    // Eighteen students, the teacher and the lecturer who signed in, students first.
    QCOMPARE(sheet.Layout.rows.size(), 20);
    QCOMPARE(RowObject(sheet.Layout, 0, u"PersonName"_s).text, u"王小明"_s);
    QCOMPARE(RowObject(sheet.Layout, 18, u"PersonId"_s).text, u"講師98765"_s);
    QCOMPARE(RowObject(sheet.Layout, 19, u"PersonId"_s).text, u"講師56789"_s);
    // Every page column holds rows before the next starts; the header counts are the data's.
    QCOMPARE(sheet.Data.Expected, 18);
    QCOMPARE(sheet.Data.Present, 18);

    ExportReportPdf(sheet.Layout, sheet.PdfFileName);
    QVERIFY(QFile::exists(sheet.PdfFileName));
    if (const QString shots = qEnvironmentVariable("ROLVAN_SHOTS_DIR"); !shots.isEmpty()) {
        QDir().mkpath(shots);
        QFile::remove(shots + u'/' + file);
        QFile::copy(sheet.PdfFileName, shots + u'/' + file);
    }
    const QString text = PdfText(sheet.PdfFileName);
    if (text.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    for (const QString &expected : present)
        QVERIFY2(
            text.contains(expected), qPrintable(expected + u" missing in:\n"_s + text.left(3000)));
    for (const QString &unexpected : absent)
        QVERIFY2(!text.contains(unexpected),
            qPrintable(unexpected + u" printed in:\n"_s + text.left(3000)));
}

void TestSignSheets::photoSheetPicturesFollowTheirTimes()
{
    const SignSheetOutput sheet = Prepare(SignSheetKind::Photo);
    // Student 0 signed in, out, back and out again; student 3 never signed in in the morning.
    const int first = RowOf(sheet, m_people.at(0).id);
    const int noSignIn = RowOf(sheet, m_people.at(3).id);
    const int teacher = RowOf(sheet, F::TeacherId);
    QVERIFY(first >= 0 && noSignIn >= 0 && teacher >= 0);
    const auto snapshot = [&](int person, const QString &time, const QString &type) -> QString {
        return m_picDir + QDir::separator()
            + SignRecorder::SnapshotFileName(
                F::ClassKey, m_people.at(person).id, F::DayRoc, time, type, u"KB"_s);
    };
    QCOMPARE(
        RowObject(sheet.Layout, first, u"AmPicIn"_s).pictureFile, snapshot(0, u"085000"_s, u"0"_s));
    QCOMPARE(RowObject(sheet.Layout, first, u"AmPicOut"_s).pictureFile,
        snapshot(0, u"120500"_s, u"1"_s));
    // The afternoon sign-in snapshot was found in the year-and-month folder.
    QCOMPARE(RowObject(sheet.Layout, first, u"PmPicIn"_s).pictureFile,
        m_yearMonthDir + QDir::separator()
            + SignRecorder::SnapshotFileName(
                F::ClassKey, m_people.at(0).id, F::DayRoc, u"130500"_s, u"2"_s, u"KB"_s));
    QVERIFY(!RowObject(sheet.Layout, first, u"AmPicIn"_s).picture.isNull());
    QCOMPARE(RowObject(sheet.Layout, first, u"AmIn"_s).text, u"08:50"_s);
    QCOMPARE(RowObject(sheet.Layout, noSignIn, u"AmPicIn"_s).pictureFile, m_noSign);
    QCOMPARE(RowObject(sheet.Layout, noSignIn, u"AmIn"_s).text, QString());
    QCOMPARE(RowObject(sheet.Layout, noSignIn, u"AmPicOut"_s).pictureFile,
        snapshot(3, u"120500"_s, u"1"_s));
    QCOMPARE(RowObject(sheet.Layout, teacher, u"AmPicIn"_s).pictureFile, m_noSign);
    // Late and early marks of the data; the evening group is not printed.
    const int late = RowOf(sheet, m_people.at(5).id);
    QCOMPARE(RowObject(sheet.Layout, late, u"AmLate"_s).text, u"遲到"_s);
    QCOMPARE(
        RowObject(sheet.Layout, RowOf(sheet, m_people.at(4).id), u"AmEarly"_s).text, u"早退"_s);
    QVERIFY(!RowObject(sheet.Layout, first, u"EvPicIn"_s).visible);
    // The groups fill the page column next to the person cells and stay inside it.
    const qreal lead = RowObject(sheet.Layout, first, u"PersonBox"_s).rect.width();
    QCOMPARE(RowObject(sheet.Layout, first, u"AmPicIn"_s).rect.left(), lead);
    QCOMPARE(RowObject(sheet.Layout, first, u"PmPicIn"_s).rect.left(), lead + PhotoGroupWidth);
    QVERIFY(RowObject(sheet.Layout, first, u"PmPicOut"_s).rect.right() <= 98.0);
}

void TestSignSheets::snapshotsOffShowThePlaceholder()
{
    const SignSheetOutput sheet = Prepare(SignSheetKind::RollCall, false, u"點名"_s);
    for (int row = 0; row < sheet.Layout.rows.size(); ++row) {
        QCOMPARE(RowObject(sheet.Layout, row, u"AmRollPic"_s).pictureFile, m_noSign);
        QCOMPARE(RowObject(sheet.Layout, row, u"PmRollPic"_s).pictureFile, m_noSign);
    }
    // Times print all the same, and only the roll calls the lesson has are counted in the header.
    QCOMPARE(RowObject(sheet.Layout, 0, u"RollTime1"_s).text, u"早 09:30"_s);
    QCOMPARE(TemplateObject(sheet.Template, u"MorningRollCalls"_s).text,
        QString::number(sheet.Data.MorningRollCalls));
    QVERIFY(sheet.Data.MorningRollCalls > 0);
    QCOMPARE(TemplateObject(sheet.Template, u"EveningRollCalls"_s).text, QString());
}

void TestSignSheets::classWithoutLessons()
{
    // A second class on its own, without lessons: its sheets print for its start date without a
    // course choice and take their values from the class row; its roll-call sheet stops.
    const QString key = u"1130000130101"_s;
    ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, "
            u"TimeEnd, TotHours, "
            "SignType, Place, CourseContent) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
        { u"11300001301"_s, u"01"_s, u"急救人員訓練"_s, u"2024/09/10"_s, u"2024/09/10"_s,
            u"13:30"_s, u"16:30"_s, u"3"_s, u"001100"_s, u"第三教室"_s, u"下午班"_s });
    ExecSql(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, JOBTYPE) values (?, ?, ?, ?, ?)"_s,
        { key, u"B223456781"_s, u"B223456781"_s, u"林小芳"_s, u"學員"_s });
    QVERIFY(!SheetNeedsCourseChoice(m_db->dm().Con1(), key));

    const SheetChoice aborted { u"abort"_s, QString(), QString() };
    const auto places = [this](const SheetData &) { return Places(); };
    const SignSheetOutput simple = PrepareSignSheet(
        m_db->dm().Con1(), SignSheetKind::Simple, key, aborted, ReportSettings(), true, places, QString());
    QVERIFY(simple.Message.isEmpty());
    QCOMPARE(simple.PdfFileName, JoinPath(m_pdfDir, u"11300001301_1130910(二).pdf"_s));
    QCOMPARE(TemplateObject(simple.Template, u"ClassTime"_s).text, u"13:30-16:30"_s);
    QCOMPARE(TemplateObject(simple.Template, u"Subject"_s).text, u"急救人員訓練"_s);
    QCOMPARE(TemplateObject(simple.Template, u"Hours"_s).text, u"3"_s);
    QCOMPARE(TemplateObject(simple.Template, u"CourseContent"_s).text, u"下午班"_s);
    QCOMPARE(simple.Template.columns, 3);
    QVERIFY(!TemplateObject(simple.Template, u"AmLate"_s).visible);
    QCOMPARE(TemplateObject(simple.Template, u"PmInBox"_s).rect.left(),
        TemplateObject(simple.Template, u"PersonName"_s).rect.right());
    QCOMPARE(simple.Layout.rows.size(), 1);

    const SignSheetOutput roll = PrepareSignSheet(
        m_db->dm().Con1(), SignSheetKind::RollCall, key, aborted, ReportSettings(), true, places, u"點名"_s);
    QCOMPARE(roll.Message, u"點名作業 需有設定課程明細"_s);
    QCOMPARE(roll.Layout.pageCount(), 0);
    QVERIFY(roll.PdfFileName.isEmpty());
}

void TestSignSheets::everyPlanFitsItsPageColumn_data()
{
    QTest::addColumn<SignSheetKind>("kind");
    QTest::addColumn<QString>("signType");
    QTest::addColumn<QString>("rollCallText");
    QTest::addColumn<int>("pageColumns");

    const QList<std::pair<QString, int>> signTypes { { u"111111"_s, 1 }, { u"111100"_s, 2 },
        { u"110011"_s, 2 }, { u"001100"_s, 3 }, { u"101011"_s, 1 } };
    for (const auto &[signType, columns] : signTypes) {
        QTest::addRow("photo %s", qPrintable(signType))
            << SignSheetKind::Photo << signType << QString() << columns;
        QTest::addRow("simple %s", qPrintable(signType))
            << SignSheetKind::Simple << signType << QString() << columns;
    }
    QTest::newRow("roll call, three")
        << SignSheetKind::RollCall << QString() << u"(09:30)(14:00)(19:30)"_s << 2;
    QTest::newRow("roll call, two")
        << SignSheetKind::RollCall << QString() << u"(09:30)(19:30)"_s << 3;
    QTest::newRow("roll call, one") << SignSheetKind::RollCall << QString() << u"(14:00)"_s << 4;
}

void TestSignSheets::everyPlanFitsItsPageColumn()
{
    QFETCH(SignSheetKind, kind);
    QFETCH(QString, signType);
    QFETCH(QString, rollCallText);
    QFETCH(int, pageColumns);

    // The rows of the fixture, many times over, so that every page column fills.
    const SignSheetOutput sheet = Prepare(kind);
    QList<QSqlRecord> rows;
    const QList<QSqlRecord> once
        = OpenADOBooking(m_db->dm().Con1(), F::ClassKey, sheet.Data.TeacherID, sheet.Data.LecturerIds);
    for (int n = 0; n < 12; ++n)
        rows += once;
    QString mask = u"000"_s;
    for (const QString &t : rollCallText.split(u')', Qt::SkipEmptyParts)) {
        const int hour = t.mid(1, 2).toInt();
        mask[hour <= 12 ? 0 : hour <= 18 ? 1 : 2] = u'1';
    }
    ReportTemplate t = SignSheetTemplate(kind);
    SignSheetHeader header = SignSheetHeaderValues(kind, sheet.Data, G().OrganisationName);
    header.RollCallText = rollCallText;
    ApplySignSheetHeader(t, kind, header);
    ApplySignSheetPlan(t, kind, PlanSignSheet(kind, signType, mask, rollCallText));
    QCOMPARE(t.columns, pageColumns);
    t.setVariable(u"imagePath"_s, QString(m_picDir + QDir::separator()));
    t.setVariable(u"noSign"_s, m_noSign);
    const ReportLayout layout = LayoutReport(t, ReportDataset::FromRecords(rows));

    // Every printed cell stays inside its page column, and the columns of a page are used.
    QVERIFY(!layout.rowsIn(0, pageColumns - 1).isEmpty());
    for (const ReportPage &page : layout.pages) {
        for (const ReportPlacedBand &band : page.bands) {
            if (band.kind != ReportBandKind::MasterData
                && band.kind != ReportBandKind::ColumnHeader)
                continue;
            for (const ReportObject &o : band.objects) {
                if (o.visible)
                    QVERIFY2(o.rect.left() >= 0 && o.rect.right() <= band.rect.width() + 1e-6,
                        qPrintable(u"%1 ends at %2 of %3"_s.arg(o.name)
                                       .arg(o.rect.right())
                                       .arg(band.rect.width())));
            }
        }
    }
    if (const QString shots = qEnvironmentVariable("ROLVAN_SHOTS_DIR"); !shots.isEmpty()) {
        QDir().mkpath(shots);
        ExportReportPdf(layout,
            shots + u"/plan-"_s
                + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_').remove(u',')
                + u".pdf"_s);
    }
}

QTEST_MAIN(TestSignSheets)
#include "tst_signsheets.moc"
