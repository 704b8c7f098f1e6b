// The sign-event records window on a template copy, offscreen, as an operator uses it: it opens
// on the events of the class with the counts per type and the snapshot of the event under the
// cursor (the placeholder when there is none), searches by a typed name and a chosen type,
// clears the conditions, sorts by a title both ways, posts a cell edit when the row is left and
// drops it on "  取消  ", deletes after the question, fills dates in, and exports.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "station/SignRecorder.h"
#include "station/StationState.h"
#include "station/TfmPSIO_Booking.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"1130123456701"_s;
const QString Lesson1 = u"11301234567A00109:00"_s;
const QString Lesson2 = u"11301234567A00213:30"_s;

void SaveShot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name, "PNG");
}

struct Student
{
    const char16_t *id;
    const char16_t *name;
};

const Student Students[] = {
    {u"A123456789", u"王小明"}, {u"F223456780", u"林美惠"}, {u"H124567890", u"陳志豪"},
    {u"B287654321", u"張雅婷"}, {u"E135792468", u"黃建國"}, {u"N212345678", u"李淑芬"},
};

// A snapshot as the camera would have taken it: a figure in front of a wall.
void WriteSnapshot(const QString &path)
{
    QImage image(320, 240, QImage::Format_RGB888);
    image.fill(QColor(0x8f, 0xa9, 0xc4));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x3b, 0x4a, 0x5c));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(160, 95), 45, 55);
    p.drawRoundedRect(QRect(85, 150, 150, 110), 40, 40);
    p.end();
    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(image.save(path, "JPEG", 85));
}

} // namespace

class TestTfmPSIO_Booking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensOnTheClassWithCountsAndSnapshot();
    void showsASnapshotFiledUnderTheOtherLayout();
    void searchesByNameAndTypeAndClears();
    void titleClickSortsBothWays();
    void cellEditPostedOnLeavingTheRowOrCancelled();
    void deletesAfterTheQuestion();
    void dateInputsTakeToday();
    void exportsAndRefusesImportOffStation00();

private:
    template <typename T>
    T *Find(const QString &name)
    {
        T *widget = m_window->findChild<T *>(name);
        if (!widget)
            qFatal("no widget %s", qPrintable(name));
        return widget;
    }
    void Click(const QString &button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    void CommitText(QWidget *widget, const QString &text)
    {
        widget->setFocus();
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(widget, &commit);
    }
    QString Cell(int row, int column) const
    {
        return m_window->records()->data(m_window->records()->index(row, column)).toString();
    }
    void OpenWindow()
    {
        m_window = std::make_unique<TfmPSIO_Booking>(m_station->dm(), &m_state);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<TfmPSIO_Booking> m_window;
    StationState m_state;
    QString m_pictures;
    QString m_snapshot;
    FixedClock m_clock{QDateTime(QDate(2024, 5, 7), QTime(16, 40))};
};

void TestTfmPSIO_Booking::initTestCase()
{
    QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));
}

