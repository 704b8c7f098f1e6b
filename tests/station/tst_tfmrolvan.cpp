// The sign-in screen, offscreen: a first start in an empty home; a station whose class is held
// today, chosen at activation, where attendees sign in by keyboard and on-screen keypad; the
// history lines, their pictures and their deletion; the layout of the rows by window height.

#include "admin/TFmSysManager.h"
#include "admin/TfmDBPath.h"
#include "app/StandardWindows.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/TestDataModule.h"
#include "mock/FixedClock.h"
#include "mock/RecordingSoundPlayer.h"
#include "mock/ScriptedPrompter.h"
#include "classes/TFmSetup.h"
#include "platform/WidgetPrompter.h"
#include "station/ClockSync.h"
#include "station/StationWidgets.h"
#include "station/TFmRolvan.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QToolButton>
#include <QUdpSocket>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"ABC1234567801"_s;
const QString MorningLesson = u"ABC12345678000109:00"_s;

QString TemplatePath()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
}

// Saves a picture of a widget for a person to look at, when ROLVAN_SHOTS_DIR is set.
void Shot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(QDir(dir).filePath(name + u".png"_s), "PNG");
}

// A station home: the template beside the "executable", a working database with one class
// held today (two lessons, five enrolled persons), the settings file, a fixed clock, a
// scripted prompter and a sound recorder. The window is made by Open().
class StationHome
{
public:
    explicit StationHome(const QMap<QString, QString> &settings = {})
    {
        m_savedHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        QVERIFY(QFile::copy(TemplatePath(), exeDir.filePath(u"SampleQuorin.db"_s)));
        globals.ExeDir = exeDir.path() + QDir::separator();
        SetGlobals(&globals);
        SetCurrentClock(&clock);
        clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 5, 0)));

        QVERIFY(QDir().mkpath(dataDir()));
        QVERIFY(QFile::copy(TemplatePath(), dataDir() + u"/Quorin.db"_s));
        QFile::setPermissions(dataDir() + u"/Quorin.db"_s, QFile::ReadOwner | QFile::WriteOwner);
        Seed();

        WriteIniSetting(IniSection::Base, IniKey::CompanyName, u"臺北市職業訓練中心"_s);
        WriteIniSetting(IniSection::Base, IniKey::StationNo, u"07"_s);
        WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, dataDir());
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            WriteIniSetting(IniSection::Base, it.key(), it.value());
    }

    ~StationHome()
    {
        window.reset();
        dm.reset();
        SetCurrentClock(nullptr);
        SetGlobals(nullptr);
        qputenv("HOME", m_savedHome);
    }

    QString dataDir() const { return home.path() + u"/RolvanDAP"_s; }

    // Shows the window and waits for its first activation.
    void Open()
    {
        dm = std::make_unique<TestDataModule>(globals);
        window = std::make_unique<TFmRolvan>(*dm, StandardWindowOpeners());
        QSignalSpy activations(window.get(), &TFmRolvan::activated);
        window->resize(980, 710);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTRY_VERIFY(activations.size() >= 1);
        QCOMPARE(activations.first().first().value<MainActivation::Outcome>(), MainActivation::Outcome::Done);
    }

    template<typename T>
    T *find(const QString &name) const
    {
        T *widget = window->findChild<T *>(name);
        if (!widget)
            qWarning() << "no widget" << name;
        return widget;
    }

    int Events(const QString &idno, const QString &way = QString())
    {
        if (way.isEmpty())
            return QueryValue(u"select count(*) from PSIO where IDNO = ?"_s, {idno}).toInt();
        return QueryValue(u"select count(*) from PSIO where IDNO = ? and IOWay = ?"_s, {idno, way}).toInt();
    }

    QTemporaryDir home;
    QTemporaryDir exeDir;
    Globals globals;
    FixedClock clock;
    ScriptedPrompter prompter;
    RecordingSoundPlayer sounds;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<TFmRolvan> window;

private:
    void Seed()
    {
        const QString connection = u"seed"_s;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
            db.setDatabaseName(dataDir() + u"/Quorin.db"_s);
            QVERIFY(db.open());
            QSqlQuery q(db);
            const auto run = [&](const QString &sql, const QVariantList &values) {
                QVERIFY2(q.prepare(sql), qPrintable(q.lastError().text()));
                for (const QVariant &v : values)
                    q.addBindValue(v);
                QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
            };
            run(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet, "
                "TimeStart, TimeEnd, Bookin, SignType, Signer) values (?,?,?,?,?,?,?,?,?,?,?)"_s,
                {u"ABC12345678"_s, u"01"_s, u"職業安全衛生教育訓練"_s, u"2025/05/03"_s,
                 u"2025/05/03"_s, u"1"_s, u"09:00"_s, u"16:00"_s, 1, u"110000"_s, u"內外"_s});
            const QList<QStringList> lessons = {
                {u"0001"_s, u"職業安全法規"_s, u"09:00"_s, u"12:00"_s},
                {u"0002"_s, u"危害辨識實務"_s, u"13:00"_s, u"16:00"_s},
            };
            for (const QStringList &l : lessons) {
                run(u"insert into Course (INDEX_KEY, CNo4, Subject, DateStart, TimeStart, TimeEnd, Hours) "
                    "values (?,?,?,?,?,?,?)"_s,
                    {ClassKey, l.at(0), l.at(1), u"2025/05/03"_s, l.at(2), l.at(3), 3});
            }
            const QList<QStringList> persons = {
                {u"A123456789"_s, u"000101"_s, u"王小明"_s},
                {u"B223498765"_s, u"000102"_s, u"李美華"_s},
                {u"C187654321"_s, u"000103"_s, u"陳志強"_s},
                {u"D220011223"_s, u"000104"_s, u"林淑芬"_s},
                {u"E100044556"_s, u"000105"_s, u"張家豪"_s},
            };
            for (const QStringList &p : persons) {
                run(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME) values (?,?,?,?)"_s,
                    {ClassKey, p.at(0), p.at(1), p.at(2)});
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }

    QByteArray m_savedHome;
};

