// The enrolment records window offscreen on a class of thirty persons, some signed in: titles
// and fields from the personnel layout, the manual sign-in by double-click with the sign-in
// counter, the search by the end of the identity, a new person, a change, "全刪" after a
// name search, and the sign-in column of an afternoon-only class.

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/FormHelpers.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/TfmInitiative.h"
#include "station/StationState.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"1130500000101"_s;

void SaveShot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name, "PNG");
}

int CountOf(const QString &sql, const QVariantList &params = {})
{
    return QueryValue(sql, params).toInt();
}

// The grid row (view order) of a person.
int RowOf(TfmInitiative &window, int rid)
{
    QAbstractItemModel *model = window.DBGrid1->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int c = 0; c < model->columnCount(); ++c) {
            // (A column without a title of its own shows its field name, lower case on PostgreSQL.)
            if (model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().compare(u"RID"_s, Qt::CaseInsensitive) == 0
                && model->index(row, c).data().toInt() == rid)
                return row;
        }
    }
    return -1;
}

QString HeaderOf(TfmInitiative &window, const QString &field)
{
    const int c = window.GridColumnOf(field);
    return c < 0 ? QString() : window.DBGrid1->model()->headerData(c, Qt::Horizontal).toString();
}

} // namespace

class TestTfmInitiative : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void listSignInEditAndDelete();
    void handSignInGoesToTheLessonInProgress_data();
    void handSignInGoesToTheLessonInProgress();
    void closingWithUnsavedInputAsks();

private:
    // A class with two lessons today (A001 09:00-12:00, A002 13:00-16:00) and one person.
    int OpenClassWithLessons(const QTime &at);
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<FixedClock> m_clock;
};

void TestTfmInitiative::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTfmInitiative::cleanup()
{
    m_db.reset();
    SetCurrentClock(nullptr);
}