void TestTfmPSIO_Booking::init()
{
    SetCurrentClock(&m_clock);
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    const QString build = qEnvironmentVariable("ROLVAN_BUILD_DIR");
    QVERIFY(QFile::copy(build + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(m_station->dm().OpenWorkingDatabase(work, &error), qPrintable(error));
    ExecSql(u"PRAGMA synchronous = OFF"_s);
    // The placeholder picture lies beside the program.
    QVERIFY(QFile::copy(build + u"/unSign.jpg"_s, JoinPath(G().ExeDir, u"unSign.jpg"_s)));
    m_prompter = std::make_unique<ScriptedPrompter>();

    Globals &g = G();
    g.EditionText = u"單機版"_s;
    g.VersionText = u"1.0.0.1"_s;
    g.CourseNoLength = 11;
    g.CurrentClassKey = ClassKey;
    m_pictures = m_station->dir() + u"/查核資料檔案"_s;
    WriteIniSetting(IniSection::Base, IniKey::StationNo, u"03"_s);
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, m_pictures);
    WriteIniSetting(IniSection::Base, IniKey::PhotoOnSign, u"True"_s);
    WriteIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, u"課程編號"_s);
    m_state = StationState{};
    m_state.photoSubPathRule = u"課程編號"_s;
    m_state.StorageKind = u"身分證字號"_s;

    ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd) values (?, ?, ?, ?, ?)"_s,
            {u"11301234567"_s, u"01"_s, u"職業安全衛生教育訓練"_s, u"2024/05/06"_s, u"2024/05/07"_s});
    for (const Student &s : Students) {
        ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, GHour) values (?, ?, ?, ?)"_s,
                {ClassKey, QString::fromUtf16(s.id), QString::fromUtf16(s.name), u"6"_s});
    }
    // Two days: sign-in, sign-out and the afternoon pair, by keyboard and on screen.
    const auto event = [](int student, const QString &date, const QString &time, const QString &type,
                          const QString &way, const QString &key) {
        ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NTP) "
                "values ('03', ?, ?, ?, ?, ?, ?, 'Y')"_s,
                {QString::fromUtf16(Students[student].id), date, time, type, way, key});
    };
    for (int s = 0; s < 6; ++s)
        event(s, u"1130506"_s, u"08"_s + QString::number(41 + s * 3) + u"0"_s + QString::number(s), u"0"_s,
              s % 2 ? u"SC"_s : u"KB"_s, Lesson1);
    for (int s = 0; s < 4; ++s)
        event(s, u"1130506"_s, u"120"_s + QString::number(s) + u"15"_s, u"1"_s, u"KB"_s, Lesson1);
    for (int s = 0; s < 3; ++s)
        event(s, u"1130507"_s, u"132"_s + QString::number(s) + u"40"_s, u"2"_s, u"KB"_s, Lesson2);
    event(4, u"1130507"_s, u"163012"_s, u"3"_s, u"SC"_s, Lesson2);

    m_snapshot = JoinPath(m_pictures + u"/11301234567/PIC"_s,
                          SignRecorder::SnapshotFileName(ClassKey, u"A123456789"_s, u"1130506"_s,
                                                         u"084100"_s, u"0"_s, u"KB"_s));
    WriteSnapshot(m_snapshot);
}

void TestTfmPSIO_Booking::cleanup()
{
    m_window.reset();
    m_prompter.reset();
    m_station.reset();
    SetCurrentClock(nullptr);
}

void TestTfmPSIO_Booking::opensOnTheClassWithCountsAndSnapshot()
{
    OpenWindow();
    QCOMPARE(m_window->windowTitle(), u"報名刷卡簽到退明細資料 版本：單機版1.0.0.1"_s);
    QCOMPARE(Find<QLineEdit>(u"Edit4"_s)->text(), u"11301234567"_s);
    QCOMPARE(m_window->records()->rowCount(), 14);
    QCOMPARE(m_window->StationNo, u"03"_s);
    const QStringList counts{u"簽到(6)"_s, u"簽退(4)"_s, u"午到(3)"_s, u"午退(1)"_s, u"晚到(0)"_s, u"晚退(0)"_s};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(Find<QLabel>(u"Lab_Iotype"_s + QString::number(i + 1))->text(), counts.at(i));
    auto *grid = Find<QTableView>(u"DBGrid4"_s);
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), u"身分證字號"_s);
    QCOMPARE(Cell(0, SignEventRecords::ColName), u"王小明"_s);
    QCOMPARE(Cell(0, SignEventRecords::ColCalId), u"*****56789"_s);
    QCOMPARE(Cell(1, SignEventRecords::ColWay), u"螢幕"_s);
    QVERIFY(grid->isColumnHidden(SignEventRecords::ColDateCal));

    // The first event has its snapshot; the second shows the placeholder.
    auto *panel = Find<QFrame>(u"Panel1"_s);
    QVERIFY(panel->isVisible());
    QCOMPARE(m_window->shownPicture(), m_snapshot);
    SaveShot(m_window.get(), u"records-open.png"_s);
    Click(u"BtnNext"_s);
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(QFileInfo(m_window->shownPicture()).fileName(), u"unSign.jpg"_s);
    QVERIFY(!Find<QLabel>(u"Image1"_s)->pixmap().isNull());

    // A double click enlarges the panel below the search buttons, another shrinks it again.
    QTest::mouseDClick(Find<QLabel>(u"Image1"_s), Qt::LeftButton);
    QVERIFY(m_window->panelLarge());
    QCOMPARE(panel->size(), QSize(360, 270));
    auto *clear = Find<QPushButton>(u"BitBtnClear"_s);
    QVERIFY(panel->geometry().top() > clear->mapTo(m_window.get(), QPoint(0, clear->height())).y());
    QCOMPARE(panel->geometry().right(), m_window->width() - 7);
    Click(u"BtnFirst"_s);
    SaveShot(m_window.get(), u"records-large-picture.png"_s);
    QTest::mouseDClick(Find<QLabel>(u"Image1"_s), Qt::LeftButton);
    QCOMPARE(panel->size(), QSize(120, 90));
    QCOMPARE(panel->geometry().top(), 6);
    QVERIFY(m_prompter->all().isEmpty());
}