void TypeEntry(TFmRolvan *window, const QString &text)
{
    window->Edit1->setFocus();
    QTest::keyClicks(window->Edit1, text);
    QTest::keyClick(window->Edit1, Qt::Key_Return);
}

void Key(StationHome &s, const QString &digit)
{
    const int index = digit == u"0"_s ? 10 : digit.toInt();
    QPushButton *button = s.find<QPushButton>(u"Button%1"_s.arg(index));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class TestTFmRolvan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStartInAnEmptyHome();
    void classOfTodayIsChosenAndAttendeesSignIn();
    void keypadEditing();
    void classChosenInTheClassWindow();
    void historyRowsFollowTheWindowHeight();
    void cameraPreviewAndPicturesBesideTheHistory();
    void entriesTypedWhileTheTimeServerFailsAreAllRecorded_data();
    void entriesTypedWhileTheTimeServerFailsAreAllRecorded();
    void snapshotThatCannotBeStoredIsShownUntilOneIs();
    void closingABoxOfTheStationIsNoNewActivation();
    void historyHeaderNamesTheNameOnce();
    void entryErrorsShowOnTheScreenAndGo_data();
    void entryErrorsShowOnTheScreenAndGo();
    void leavingTheClassWindowKeepsTheClassServed();
    void savedSettingsCountWhenTheStationIsBack();
};

void TestTFmRolvan::initTestCase()
{
    QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));
}

void TestTFmRolvan::firstStartInAnEmptyHome()
{
    QTemporaryDir home;
    QTemporaryDir exeDir;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    QVERIFY(QFile::copy(TemplatePath(), exeDir.filePath(u"SampleQuorin.db"_s)));

    Globals globals;
    globals.ExeDir = exeDir.path() + QDir::separator();
    SetGlobals(&globals);
    ScriptedPrompter prompter;
    {
        TestDataModule dm(globals);
        TFmRolvan window(dm, StandardWindowOpeners());
        QSignalSpy activations(&window, &TFmRolvan::activated);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_COMPARE(activations.size(), 1);
        QCOMPARE(activations.first().first().value<MainActivation::Outcome>(), MainActivation::Outcome::Done);
        QVERIFY2(prompter.all().isEmpty(), qPrintable(prompter.all().join(u'\n')));

        QVERIFY(QFile::exists(home.filePath(u"RolvanDAP/Quorin.db"_s)));
        QVERIFY(window.windowTitle().startsWith(u"講習教育 簽到退作業  版本："_s));
        QCOMPARE(window.PanelClass->text(), u"講習：進入講習選定點選講習"_s);
        // No class today: no type is checked, and an entry is refused with the reason.
        for (QRadioButton *b : std::as_const(window.TypeButtons))
            QVERIFY(!b->isChecked());
        TypeEntry(&window, u"12345"_s);
        QCOMPARE(prompter.messages, QStringList{u"尚未  講習選定"_s});
        // No snapshot switch in a new INI: no camera panel. No class: no enrolment records.
        QVERIFY(!window.PanelVideo->isVisible());
        QVERIFY(!window.BitBtn25->isEnabled());
        QVERIFY(window.BitBtn8->isHidden() && !window.BitBtn8->isEnabled());
        QVERIFY(window.BitBtn14->isHidden() && !window.BitBtn14->isEnabled());

        // The window is never smaller than 618 x 513.
        window.resize(400, 300);
        QTRY_VERIFY(window.width() >= 618 && window.height() >= 513);
        window.resize(1000, 720);
        window.close();
    }
    // Closing saved the geometry; the width key is found whatever its letter case.
    QCOMPARE(ReadIniSetting(IniSection::FormSize, u"FmRolvan_Width"_s, QString(), QString()), u"1000"_s);
    SetGlobals(nullptr);
    qputenv("HOME", savedHome);
}