void TestTfmInitiative::listSignInEditAndDelete()
{
    m_db = std::make_unique<TestDatabase>();
    const QString work = m_db->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_db->dm(), work, &error), qPrintable(error));
    if (!TestBackend::UsesPostgres())
        ExecSql(u"PRAGMA synchronous = OFF"_s);
    Globals &g = G();
    g.EditionText = u"客製版"_s;
    g.VersionText = u" 1.0.0"_s;
    g.IdnoCaption = u"會員編號"_s;
    g.CurrentClassKey = ClassKey;
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2024, 5, 7), QTime(8, 52, 10)));
    SetCurrentClock(m_clock.get());
    ScriptedPrompter prompter;

    ExecSql(u"insert into Courses (CourseId, Echelon, Course, SignType, Bookin) values (?, ?, ?, ?, ?)"_s,
            { u"11305000001"_s, u"01"_s, u"堆高機操作人員安全衛生教育訓練"_s, u"111100"_s, false });
    const QStringList names {
        u"陳建宏"_s, u"林怡君"_s, u"黃志明"_s, u"張美玲"_s, u"李文雄"_s, u"王淑芬"_s, u"吳俊傑"_s,
        u"劉雅婷"_s, u"蔡宗翰"_s, u"楊佩珊"_s, u"許家豪"_s, u"鄭秀英"_s, u"謝承恩"_s, u"郭玉珍"_s,
        u"洪國華"_s, u"邱惠美"_s, u"曾志偉"_s, u"廖婉婷"_s, u"賴建志"_s, u"徐靜怡"_s, u"周明輝"_s,
        u"葉淑娟"_s, u"蘇俊賢"_s, u"莊麗華"_s, u"呂冠宇"_s, u"陳怡萱"_s, u"陳柏翰"_s, u"江美惠"_s,
        u"O'Connor 歐康納"_s, u"范振宇"_s,
    };
    QList<int> rids;
    for (int i = 0; i < names.size(); ++i) {
        // Two identities end in 6789; one has 6789 inside.
        QString id = u"%1%2%3"_s.arg(QChar(u'A' + i % 8)).arg(i % 2 + 1).arg(10000000 + i * 7919, 8, 10, QChar(u'0'));
        if (i == 3)
            id = u"D223456789"_s;
        if (i == 17)
            id = u"F126789012"_s;
        if (i == 24)
            id = u"B113456789"_s;
        if (i == 27)
            id.clear(); // a guest without an identity number
        ExecSql(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, TEL, Mobile, GHour, JOBTYPE, CR_DATE, CR_TYPE) "
                "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                { ClassKey, id.isEmpty() ? QVariant() : QVariant(id), u"E%1"_s.arg(101 + i),
                  names.at(i), u"02-2%1"_s.arg(3456000 + i * 37), u"09%1"_s.arg(12345600 + i * 1013),
                  QString::number(i % 3 == 0 ? 18 : 12), i == 0 ? u"講師"_s : u"學員"_s,
                  u"20240501%1"_s.arg(100000 + i), i == 29 ? u"臨時"_s : QString() });
        rids << QueryValue(u"select max(RID) from Booking"_s).toInt();
        // Every third person has signed in.
        if (i % 3 == 1) {
            ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY) "
                    "values ('01', ?, '1130507', ?, '0', 'KB', 'N', ?)"_s,
                    { id, u"08%1"_s.arg(1000 + i * 113, 4, 10, QChar(u'0')), ClassKey });
        }
    }
    const int signedBefore = CountOf(u"select count(*) from PSIO"_s);

    StationState station;
    station.StationNo = u"05"_s;
    station.preBooking = false;
    station.InCnt = signedBefore;
    TfmInitiative window(m_db->dm());
    window.setStation(&station);
    QSignalSpy counted(&window, &TfmInitiative::SignInCounted);
    window.show();
    QTRY_COMPARE(window.rowCount(), 30);

    // Activation: caption, count, titles from the personnel layout, fields it hides.
    QCOMPARE(window.windowTitle(), u"報名資料 版本：客製版 1.0.0"_s);
    QCOMPARE(window.LabelCount->text(), u"筆數：30"_s);
    QCOMPARE(window.EditIndexKey->text(), ClassKey);
    QCOMPARE(HeaderOf(window, u"CalIoTime"_s), u"簽到"_s);
    QCOMPARE(HeaderOf(window, u"NAME"_s), u"姓名"_s);
    QCOMPARE(HeaderOf(window, u"CalID"_s), u"身分證字號"_s);
    QCOMPARE(HeaderOf(window, u"TEL"_s), u"電話"_s);
    QCOMPARE(HeaderOf(window, u"Mobile"_s), u"手機號碼"_s);
    QCOMPARE(HeaderOf(window, u"JOBTYPE"_s), u"身分"_s);
    QCOMPARE(window.GridColumnOf(u"RID"_s), -1);
    QHeaderView *header = window.DBGrid1->horizontalHeader();
    QCOMPARE(header->visualIndex(window.GridColumnOf(u"CalIoTime"_s)), 0);
    QCOMPARE(header->visualIndex(window.GridColumnOf(u"NAME"_s)), 1);
    QCOMPARE(window.LabelOf(window.DBEditIDNO)->text(), u"會員編號"_s);
    QCOMPARE(window.LabelOf(window.DBEditMobile)->text(), u"手機號碼"_s);
    for (QWidget *hidden : { static_cast<QWidget *>(window.DBEditCARDID), static_cast<QWidget *>(window.DBEditBIRTHDAY),
                             static_cast<QWidget *>(window.DBComboSEX), static_cast<QWidget *>(window.DBEditCR_TYPE),
                             static_cast<QWidget *>(window.DBEditBookingNo) }) {
        QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
        QVERIFY(window.LabelOf(hidden)->isHidden());
    }
    QVERIFY(!window.DBEditIDNO->isHidden());
    QVERIFY(window.DBEditNAME->isReadOnly());
    QCOMPARE(window.DBEditCalID->text().left(5), u"*****"_s);
    SaveShot(&window, u"tfminitiative-list.png"_s);

    // The masked identity sorts by the identity itself: descending puts H210182137 first,
    // which its masked text "*****82137" would not.
    const int maskedColumn = window.GridColumnOf(u"CalID"_s);
    GridTitleSort(window.DBGrid1, maskedColumn);
    GridTitleSort(window.DBGrid1, maskedColumn);
    QCOMPARE(window.DBGrid1->model()->index(0, window.GridColumnOf(u"NAME"_s)).data().toString(), names.at(23));
    window.BitBtnQueryClick();

    // Manual sign-in: the guest without an identity gets a temporary one, once.
    const int signColumn = window.GridColumnOf(u"CalIoTime"_s);
    const int guest = rids.at(27);
    window.DBGrid1DblClick(RowOf(window, guest), signColumn);
    QCOMPARE(counted.size(), 1);
    QCOMPARE(counted.first().first().toString(), u"簽到(%1)"_s.arg(signedBefore + 1));
    QCOMPARE(station.InCnt, signedBefore + 1);
    QCOMPARE(window.manualSignIns(), 1);
    QCOMPARE(CountOf(u"select count(*) from PSIO where IDNO = 'VID0000001' and IOWay = 'IT' and DOOR = '05'"_s), 1);
    const int guestRow = RowOf(window, guest);
    QCOMPARE(window.DBGrid1->model()->index(guestRow, signColumn).data().toString(), u"085210"_s);
    // Again on the same person, and on one who signed in at the station: nothing stored.
    window.DBGrid1DblClick(guestRow, signColumn);
    window.DBGrid1DblClick(RowOf(window, rids.at(1)), signColumn);
    QCOMPARE(counted.size(), 1);
    QCOMPARE(CountOf(u"select count(*) from PSIO"_s), signedBefore + 1);
    QVERIFY(prompter.all().isEmpty());
    // A double-click on the name opens the detail page.
    window.DBGrid1DblClick(RowOf(window, rids.at(5)), window.GridColumnOf(u"NAME"_s));
    QCOMPARE(window.PageControl1->currentIndex(), 1);
    QCOMPARE(window.DBEditNAME->text(), names.at(5));
    window.PageControl1->setCurrentIndex(0);

    // Search by the end of the identity.
    window.EditIdTail->setText(u"6789"_s);
    window.BitBtnQueryClick();
    QCOMPARE(window.rowCount(), 2);
    QCOMPARE(window.LabelCount->text(), u"筆數：2"_s);
    window.BitBtnClearClick();
    QVERIFY(window.EditIdTail->text().isEmpty());
    QCOMPARE(window.EditIndexKey->text(), ClassKey);
    window.BitBtnQueryClick();
    QCOMPARE(window.rowCount(), 30);

    // A new person starts as an attendee added one by one, and is named and identified here.
    window.NavInsertClick();
    QCOMPARE(window.PageControl1->currentIndex(), 1);
    QCOMPARE(window.mode(), TfmInitiative::Mode::Insert);
    QCOMPARE(window.DBComboJOBTYPE->currentText(), u"學員"_s);
    QVERIFY(window.DBComboJOBTYPE->isEnabled());
    QVERIFY(window.DBComboJOBTYPE->findText(u"講師"_s) >= 0);
    QCOMPARE(window.DBEditCR_TYPE->text(), u"逐筆"_s);
    QVERIFY(!window.DBEditNAME->isReadOnly());
    QVERIFY(!window.DBEditCalID->isReadOnly());
    QVERIFY(window.DBEditCalID->text().isEmpty());
    window.DBEditNAME->setText(u"D'Souza 蘇查"_s); // typed through the input method
    // An identity number that is none is refused and nothing is stored.
    QTest::keyClicks(window.DBEditCalID, u"2345"_s);
    window.NavPostClick();
    QCOMPARE(prompter.errors.size(), 1);
    QVERIFY(prompter.errors.first().contains(u"「2345」不正確"_s));
    QCOMPARE(window.mode(), TfmInitiative::Mode::Insert);
    QCOMPARE(window.rowCount(), 30);
    window.DBEditCalID->clear();
    QTest::keyClicks(window.DBEditCalID, u"k221234562"_s);
    QTest::keyClicks(window.DBEditTEL, u"02-27001234"_s);
    SaveShot(&window, u"tfminitiative-new.png"_s);
    window.NavPostClick();
    QCOMPARE(window.mode(), TfmInitiative::Mode::Browse);
    QCOMPARE(window.rowCount(), 31);
    QCOMPARE(CountOf(u"select count(*) from Booking where NAME = ? and ID = 'K221234562' and JOBTYPE = '學員' "
                     "and CR_TYPE = '逐筆' and TEL = '02-27001234' and INDEX_KEY = ?"_s,
                     { u"D'Souza 蘇查"_s, ClassKey }),
             1);
    QCOMPARE(window.DBEditCalID->text(), u"*****34562"_s);
    QVERIFY(window.DBEditCalID->isReadOnly());
    QVERIFY(window.DBEditNAME->isReadOnly());

    // Typing into a field changes the person; only that column is written.
    window.SelectPerson(rids.at(2));
    window.PageControl1->setCurrentIndex(1);
    window.DBEditMobile->selectAll();
    QTest::keyClicks(window.DBEditMobile, u"0988777666"_s);
    QCOMPARE(window.mode(), TfmInitiative::Mode::Edit);
    SaveShot(&window, u"tfminitiative-detail.png"_s);
    window.NavPostClick();
    QCOMPARE(QueryValue(u"select Mobile from Booking where RID = ?"_s, { rids.at(2) }).toString(), u"0988777666"_s);
    QVERIFY(QueryValue(u"select CR_TYPE from Booking where RID = ?"_s, { rids.at(2) }).isNull()
            || QueryValue(u"select CR_TYPE from Booking where RID = ?"_s, { rids.at(2) }).toString().isEmpty());

    // "全刪" after a search by name deletes the persons found, no one else.
    window.PageControl1->setCurrentIndex(0);
    window.EditName->setText(u"陳"_s);
    window.BitBtnQueryClick();
    QCOMPARE(window.rowCount(), 3);
    prompter.queueButton(Prompter::Button::Yes);
    window.BitBtnDelAllClick();
    QCOMPARE(prompter.asked.last(), u"妳真的要清除嗎?"_s);
    QCOMPARE(window.rowCount(), 0);
    QCOMPARE(CountOf(u"select count(*) from Booking where INDEX_KEY = ?"_s, { ClassKey }), 28);
    QCOMPARE(CountOf(u"select count(*) from Booking where NAME like '陳%'"_s), 0);

    // An afternoon-only class shows the afternoon sign-in under the third kind's caption.
    ExecSql(u"update Courses set SignType = '001100'"_s);
    station.io3Cap = u"午到"_s;
    window.EditName->clear();
    window.FormActivate();
    QCOMPARE(window.GridColumnOf(u"CalIoTime"_s), -1);
    QCOMPARE(HeaderOf(window, u"CalIoTime3"_s), u"午到"_s);
    QCOMPARE(header->visualIndex(window.GridColumnOf(u"CalIoTime3"_s)), 0);

    window.BitBtnCloseClick();
    QVERIFY(!window.isVisible());
}