void TestTfmPSIO_Booking::showsASnapshotFiledUnderTheOtherLayout()
{
    // Taken while the station filed by year and month; the settings now say by class number.
    const QString byMonth = JoinPath(m_pictures + u"/11305"_s,
                                     SignRecorder::SnapshotFileName(ClassKey, u"F223456780"_s,
                                                                    u"1130506"_s, u"084401"_s,
                                                                    u"0"_s, u"SC"_s));
    WriteSnapshot(byMonth);
    OpenWindow();
    Click(u"BtnNext"_s);
    QCOMPARE(m_window->records()->data(m_window->records()->index(1, SignEventRecords::ColTime)).toString(),
             u"084401"_s);
    QCOMPARE(QDir::fromNativeSeparators(m_window->shownPicture()), byMonth);
    QVERIFY(!Find<QLabel>(u"Image1"_s)->pixmap().isNull());
}

void TestTfmPSIO_Booking::searchesByNameAndTypeAndClears()
{
    OpenWindow();
    CommitText(Find<QLineEdit>(u"Edit6"_s), u"林"_s);
    auto *types = Find<QComboBox>(u"ComboBox4"_s);
    QCOMPARE(types->itemText(3), u"2:午到"_s);
    types->setCurrentIndex(types->findText(u"1:簽退"_s));
    Click(u"BitBtnQry"_s);
    QCOMPARE(m_window->records()->rowCount(), 1);
    QCOMPARE(Cell(0, SignEventRecords::ColName), u"林美惠"_s);
    QCOMPARE(Cell(0, SignEventRecords::ColType), u"簽退"_s);
    QCOMPARE(Find<QLabel>(u"Lab_Iotype1"_s)->text(), u"簽到(0)"_s);
    QCOMPARE(Find<QLabel>(u"Lab_Iotype2"_s)->text(), u"簽退(1)"_s);
    SaveShot(m_window.get(), u"records-search.png"_s);

    // Enter in a search input searches too.
    types->setCurrentIndex(0);
    Find<QLineEdit>(u"Edit14"_s)->setText(u"1130507"_s);
    QTest::keyClick(Find<QLineEdit>(u"Edit14"_s), Qt::Key_Return);
    QCOMPARE(m_window->records()->rowCount(), 1);
    QCOMPARE(Cell(0, SignEventRecords::ColType), u"午到"_s);

    Find<QLineEdit>(u"Edit4"_s)->setText(u"x"_s);
    Find<QLineEdit>(u"Edit1"_s)->setText(u"12"_s);
    Click(u"BitBtnClear"_s);
    QCOMPARE(Find<QLineEdit>(u"Edit6"_s)->text(), QString());
    QCOMPARE(Find<QLineEdit>(u"Edit14"_s)->text(), QString());
    QCOMPARE(Find<QLineEdit>(u"Edit1"_s)->text(), QString());
    QCOMPARE(types->currentText(), QString());
    QCOMPARE(Find<QLineEdit>(u"Edit4"_s)->text(), u"11301234567"_s);
    Click(u"BitBtnQry"_s);
    QCOMPARE(m_window->records()->rowCount(), 14);
}