void TestTFmRolvan::classOfTodayIsChosenAndAttendeesSignIn()
{
    StationHome s;
    s.Open();
    TFmRolvan *w = s.window.get();

    // The one class of today is chosen at the first activation with the lesson around now.
    QCOMPARE(G().CurrentClassKey, ClassKey);
    QCOMPARE(w->PanelClass->text(), u"講習：職業安全衛生教育訓練"_s);
    QVERIFY(w->BitBtn25->isEnabled());
    QCOMPARE(w->ComboBox1->currentText(), u"0001:職業安全法規(09:00)"_s);
    QCOMPARE(w->ComboBox1->count(), 2);
    QVERIFY(w->TypeButtons.at(0)->isChecked());
    QCOMPARE(w->TypeButtons.at(0)->text(), u"簽到(0)"_s);
    QVERIFY(w->station().StationReady);
    QVERIFY(w->Label5->text().startsWith(u"會員編號  姓名"_s));

    // Keyboard: the last five characters, Enter. The field is emptied for the next attendee.
    TypeEntry(w, u"56789"_s);
    QVERIFY2(s.prompter.all().isEmpty(), qPrintable(s.prompter.all().join(u'\n')));
    QCOMPARE(w->Edit1->text(), QString());
    QSqlQuery row(s.dm->Con1());
    QVERIFY(row.exec(u"select IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, IOWay, DOOR, NET from PSIO"_s));
    QVERIFY(row.next());
    QCOMPARE(row.value(0).toString(), u"A123456789"_s);
    QCOMPARE(row.value(1).toString(), u"1140503"_s);
    QCOMPARE(row.value(2).toString(), u"090500"_s);
    QCOMPARE(row.value(3).toString(), u"0"_s);
    QCOMPARE(row.value(4).toString(), MorningLesson);
    QCOMPARE(row.value(5).toString(), u"KB"_s);
    QCOMPARE(row.value(6).toString(), u"07"_s);
    QCOMPARE(row.value(7).toString(), u"N"_s);
    QVERIFY(!row.next());
    QCOMPARE(s.sounds.played, QStringList{u"RolvanOK.wav"_s});
    QCOMPARE(w->LabIO.at(0)->text(), u"000101 王小明 09:05簽到  "_s);
    QCOMPARE(w->LabIO.at(0)->toolTip(), u"A123456789"_s);
    QCOMPARE(w->TypeButtons.at(0)->text(), u"簽到(1)"_s);

    // The on-screen keypad: five keys record with the way "SC"; the title shows the keys.
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 6, 30)));
    QTest::mouseClick(w->BitBtn5, Qt::LeftButton);
    QVERIFY(w->Panel3->isVisible());
    QVERIFY(w->BitBtn5->isHidden());
    QVERIFY(w->Edit1->geometry().right() < w->Panel3->geometry().left());
    for (const QString &d : {u"9"_s, u"8"_s, u"7"_s, u"6"_s})
        Key(s, d);
    QCOMPARE(w->LabelKeypad->text(), u"9876"_s);
    QCOMPARE(s.Events(u"B223498765"_s), 0);
    Key(s, u"5"_s);
    QCOMPARE(w->LabelKeypad->text(), u"螢幕輸入"_s);
    QCOMPARE(s.Events(u"B223498765"_s, u"SC"_s), 1);
    QCOMPARE(w->LabIO.at(0)->text(), u"000102 李美華 09:06簽到  "_s);
    QCOMPARE(w->LabIO.at(1)->text(), u"000101 王小明 09:05簽到  "_s);
    Shot(w, u"mainscreen-keypad"_s);
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    QVERIFY(w->Panel3->isHidden());
    QVERIFY(!w->BitBtn5->isHidden());

    // The same person again: greeted with the first time, no second row, the other sound.
    TypeEntry(w, u"56789"_s);
    QCOMPARE(s.Events(u"A123456789"_s), 1);
    QCOMPARE(s.sounds.last(), u"RolvanDup.wav"_s);
    QCOMPARE(w->LabIO.at(0)->text(), u"000101 王小明09:05 已簽到"_s);
    QCOMPARE(w->TypeButtons.at(0)->text(), u"簽到(2)"_s);

    // The right mouse button on a history line deletes its event after a confirmation; the
    // line stays.
    s.prompter.queueButton(Prompter::Button::Yes);
    QTest::mouseClick(w->LabIO.at(1), Qt::RightButton);
    QCOMPARE(s.prompter.asked.size(), 1);
    QCOMPARE(s.prompter.asked.first(), u"000102 李美華 09:06簽到  \n紀錄是否確定刪除?"_s);
    QCOMPARE(s.Events(u"B223498765"_s), 0);
    QCOMPARE(w->LabIO.at(1)->text(), u"000102 李美華 09:06簽到  "_s);

    // Nobody of the class: the failure label, the error sound, nothing stored.
    TypeEntry(w, u"00000"_s);
    QVERIFY(w->LabIoOk->isVisible());
    QCOMPARE(w->LabIoOk->text(), u"(00000)無此身分證字號"_s);
    QCOMPARE(w->LabIoOk->geometry().top(), w->Label10->geometry().top());
    QCOMPARE(s.sounds.last(), u"RolvanError.wav"_s);
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), 1);
    Shot(w, u"mainscreen-failure"_s);
    // A wrong length is refused before anything is looked up, on the failure line.
    TypeEntry(w, u"1234567"_s);
    QCOMPARE(w->LabIoOk->text(), u"輸入資料有問題"_s);
    // The next good entry hides the failure label again.
    TypeEntry(w, u"54321"_s);
    QVERIFY(w->LabIoOk->isHidden());
    QCOMPARE(s.Events(u"C187654321"_s), 1);
}