int TestTfmInitiative::OpenClassWithLessons(const QTime &at)
{
    m_db = std::make_unique<TestDatabase>();
    const QString work = m_db->dir() + u"/Work.db"_s;
    if (!QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work))
        return 0;
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    if (!TestBackend::OpenWorkingDatabase(m_db->dm(), work, &error))
        return 0;
    if (!TestBackend::UsesPostgres())
        ExecSql(u"PRAGMA synchronous = OFF"_s);
    Globals &g = G();
    g.CurrentClassKey = ClassKey;
    g.CourseNoLength = 11;
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2024, 5, 7), at));
    SetCurrentClock(m_clock.get());
    ExecSql(u"insert into Courses (CourseId, Echelon, Course, SignType, Bookin, DateStart, DateEnd) "
            "values (?, ?, ?, ?, ?, ?, ?)"_s,
            { u"11305000001"_s, u"01"_s, u"急救人員安全衛生教育訓練"_s, u"111100"_s, false,
              u"2024/05/07"_s, u"2024/05/07"_s });
    for (const auto &[cno4, start, end, subject] :
         { std::tuple{u"A001"_s, u"09:00"_s, u"12:00"_s, u"急救概論"_s},
           std::tuple{u"A002"_s, u"13:00"_s, u"16:00"_s, u"心肺復甦術"_s} }) {
        ExecSql(u"insert into Course (INDEX_KEY, CNo4, TimeStart, TimeEnd, DateStart, Subject, Hours) "
                "values (?, ?, ?, ?, '2024/05/07', ?, 3)"_s,
                { ClassKey, cno4, start, end, subject });
    }
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE) values (?, 'A223456789', '林怡君', '學員')"_s,
            { ClassKey });
    return QueryValue(u"select max(RID) from Booking"_s).toInt();
}