void TestTfmPSIO_Booking::titleClickSortsBothWays()
{
    OpenWindow();
    auto *grid = Find<QTableView>(u"DBGrid4"_s);
    QHeaderView *header = grid->horizontalHeader();
    const auto clickTitle = [header](int column) {
        const QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    const int dateColumn = SignEventRecords::ColDate;
    clickTitle(dateColumn);
    QCOMPARE(m_window->records()->sortText(), u"IODATE"_s);
    QCOMPARE(Cell(0, dateColumn), u"1130506"_s);
    clickTitle(dateColumn);
    QCOMPARE(m_window->records()->sortText(), u"IODATE DESC"_s);
    QCOMPARE(Cell(0, dateColumn), u"1130507"_s);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    // The name is looked up: a click on its title leaves the order.
    clickTitle(SignEventRecords::ColName);
    QCOMPARE(m_window->records()->sortText(), u"IODATE DESC"_s);
}

void TestTfmPSIO_Booking::cellEditPostedOnLeavingTheRowOrCancelled()
{
    OpenWindow();
    auto *grid = Find<QTableView>(u"DBGrid4"_s);
    const auto stored = [this](int row) {
        return QueryValue(u"select IOTIME from PSIO where RID = ?"_s, {m_window->records()->Rid(row)}).toString();
    };
    const QString original = stored(0);

    grid->setFocus();
    grid->setCurrentIndex(m_window->records()->index(0, SignEventRecords::ColTime));
    QTest::keyClick(grid, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, u"084159"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    // The cell takes the text once the editor has closed.
    QTRY_COMPARE(Cell(0, SignEventRecords::ColTime), u"084159"_s);
    QCOMPARE(stored(0), original); // not yet: the row has not been left
    Click(u"BtnNext"_s);
    QCOMPARE(stored(0), u"084159"_s);

    // "  取消  " drops the edit, even with the cell editor still open.
    const QString second = stored(1);
    QTest::keyClick(grid, Qt::Key_F2);
    editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, u"999999"_s);
    Click(u"BitBtnCancel"_s);
    QCOMPARE(Cell(1, SignEventRecords::ColTime), second);
    QVERIFY(!m_window->records()->hasPendingEdit());
    Click(u"BtnNext"_s);
    QCOMPARE(stored(1), second);
}

void TestTfmPSIO_Booking::deletesAfterTheQuestion()
{
    OpenWindow();
    Click(u"BtnLast"_s);
    const int rid = m_window->records()->Rid(13);
    m_prompter->queueButton(Prompter::Button::No);
    Click(u"BitBtnDelete"_s);
    QCOMPARE(m_prompter->asked, QStringList{u"是否確定刪除此筆資料?"_s});
    QCOMPARE(m_window->records()->rowCount(), 14);
    m_prompter->queueButton(Prompter::Button::Yes);
    Click(u"BitBtnDelete"_s);
    QCOMPARE(m_window->records()->rowCount(), 13);
    QCOMPARE(QueryValue(u"select count(*) from PSIO where RID = ?"_s, {rid}).toInt(), 0);
    QCOMPARE(Find<QTableView>(u"DBGrid4"_s)->currentIndex().row(), 12);
    QVERIFY(m_prompter->errors.isEmpty());
}

void TestTfmPSIO_Booking::dateInputsTakeToday()
{
    OpenWindow();
    for (const QString &name : {u"Edit14"_s, u"Edit1"_s, u"Edit2"_s}) {
        auto *field = Find<QLineEdit>(name);
        QTest::mouseDClick(field, Qt::LeftButton);
        QCOMPARE(field->text(), u"1130507"_s);
    }
}

void TestTfmPSIO_Booking::exportsAndRefusesImportOffStation00()
{
    OpenWindow();
    QVERIFY(Find<QPushButton>(u"BitBtnExport"_s)->isVisible());
    QVERIFY(Find<QPushButton>(u"BitBtnImport"_s)->isVisible());
    Click(u"BitBtnImport"_s);
    QCOMPARE(m_prompter->messages, QStringList{u"資料匯入電腦編號必須為00"_s});
    m_prompter->clear();
    Click(u"BitBtnExport"_s);
    QVERIFY(m_prompter->messages.value(0).endsWith(u".tmp 資料筆數:14\n請記得影像資料也要 COPY"_s));
    QVERIFY(QFile::exists(m_pictures + u"/11301234567/Tmp/11301234567.tmp"_s));
    QVERIFY(QFile::exists(m_pictures + u"/11301234567/Tmp/Pic/"_s + QFileInfo(m_snapshot).fileName()));
}

QTEST_MAIN(TestTfmPSIO_Booking)
#include "tst_tfmpsio_booking.moc"