void TestTFmRolvan::keypadEditing()
{
    StationHome s;
    s.Open();
    TFmRolvan *w = s.window.get();
    QTest::mouseClick(w->BitBtn5, Qt::LeftButton);
    // Only digits: the identity fragment has no letters unless the station says so.
    QVERIFY(w->LetterButtons.first()->isHidden());

    Key(s, u"1"_s);
    Key(s, u"2"_s);
    QTest::mouseClick(w->BitBtn6, Qt::LeftButton);
    QCOMPARE(w->LabelKeypad->text(), u"1"_s);
    QTest::mouseClick(w->BitBtn6, Qt::LeftButton);
    QCOMPARE(w->LabelKeypad->text(), u"螢幕輸入"_s);
    QTest::mouseClick(w->BitBtn6, Qt::LeftButton);
    QCOMPARE(w->LabelKeypad->text(), u"螢幕輸入"_s);
    for (const QString &d : {u"1"_s, u"1"_s, u"2"_s, u"2"_s})
        Key(s, d);
    QTest::mouseClick(w->findChild<QPushButton *>(u"BitBtn7"_s), Qt::LeftButton);
    QCOMPARE(w->LabelKeypad->text(), u"螢幕輸入"_s);
    // A discarded text is never recorded: the next five keys are an entry of their own.
    for (const QString &d : {u"1"_s, u"1"_s, u"2"_s, u"2"_s, u"3"_s})
        Key(s, d);
    QCOMPARE(s.Events(u"D220011223"_s, u"SC"_s), 1);
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), 1);
}

void TestTFmRolvan::classChosenInTheClassWindow()
{
    StationHome s;
    s.Open();
    TFmRolvan *w = s.window.get();
    const int rid = QueryValue(u"select RID from Courses"_s).toInt();

    // "講習選定", then "開始簽到退" on the same class: the lesson and the type chosen before stay,
    // so the next attendee is recorded as before.
    bool driven = false;
    QTimer::singleShot(0, w, [&] {
        auto *setup = qobject_cast<TFmSetup *>(QApplication::activeModalWidget());
        QVERIFY(setup);
        QVERIFY(!w->station().ClassChosenByUser);
        QTRY_VERIFY(setup->rowCount() > 0);
        QVERIFY(setup->SelectClass(rid));
        setup->BitBtn7Click();
        driven = true;
    });
    const int activations = w->activationCount();
    QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
    QVERIFY(driven);
    QVERIFY(w->station().ClassChosenByUser);
    QCOMPARE(G().CurrentClassKey, ClassKey);
    QCOMPARE(w->PanelClass->text(), u"講習：職業安全衛生教育訓練"_s);
    QCOMPARE(w->ComboBox1->count(), 2);
    QCOMPARE(w->ComboBox1->currentText(), u"0001:職業安全法規(09:00)"_s);
    QVERIFY(w->TypeButtons.at(0)->isChecked());
    // The return from the class window runs the activation once.
    QTest::qWait(50);
    QCOMPARE(w->activationCount(), activations + 1);

    TypeEntry(w, u"56789"_s);
    QCOMPARE(QueryValue(u"select INDEX_KEY from PSIO where IDNO = 'A123456789'"_s).toString(), MorningLesson);

    // Choosing the afternoon lesson from the box makes the station ready for it; the staff then
    // pick the type.
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(13, 5, 0)));
    w->ComboBox1->setCurrentIndex(1);
    emit w->ComboBox1->activated(1);
    QCOMPARE(w->station().VINDEX_IO, u"ABC12345678000213:00"_s);
    QTest::mouseClick(w->TypeButtons.at(0), Qt::LeftButton);
    QVERIFY(w->TypeButtons.at(0)->isChecked());
    TypeEntry(w, u"98765"_s);
    QCOMPARE(QueryValue(u"select INDEX_KEY from PSIO where IDNO = 'B223498765'"_s).toString(),
             u"ABC12345678000213:00"_s);

    // Leaving the class window without a choice: the station falls back to the automatic
    // choice, which finds the same class of today.
    QTimer::singleShot(0, w, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            static_cast<QDialog *>(modal)->reject();
    });
    QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
    QVERIFY(!w->station().ClassChosenByUser);
    QVERIFY(w->station().ClassChosenAuto);
    QCOMPARE(w->PanelClass->text(), u"講習：職業安全衛生教育訓練"_s);
}

void TestTFmRolvan::historyRowsFollowTheWindowHeight()
{
    StationHome s({{IniKey::PhotoOnSign, u"True"_s}, {IniKey::CameraDevice, u"-1"_s}});
    s.Open();
    TFmRolvan *w = s.window.get();
    QVERIFY(!w->camera()); // device -1: the station runs without a camera

    // Just enough for six rows: the seventh to ninth and their pictures are hidden.
    w->resize(980, 520);
    QTRY_COMPARE(w->height(), 520);
    QVERIFY(!w->LabIO.at(5)->isHidden());
    QVERIFY(!w->Image.at(5)->isHidden());
    for (int i = 6; i < 9; ++i) {
        QVERIFY(w->LabIO.at(i)->isHidden());
        QVERIFY(w->Image.at(i)->isHidden());
    }
    w->resize(618, 513);
    QTRY_COMPARE(w->size(), QSize(618, 513));
    Shot(w, u"mainscreen-minimum"_s);
    w->resize(980, 710);
    QTRY_COMPARE(w->height(), 710);
    for (int i = 0; i < 9; ++i) {
        QVERIFY(!w->LabIO.at(i)->isHidden());
        QVERIFY(!w->Image.at(i)->isHidden());
    }
    // Everything of the right column stays inside the window.
    for (QWidget *widget : std::initializer_list<QWidget *>{w->BitBtn2, w->BitBtnClose, w->Panel2, w->Edit1, w->BitBtn3, w->BitBtn5})
        QVERIFY2(w->rect().contains(widget->geometry()), qPrintable(widget->objectName()));
}