// The hand sign-in is stored under the lesson in progress, so that the lesson's hours and sheets
// count it: the lesson selected at the station, else the one whose time holds the moment, else
// the one the operator chooses in the course choice dialog.
void TestTfmInitiative::handSignInGoesToTheLessonInProgress_data()
{
    QTest::addColumn<QString>("stationLesson"); // CourseCode of the station, "-" for no station
    QTest::addColumn<QTime>("at");
    QTest::addColumn<int>("chosenLine");        // line chosen in the course dialog, -1 cancels
    QTest::addColumn<QString>("storedKey");     // empty: nothing stored

    QTest::newRow("the lesson selected at the station")
        << u"A00213:00"_s << QTime(10, 5) << -2 << u"11305000001A00213:00"_s;
    QTest::newRow("no lesson selected: the lesson under way")
        << QString() << QTime(10, 5) << -2 << u"11305000001A00109:00"_s;
    QTest::newRow("opened from the class window, during the afternoon")
        << u"-"_s << QTime(14, 0) << -2 << u"11305000001A00213:00"_s;
    QTest::newRow("between the lessons: chosen in the dialog")
        << QString() << QTime(12, 30) << 1 << u"11305000001A00213:00"_s;
    QTest::newRow("between the lessons: the dialog cancelled") << QString() << QTime(12, 30) << -1 << QString();
}