void TestTFmRolvan::cameraPreviewAndPicturesBesideTheHistory()
{
    StationHome s({{IniKey::PhotoOnSign, u"True"_s}, {IniKey::CameraDevice, u"0"_s},
                   {IniKey::IOKeyboard, u"True"_s}});
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, s.home.filePath(u"pictures"_s));
    s.Open();
    TFmRolvan *w = s.window.get();
    QVERIFY(w->camera());
    QVERIFY(w->PanelVideo->isVisible());
    QVERIFY(w->ComboBox2->count() > 0);

    TypeEntry(w, u"56789"_s);
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 7, 12)));
    TypeEntry(w, u"98765"_s);
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), 2);
    // Each event has its snapshot under the year-and-month folder, shown beside its line.
    const QString first = s.home.filePath(u"pictures/11405/"_s) + ClassKey
        + u"A12345678911405030905000KB.jpg"_s;
    QVERIFY2(QFile::exists(first), qPrintable(first));
    QVERIFY(!w->Image.at(0)->pixmap().isNull());
    QVERIFY(!w->Image.at(1)->pixmap().isNull());
    QVERIFY(w->Image.at(2)->pixmap().isNull());
    // The caret is back in the input field after the entry.
    QVERIFY(w->Edit1->hasFocus());
    QTest::qWait(150); // a few camera frames for the preview
    Shot(w, u"mainscreen-photo"_s);
}

// The time server fails (nobody on its port, or a server that never answers) while attendees
// keep typing as at any desk: every entry is recorded. The synchronisation never holds the
// window, and its reminder is a notice on the screen that leaves the keyboard with the field,
// answered by the mouse, and brings no new activation with it. The boxes are real ones here.
void TestTFmRolvan::entriesTypedWhileTheTimeServerFailsAreAllRecorded_data()
{
    QTest::addColumn<bool>("silent");
    QTest::newRow("nobody on the port") << false;
    QTest::newRow("a server that never answers") << true;
}

void TestTFmRolvan::entriesTypedWhileTheTimeServerFailsAreAllRecorded()
{
    QFETCH(bool, silent);

    QUdpSocket server; // bound and never read: a silent time server
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    const quint16 port = server.localPort();
    if (!silent)
        server.close(); // the port is free again: the system refuses it
    StationHome s({{IniKey::IOKeyboard, u"True"_s},
                   {IniKey::ClockServer, u"127.0.0.1:"_s + QString::number(port)}});
    s.Open();
    TFmRolvan *w = s.window.get();
    WidgetPrompter boxes(w);
    SetCurrentPrompter(&boxes);
    ClockSync sync(w->station(), *s.dm);
    w->SetClockSync(&sync);

    // A keyboard: one attendee's five digits and Enter every 250 ms, into whatever has the
    // keyboard focus, for about four seconds: past the client's three-second time-out.
    const QStringList entries = {u"56789"_s, u"98765"_s, u"54321"_s, u"11223"_s, u"44556"_s};
    int typed = 0;
    QTimer keyboard;
    keyboard.setInterval(250);
    connect(&keyboard, &QTimer::timeout, w, [&] {
        QWidget *target = QApplication::focusWidget();
        if (!target)
            target = QApplication::activeWindow();
        if (typed < entries.size() * 3 && target) {
            // Each attendee a few times: the repeated ones are greeted, not stored again.
            QTest::keyClicks(target, entries.at(typed % entries.size()));
            QTest::keyClick(target, Qt::Key_Return);
        }
        ++typed;
    });
    // Whatever box is left open when the keyboard is done gets closed, so the test ends.
    QTimer closer;
    closer.setInterval(100);
    connect(&closer, &QTimer::timeout, w, [&] {
        if (typed > entries.size() * 3)
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
    });
    keyboard.start();
    closer.start();
    const int activations = w->activationCount();
    w->FormActivate(); // back from another program: the activation, and its "ST" attempt
    QTRY_VERIFY_WITH_TIMEOUT(typed > entries.size() * 3, 10000);
    keyboard.stop();
    // Past second 00 of the odd minute: the timer starts no further attempt; the last one ends.
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 5, 30)));
    QTRY_VERIFY_WITH_TIMEOUT(!sync.running(), 15000);

    for (const QString &idno : {u"A123456789"_s, u"B223498765"_s, u"C187654321"_s,
                                u"D220011223"_s, u"E100044556"_s})
        QCOMPARE(s.Events(idno), 1);
    QCOMPARE(QueryValue(u"select count(*) from PSIO where NTP = 'N'"_s).toInt(), 5);
    QCOMPARE(QueryValue(u"select count(*) from TimeLog where STATUS like '%ERR'"_s).toInt() >= 1, true);

    // The reminder: one notice, no box, the caret still in the field.
    QVERIFY(!QApplication::activeModalWidget());
    QTRY_VERIFY(w->ClockNotice->isVisible());
    QCOMPARE(w->ClockNotice->Text->text(), ClockSync::ReminderText.trimmed());
    QVERIFY(w->Edit1->hasFocus());
    Shot(w, u"mainscreen-clock-reminder"_s);
    // Typing while it is open still records, and the notice stays where it is.
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 6, 0)));
    TypeEntry(w, u"56789"_s);
    QCOMPARE(w->LabIO.at(0)->text(), u"000101 王小明09:05 已簽到"_s);
    // "別再提了": the notice goes, no new activation comes, the next failure is quiet.
    QTest::mouseClick(w->ClockNotice->Silence, Qt::LeftButton);
    QVERIFY(!w->ClockNotice->isVisible());
    QVERIFY(w->Edit1->hasFocus());
    QVERIFY(!sync.NtpRemind());
    QTest::qWait(100);
    QCOMPARE(w->activationCount(), activations + 1);

    // A reminder that comes while an attendee is typing waits until the field is empty again.
    QTest::keyClicks(w->Edit1, u"12"_s);
    QSignalSpy done(&sync, &ClockSync::finished);
    QVERIFY(sync.set_SNTP(u"ST"_s));
    QVERIFY(done.wait(10000));
    QVERIFY(!w->ClockNotice->isVisible());
    QCOMPARE(w->Edit1->text(), u"12"_s);
    w->Edit1->clear();
    QVERIFY(w->ClockNotice->isVisible());
    QVERIFY(w->Edit1->hasFocus());
    w->SetClockSync(nullptr);
    SetCurrentPrompter(&s.prompter);
}