void TestTfmInitiative::handSignInGoesToTheLessonInProgress()
{
    QFETCH(QString, stationLesson);
    QFETCH(QTime, at);
    QFETCH(int, chosenLine);
    QFETCH(QString, storedKey);

    const int rid = OpenClassWithLessons(at);
    QVERIFY(rid > 0);
    ScriptedPrompter prompter;
    StationState station;
    station.ClassKey = ClassKey;
    station.CourseCode = stationLesson;
    TfmInitiative window(m_db->dm());
    if (stationLesson != u"-"_s)
        window.setStation(&station);
    window.show();
    QTRY_COMPARE(window.rowCount(), 1);

    bool dialogShown = false;
    if (chosenLine > -2) {
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialogShown = true;
            if (chosenLine < 0) {
                dialog->reject();
                return;
            }
            auto *lines = dialog->findChild<QComboBox *>(u"ComboBox1"_s);
            QVERIFY(lines);
            QCOMPARE(lines->count(), 2);
            lines->setCurrentIndex(chosenLine);
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"BitBtnOK"_s), Qt::LeftButton);
        });
    }
    window.DBGrid1DblClick(0, window.GridColumnOf(u"CalIoTime"_s));
    QCOMPARE(dialogShown, chosenLine > -2);
    QCOMPARE(QueryToList(u"INDEX_KEY"_s, u"select INDEX_KEY from PSIO"_s),
             storedKey.isEmpty() ? QStringList{} : QStringList{storedKey});
    QCOMPARE(window.manualSignIns(), storedKey.isEmpty() ? 0 : 1);
    if (!storedKey.isEmpty())
        QCOMPARE(window.DBGrid1->model()->index(0, window.GridColumnOf(u"CalIoTime"_s)).data().toString(),
                 TimeToHHMMSS(at));
    QVERIFY(prompter.all().isEmpty());
}

void TestTfmInitiative::closingWithUnsavedInputAsks()
{
    QVERIFY(OpenClassWithLessons(QTime(10, 0)) > 0);
    ScriptedPrompter prompter;
    TfmInitiative window(m_db->dm());
    window.show();
    QTRY_COMPARE(window.rowCount(), 1);

    window.NavInsertClick();
    QTest::keyClicks(window.DBEditTEL, u"02-27001234"_s);
    window.DBEditNAME->setText(u"周明輝"_s);
    SaveShot(&window, u"tfminitiative-unsaved.png"_s);
    // "否" keeps the window and what was typed.
    prompter.queueButton(Prompter::Button::No);
    window.BitBtnCloseClick();
    QCOMPARE(prompter.asked, QStringList{u"資料尚未儲存 確定要離開嗎?"_s});
    QVERIFY(window.isVisible());
    QCOMPARE(window.mode(), TfmInitiative::Mode::Insert);
    QCOMPARE(window.DBEditNAME->text(), u"周明輝"_s);
    // The window's close button asks too; "是" leaves without storing.
    prompter.queueButton(Prompter::Button::Yes);
    window.close();
    QCOMPARE(prompter.asked.size(), 2);
    QVERIFY(!window.isVisible());
    QCOMPARE(CountOf(u"select count(*) from Booking"_s), 1);

    // Nothing typed: closing asks nothing.
    window.show();
    QTRY_COMPARE(window.rowCount(), 1);
    window.BitBtnCloseClick();
    QCOMPARE(prompter.asked.size(), 2);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestTfmInitiative)
#include "tst_tfminitiative.moc"