// The picture folder cannot take the snapshot: the event is stored all the same, and the screen
// says so ("相片未儲存：<reason>") until a snapshot is stored again.
void TestTFmRolvan::snapshotThatCannotBeStoredIsShownUntilOneIs()
{
    StationHome s({{IniKey::PhotoOnSign, u"True"_s}, {IniKey::CameraDevice, u"0"_s},
                   {IniKey::IOKeyboard, u"True"_s}});
    // A file where the picture folder should be: no sub-folder can be made under it.
    const QString blocked = s.home.filePath(u"pictures"_s);
    {
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, blocked);
    s.Open();
    TFmRolvan *w = s.window.get();
    QVERIFY(w->camera());
    QTest::qWait(150); // a camera frame

    TypeEntry(w, u"56789"_s);
    QCOMPARE(s.Events(u"A123456789"_s), 1);
    QVERIFY(w->LabPhotoWarn->isVisible());
    QVERIFY2(w->LabPhotoWarn->text().startsWith(u"相片未儲存："_s), qPrintable(w->LabPhotoWarn->text()));
    QVERIFY(w->LabPhotoWarn->text().size() > 6);
    QVERIFY(w->PanelVideo->geometry().contains(w->LabPhotoWarn->geometry()));
    QVERIFY(!QApplication::activeModalWidget());
    Shot(w, u"mainscreen-snapshot-warning"_s);
    // Still there after the next entry that fails the same way.
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 6, 0)));
    TypeEntry(w, u"98765"_s);
    QVERIFY(w->LabPhotoWarn->isVisible());

    // The folder can be made again: the next snapshot is stored and the warning goes.
    QVERIFY(QFile::remove(blocked));
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 7, 0)));
    TypeEntry(w, u"54321"_s);
    QCOMPARE(s.Events(u"C187654321"_s), 1);
    QVERIFY(w->LabPhotoWarn->isHidden());
    QVERIFY(!w->Image.at(0)->pixmap().isNull());
}

// An activation that ends in an error box: closing the box gives the window back, and that is
// no new activation (which would show the box again, and again). The boxes are real ones.
void TestTFmRolvan::closingABoxOfTheStationIsNoNewActivation()
{
    StationHome s;
    s.Open();
    TFmRolvan *w = s.window.get();
    WidgetPrompter boxes(w);
    SetCurrentPrompter(&boxes);
    // A shared database that is not connected: the activation stops with its message.
    WriteIniSetting(IniSection::Base, IniKey::UseNetDb, u"True"_s);
    s.dm->CloseWorking();

    int closed = 0;
    bool boxHadTheKeyboard = false;
    QTimer closer;
    closer.setInterval(50);
    connect(&closer, &QTimer::timeout, w, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++closed;
            boxHadTheKeyboard = !w->isActiveWindow();
            modal->close();
            // The window manager gives the keyboard back to the window.
            QApplication::setActiveWindow(w);
        }
    });
    closer.start();
    const int activations = w->activationCount();
    QCOMPARE(w->FormActivate(), MainActivation::Outcome::Stopped);
    QTest::qWait(600);
    QCOMPARE(closed, 1);
    QVERIFY(boxHadTheKeyboard);
    QCOMPARE(w->activationCount(), activations + 1);
    QVERIFY(w->isActiveWindow());

    // Another program had the keyboard: its return is an activation, as always.
    WriteIniSetting(IniSection::Base, IniKey::UseNetDb, u"False"_s);
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(w);
    QTRY_COMPARE(w->activationCount(), activations + 2);
    SetCurrentPrompter(&s.prompter);
}

// A station that shows the name as the identity: the header has one name column, not two.
void TestTFmRolvan::historyHeaderNamesTheNameOnce()
{
    StationHome s({{IniKey::IdentityShowKind, u"姓名"_s}});
    s.Open();
    TFmRolvan *w = s.window.get();
    QVERIFY2(w->Label5->text().startsWith(u"姓名  "_s), qPrintable(w->Label5->text()));
    QCOMPARE(w->Label5->text().count(u"姓名"_s), 1);
    QVERIFY(w->Label5->text().contains(u"時間"_s));
    TypeEntry(w, u"56789"_s);
    QCOMPARE(w->LabIO.at(0)->text().count(u"王小明"_s), 1);
}

// An entry the station refuses (an empty Enter, a wrong length, nobody of the class) is said on
// the failure line with the error sound, never in a box that would take the next attendee's
// digits and Enter; the field is emptied and keeps the caret, and the line goes by itself a few
// seconds later by the station's clock.
void TestTFmRolvan::entryErrorsShowOnTheScreenAndGo_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byButton"); // "確認" instead of Enter
    QTest::addColumn<QString>("shown");

    QTest::newRow("empty Enter") << QString() << false << u"輸入資料有問題"_s;
    QTest::newRow("four digits") << u"1234"_s << false << u"輸入資料有問題"_s;
    QTest::newRow("four digits, 確認") << u"1234"_s << true << u"輸入資料有問題"_s;
    QTest::newRow("nobody of the class") << u"00000"_s << false << u"(00000)無此身分證字號"_s;
    QTest::newRow("nobody of the class, 確認") << u"00000"_s << true << u"(00000)無此身分證字號"_s;
}

void TestTFmRolvan::entryErrorsShowOnTheScreenAndGo()
{
    QFETCH(QString, typed);
    QFETCH(bool, byButton);
    QFETCH(QString, shown);

    StationHome s({{IniKey::IOKeyboard, u"True"_s}});
    s.Open();
    TFmRolvan *w = s.window.get();
    w->Edit1->setFocus();
    QTest::keyClicks(w->Edit1, typed);
    if (byButton)
        QTest::mouseClick(w->BitBtn3, Qt::LeftButton);
    else
        QTest::keyClick(w->Edit1, Qt::Key_Return);

    QVERIFY2(s.prompter.all().isEmpty(), qPrintable(s.prompter.all().join(u'\n')));
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(w->LabIoOk->isVisible());
    QCOMPARE(w->LabIoOk->text(), shown);
    QCOMPARE(s.sounds.played, QStringList{u"RolvanError.wav"_s});
    QCOMPARE(w->Edit1->text(), QString());
    QVERIFY(w->Edit1->hasFocus());
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), 0);
    Shot(w, u"mainscreen-entry-error"_s);

    // The next attendee's digits go into the field and are recorded.
    s.clock.advanceSeconds(2);
    TypeEntry(w, u"56789"_s);
    QCOMPARE(s.Events(u"A123456789"_s), 1);
    QVERIFY(w->LabIoOk->isHidden());

    // Refused again: the line stays a few seconds of the station's clock, then goes.
    TypeEntry(w, typed);
    QVERIFY(w->LabIoOk->isVisible());
    s.clock.advanceSeconds(TFmRolvan::FailureSeconds - 1);
    w->Timer1Timer();
    QVERIFY(w->LabIoOk->isVisible());
    s.clock.advanceSeconds(1);
    w->Timer1Timer();
    QVERIFY(w->LabIoOk->isHidden());
    QVERIFY(s.prompter.all().isEmpty());
}

// "離開" in the class window without "開始簽到退" leaves the station on the class and lesson it
// served, whatever class the window stood on; the next entries go to that class.
void TestTFmRolvan::leavingTheClassWindowKeepsTheClassServed()
{
    StationHome s({{IniKey::IOKeyboard, u"True"_s}});
    s.Open();
    TFmRolvan *w = s.window.get();
    // A second class held today, after the first in the list, with one of the same persons.
    const QString otherKey = u"DEF8765432102"_s;
    QVERIFY(ExecSqlOn(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet, "
                      "TimeStart, TimeEnd, Bookin, SignType, Signer) values (?,?,?,?,?,?,?,?,?,?,?)"_s,
                      s.dm->Con1(),
                      {u"DEF87654321"_s, u"02"_s, u"急救人員訓練"_s, u"2025/05/03"_s, u"2025/05/03"_s,
                       u"1"_s, u"09:00"_s, u"12:00"_s, 1, u"110000"_s, u"內外"_s}));
    QVERIFY(ExecSqlOn(u"insert into Course (INDEX_KEY, CNo4, Subject, DateStart, TimeStart, TimeEnd, Hours) "
                      "values (?,?,?,?,?,?,?)"_s,
                      s.dm->Con1(), {otherKey, u"0001"_s, u"急救實務"_s, u"2025/05/03"_s, u"09:00"_s, u"12:00"_s, 3}));
    QVERIFY(ExecSqlOn(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME) values (?,?,?,?)"_s, s.dm->Con1(),
                      {otherKey, u"A123456789"_s, u"000101"_s, u"王小明"_s}));
    const int ridFirst = QueryValue(u"select RID from Courses where CourseId = ?"_s, {u"ABC12345678"_s}).toInt();
    const int ridOther = QueryValue(u"select RID from Courses where CourseId = ?"_s, {u"DEF87654321"_s}).toInt();
    QCOMPARE(G().CurrentClassKey, ClassKey); // the first class of today, chosen at the start

    // The class window: the list moved to a class, then "開始簽到退" or "離開".
    bool driven = false;
    const auto inClassWindow = [&](int rid, bool startSigning) {
        driven = false;
        QTimer::singleShot(0, w, [&, rid, startSigning] {
            auto *setup = qobject_cast<TFmSetup *>(QApplication::activeModalWidget());
            if (!setup)
                return;
            QTRY_VERIFY(setup->rowCount() > 0);
            QVERIFY(setup->SelectClass(rid));
            driven = true;
            if (startSigning)
                setup->BitBtn7Click();
            else
                QTest::mouseClick(setup->BitBtnClose, Qt::LeftButton);
        });
        QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
    };
    inClassWindow(ridOther, true);
    QVERIFY(driven);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(w->PanelClass->text(), u"講習：急救人員訓練"_s);
    QCOMPARE(w->ComboBox1->currentText(), u"0001:急救實務(09:00)"_s);

    // Back in the class window, the list moved to the first class, then "離開".
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(9, 10, 0)));
    inClassWindow(ridFirst, false);
    QVERIFY(driven);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(G().CurrentClassKey, otherKey);
    QCOMPARE(w->station().ClassKey, otherKey);
    QCOMPARE(w->PanelClass->text(), u"講習：急救人員訓練"_s);
    QCOMPARE(w->ComboBox1->currentText(), u"0001:急救實務(09:00)"_s);
    QVERIFY(w->TypeButtons.at(0)->isChecked());
    // The next activation chooses no other class either.
    w->FormActivate();
    QCOMPARE(w->PanelClass->text(), u"講習：急救人員訓練"_s);

    TypeEntry(w, u"56789"_s);
    QCOMPARE(QueryValue(u"select INDEX_KEY from PSIO where IDNO = 'A123456789'"_s).toString(),
             u"DEF87654321000109:00"_s);
    QCOMPARE(w->LabIO.at(0)->text(), u"000101 王小明 09:10簽到  "_s);
}

// A new home has no 上課前幾分鐘開始簽到: 0 minutes, which the settings call 不限制, so a lesson
// takes sign-ins long before it starts. The settings window saves 60 there; that counts as soon
// as the station is back from the administration menu, not at the next start, and a refused
// "簽到" names the window that applies.
void TestTFmRolvan::savedSettingsCountWhenTheStationIsBack()
{
    StationHome s({{IniKey::IOKeyboard, u"True"_s}, {IniKey::CameraDevice, u"-1"_s}});
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(7, 51, 0)));
    s.Open();
    TFmRolvan *w = s.window.get();
    QCOMPARE(w->ComboBox1->currentText(), u"0001:職業安全法規(09:00)"_s);
    QVERIFY(w->TypeButtons.at(0)->isChecked());

    // 系統管理, 系統設定, 儲存設定 (its list of changes confirmed), 離開, 結束.
    bool saved = false;
    QTimer::singleShot(0, w, [&] {
        auto *menu = qobject_cast<TFmSysManager *>(QApplication::activeModalWidget());
        if (!menu)
            return;
        QTimer::singleShot(0, menu, [&] {
            auto *settings = qobject_cast<TfmDBPath *>(QApplication::activeModalWidget());
            if (!settings)
                return;
            s.prompter.queueButton(Prompter::Button::Yes);
            QTest::mouseClick(settings->BitBtn1, Qt::LeftButton);
            saved = ReadIniSetting(IniSection::Base, IniKey::MinutesBeforeStart, QString(), QString()) == u"60"_s;
            QTest::mouseClick(settings->BitBtn2, Qt::LeftButton);
        });
        QTest::mouseClick(menu->BitBtn1, Qt::LeftButton);
        QTest::mouseClick(menu->BitBtn4, Qt::LeftButton);
    });
    QTest::mouseClick(w->BitBtn11, Qt::LeftButton);
    QVERIFY(saved);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(s.prompter.asked.size(), 1); // the list of changes, nothing else

    // 07:51 is outside the 60 minutes before 09:00: no type is checked, and 簽到 says why.
    QCOMPARE(w->ComboBox1->currentText(), u"0001:職業安全法規(09:00)"_s);
    for (QRadioButton *b : std::as_const(w->TypeButtons))
        QVERIFY2(!b->isChecked(), qPrintable(b->objectName()));
    QTest::mouseClick(w->TypeButtons.at(0), Qt::LeftButton);
    QVERIFY(!w->TypeButtons.at(0)->isChecked());
    QCOMPARE(s.prompter.messages, QStringList{u"上課前60分鐘內始得簽到!（08:00～12:00）"_s});
    s.clock.set(QDateTime(QDate(2025, 5, 3), QTime(8, 0, 0)));
    QTest::mouseClick(w->TypeButtons.at(0), Qt::LeftButton);
    QVERIFY(w->TypeButtons.at(0)->isChecked());
    QCOMPARE(s.prompter.messages.size(), 1);
}

QTEST_MAIN(TestTFmRolvan)
#include "tst_tfmrolvan.moc"
