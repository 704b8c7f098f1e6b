#include "station/LessonSelection.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/Flags.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/ClassDayProfile.h"
#include "core/ClassRecord.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "station/StationState.h"

#include <QDebug>
#include <QSqlQuery>
#include <QSqlRecord>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString Zeros24 = u"000000000000000000000000"_s;
const QString NoTypeCaption = u"本日無課程明細資料 或重選今日課程"_s;
const QString NoClassCaption = u"講習：進入講習選定點選講習"_s;
const QString TooEarlyMessage = u"上課前60分鐘內始得簽到!"_s;
const QString TooLateMessage = u"下課已逾60分鐘不得簽退!"_s;

// The six type codes in the order of SignTypeFlags, WinStart and WinEnd.
const QStringList TypeCodes = {u"0"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s};

// Distance between the columns of type buttons in Panel1, and the first column's left.
constexpr int FirstLeft = 11;
constexpr int ColumnStep = 151;

QString TodayTextOf(const QDate &date)
{
    return date.toString(u"yyyy/MM/dd"_s);
}

QString RocOf(const QDate &date)
{
    return FormatDateByPattern(u"YYYMMDD"_s, date);
}

// A stored date "YYYY/MM/DD" (month and day may have one digit); nothing when unreadable.
std::optional<QDate> StoredDate(const QString &text)
{
    const QString t = text.trimmed();
    for (const QString &format : {u"yyyy/MM/dd"_s, u"yyyy/M/d"_s}) {
        const QDate date = QDate::fromString(t, format);
        if (date.isValid())
            return date;
    }
    return std::nullopt;
}

// Whether character k (1-based) of DateBet is "1".
bool DayFlagSet(const QString &dateBet, qint64 k)
{
    return k >= 1 && k <= dateBet.size() && dateBet.at(k - 1) == u'1';
}

// The classes running on a day ("YYYY/MM/DD"), in the order they were stored.
QList<ClassRecord> ClassesRunningOn(QSqlDatabase db, const QString &today)
{
    QSqlQuery query = RunQueryAsIs(
        u"select * from Courses where ( DateStart <= ? and DateEnd >= ? ) order by RID"_s, db,
        {today, today});
    QList<ClassRecord> rows;
    while (query.next())
        rows.append(ClassRecord::FromSqlRecord(query.record()));
    return rows;
}

// The class of a class key; nothing when there is none.
std::optional<ClassRecord> ClassOfKey(QSqlDatabase db, const QString &classKey)
{
    if (classKey.size() < 3)
        return std::nullopt;
    QSqlQuery query = RunQueryAsIs(u"select * from Courses where trim(CourseId) = ? order by RID"_s,
                                   db, {classKey.chopped(2)});
    while (query.next()) {
        ClassRecord record = ClassRecord::FromSqlRecord(query.record());
        if (ClassKeyOf(record.CourseId, record.Echelon) == classKey)
            return record;
    }
    return std::nullopt;
}

// a - b on times of the same form ("HH:MM" or "HHMM"); a time before midnight's start stays
// at 00:00 instead of wrapping into the wrong hour.
QString TimeMinus(const QString &a, const QString &b)
{
    if (a < b)
        return (a.contains(u':') || b.contains(u':')) ? u"00:00"_s : u"0000"_s;
    return TimeCalc(a, u"-"_s, b);
}

QString TimePlus(const QString &a, const QString &b)
{
    return TimeCalc(a, u"+"_s, b);
}

// A four-digit "HHMM" field.
bool IsTimeField(const QString &field)
{
    if (field.size() != 4)
        return false;
    for (const QChar c : field) {
        if (!c.isDigit())
            return false;
    }
    return true;
}

QString Field(const QString &times, int index)
{
    const QString field = times.mid(index * 4, 4);
    return field.size() == 4 ? field : u"0000"_s;
}

} // namespace

// ---- Free routines ----------------------------------------------------------------------------

QString get_codes(const QString &itemText)
{
    const qsizetype colon = itemText.indexOf(u':');
    const QString number = colon >= 0 ? itemText.left(colon).trimmed() : QString();
    const qsizetype paren = itemText.indexOf(u'(');
    const QString start = paren >= 0 ? itemText.mid(paren + 1, 5).trimmed() : QString();
    return number + start;
}

QString amplify_Timestring(const QString &M, const QString &N)
{
    QString merged;
    for (int i = 0; i < 6; ++i) {
        QString m = Field(M, i);
        QString n = Field(N, i);
        if (m == u"0000")
            m = n;
        if (n == u"0000")
            n = m;
        merged += (i % 2 == 0) ? MinText(m, n) : MaxText(m, n);
    }
    return merged;
}

const TypeButtonView *TypePanelView::button(const QString &code) const
{
    for (const TypeButtonView &b : buttons) {
        if (b.code == code)
            return &b;
    }
    return nullptr;
}

// ---- LessonSelection ------------------------------------------------------------------------

LessonSelection::LessonSelection(StationState &station, const TDM &dm)
    : m_station(station)
    , m_dm(dm)
{
}

QString LessonSelection::ClassNumber(const QString &classKey) const
{
    return classKey.left(G().CourseNoLength).trimmed();
}

void LessonSelection::RunSettingsLoad()
{
    if (m_settingsLoader)
        m_settingsLoader();
    else
        LoadLessonSettings();
}

// ---- Today's class ----------------------------------------------------------------------------

bool LessonSelection::CheckVDefaultChoice()
{
    m_station.ClassChosenAuto = false;
    const QDateTime now = CurrentClock().now();
    const QDate today = now.date();
    const QString todayText = TodayTextOf(today);
    const QString nowText = now.time().toString(u"HH:mm"_s);
    const bool noLeadTime = m_station.BeforeStart == u"00:00";

    const QList<ClassRecord> classes = ClassesRunningOn(m_dm.Con1(), todayText);

    // Held today: its first or last day, or a day its DateBet marks.
    auto heldToday = [&](const ClassRecord &r) {
        if (todayText == r.DateStart.trimmed() || todayText == r.DateEnd.trimmed())
            return true;
        const auto first = StoredDate(r.DateStart);
        return first && DayFlagSet(r.DateBet, first->daysTo(today) + 1);
    };

    const ClassRecord *chosen = nullptr;
    if (classes.size() == 1) {
        const ClassRecord &r = classes.first();
        if (heldToday(r)) {
            QString s = r.TimeStart.trimmed().left(5);
            QString e = r.TimeEnd.trimmed().left(5);
            if (!s.isEmpty() && !e.isEmpty()) {
                s = TimeMinus(s, m_station.BeforeStart);
                e = TimePlus(e, m_station.AfterEnd);
            }
            if ((s < nowText && nowText < e) || noLeadTime || !m_station.autoSyncModule)
                chosen = &r;
        }
    } else {
        for (const ClassRecord &r : classes) {
            if (!heldToday(r))
                continue;
            const QString s = TimeMinus(r.TimeStart.trimmed().left(5), m_station.BeforeStart);
            const QString e = TimePlus(r.TimeEnd.trimmed().left(5), m_station.AfterEnd);
            if ((s <= nowText && nowText <= e) || noLeadTime) {
                chosen = &r;
                break;
            }
        }
    }

    if (!chosen)
        return false;
    G().CurrentClassKey = chosen->CourseId.trimmed() + ZeroPad(StrToIntSafe(chosen->Echelon), 2);
    m_station.ClassChosenAuto = true;
    m_station.StationReady = true;
    return true;
}

bool LessonSelection::ChooseTodaysClass()
{
    if (!CheckVDefaultChoice())
        return false;
    // A restart keeps what the station served before, when it is this class today.
    if (!m_keep)
        m_keep = RememberedSelection();
    return LoadChosenClass(Reason::Activation);
}

bool LessonSelection::ClassWindowClosed(bool startedSigning)
{
    m_station.ClassChosenByUser = startedSigning;
    if (!startedSigning) {
        m_station.StationReady = false;
        m_station.ClassCaption = NoClassCaption;
        m_station.TimerOn = false;
        m_station.ClassKey.clear();
        CheckVDefaultChoice();
    }
    if (!m_station.classChosen())
        return false;
    return LoadChosenClass(Reason::ClassWindow);
}

QString LessonSelection::LessonAroundNow(const QString &classKey) const
{
    const QString lim = MinutesToTimeText(m_station.AutoSwitchLimit, u":"_s);
    const QString nowText = CurrentClock().now().time().toString(u"HH:mm"_s);
    const QString t1 = TimePlus(nowText, lim);
    const QString t2 = TimeMinus(nowText, lim);
    const QStringList around = QueryToListOn(
        u"codeSubject"_s,
        u"select coalesce(CNo4, '') || ':' || coalesce(Subject, '') || '(' || coalesce(TimeStart, '') || ')' as codeSubject "
        "from Course where Index_key like ? escape '\\' and DateStart = ? "
        "and ( ( TimeStart <= ? and ? <= TimeEnd ) or ( TimeStart <= ? and ? <= TimeEnd ) ) "
        "order by TimeStart, RID"_s,
        m_dm.Con1(), {BeginsWith(classKey), m_station.TodayText, t1, t1, t2, t2});
    return around.value(0);
}

// Whether now lies in the lesson's hours, widened by the sign-in lead before and the sign-out
// grace after, and by at least the automatic-switch limit either way.
bool LessonSelection::LessonInsideHours(const QString &classKey, const QString &lessonText) const
{
    const QString cno4 = lessonText.left(qMax<qsizetype>(0, lessonText.indexOf(u':'))).trimmed();
    const qsizetype paren = lessonText.indexOf(u'(');
    const QString start = paren >= 0 ? lessonText.mid(paren + 1, 5).trimmed() : QString();
    QSqlQuery query = RunQueryAsIs(
        u"select TimeStart, TimeEnd from Course where Index_key like ? escape '\\' "
        "and DateStart = ? and trim(CNo4) = ? and trim(TimeStart) = ?"_s,
        m_dm.Con1(), {BeginsWith(classKey), m_station.TodayText, cno4, start});
    if (!query.next())
        return false;
    const QString lim = MinutesToTimeText(m_station.AutoSwitchLimit, u":"_s);
    const QString before = MaxText(m_station.BeforeStart, lim);
    const QString after = MaxText(m_station.AfterEnd, lim);
    const QString from = TimeMinus(query.value(0).toString().trimmed().left(5), before);
    const QString to = TimePlus(query.value(1).toString().trimmed().left(5), after);
    const QString now = CurrentClock().now().time().toString(u"HH:mm"_s);
    return from <= now && now <= to;
}

bool LessonSelection::LoadChosenClass(Reason reason)
{
    const QString classKey = G().CurrentClassKey;
    const std::optional<ClassRecord> record = ClassOfKey(m_dm.Con1(), classKey);
    if (!record) {
        m_keep.reset();
        return false;
    }

    const QDateTime now = CurrentClock().now();
    m_station.TodayText = TodayTextOf(now.date());

    // The lesson: the one kept from before while it is still on, else the only one of today,
    // else the one around now. Leaving the box empty would refuse every entry until the staff
    // notice it.
    QString lesson;
    const QStringList items = LessonItems();
    const bool keepThisClass = m_keep && m_keep->classKey == classKey
        && m_keep->todayRoc == RocOf(now.date());
    if (keepThisClass && items.contains(m_keep->lessonText)
        && LessonInsideHours(classKey, m_keep->lessonText)) {
        lesson = m_keep->lessonText;
    } else if (items.size() == 1) {
        lesson = items.first();
    } else if (items.size() > 1) {
        lesson = LessonAroundNow(classKey);
    }

    m_station.ClassCaption = u"講習："_s + record->Course;
    m_station.ClassSigner = record->Signer;
    m_station.preBooking = record->Bookin.value_or(false);
    m_station.ClassKey = classKey;
    m_station.VINDEX_IO = classKey;
    // A lesson of another class must not survive into this one.
    m_station.CourseCode.clear();
    m_station.LessonText = lesson;
    if (reason == Reason::ClassWindow && record->DateStart.trimmed() == record->DateEnd.trimmed())
        m_station.SignTypeFlags = record->SignType;
    if (!lesson.trimmed().isEmpty()) {
        m_station.CourseCode = get_codes(lesson);
        m_station.VINDEX_IO = ClassNumber(classKey) + m_station.CourseCode;
    }
    RunSettingsLoad(); // keeps the type of a kept lesson while inside its window
    m_keep.reset();
    m_station.StationReady = true;
    return true;
}

// ---- The lesson box -------------------------------------------------------------------------

QStringList LessonSelection::LessonItems() const
{
    return QueryToListOn(
        u"codeSubject"_s,
        u"select coalesce(CNo4, '') || ':' || coalesce(Subject, '') || '(' || coalesce(TimeStart, '') || ')' as codeSubject "
        "from Course where Index_key like ? escape '\\' and DateStart = ? order by TimeStart, RID"_s,
        m_dm.Con1(), {BeginsWith(G().CurrentClassKey), m_station.TodayText});
}

void LessonSelection::ChooseLesson(const QString &itemText)
{
    m_station.CourseCode = get_codes(itemText);
    m_station.VINDEX_IO = ClassNumber(G().CurrentClassKey) + m_station.CourseCode;
    m_station.LessonText = itemText;
    RunSettingsLoad();
}

// ---- Station settings load ------------------------------------------------------------------

int LessonSelection::CountToday(const QString &code) const
{
    return QueryValueIn(u"select count(*) from PSIO where INDEX_KEY like ? escape '\\' and IOTYPE = ? and IODATE = ?"_s,
                        m_dm.Con1(), {BeginsWith(m_station.VINDEX_IO), code, RocOf(CurrentClock().today())})
        .toInt();
}

QString LessonSelection::TypeCaption(const QString &code) const
{
    const auto withCount = [](const QString &name, int n) -> QString {
        return name + u'(' + QString::number(n) + u')';
    };
    if (code == u"0")
        return withCount(u"簽到"_s, m_station.InCnt);
    if (code == u"1")
        return withCount(u"簽退"_s, m_station.OutCnt);
    if (code == u"2")
        return withCount(m_station.io3Cap, m_station.Io3Cnt);
    if (code == u"3")
        return withCount(m_station.io4Cap, m_station.Io4Cnt);
    if (code == u"4")
        return withCount(m_station.io5Cap, m_station.Io5Cnt);
    if (code == u"5")
        return withCount(m_station.io6Cap, m_station.Io6Cnt);
    return QString();
}

SettingsLoadView LessonSelection::LoadLessonSettings()
{
    SettingsLoadView view;
    const QDate today = CurrentClock().today();
    m_station.TodayRoc = RocOf(today);
    view.dateText = TodayTextOf(today);

    // Today's counts for the lesson.
    int *counters[] = {&m_station.InCnt, &m_station.OutCnt, &m_station.Io3Cnt,
                       &m_station.Io4Cnt, &m_station.Io5Cnt, &m_station.Io6Cnt};
    for (int i = 0; i < 6; ++i) {
        *counters[i] = CountToday(TypeCodes.at(i));
        view.captions.insert(TypeCodes.at(i), TypeCaption(TypeCodes.at(i)));
    }

    // The windows of this lesson first, so that the initial type is judged by them and not by
    // those of the lesson chosen before.
    LoadLessonProfile();

    // The initial type: the one kept for this class, day and lesson while inside its window,
    // else the one the windows give now. One sign-out stored for the lesson must not turn the
    // next late arrival into a sign-out.
    QString kept;
    if (m_keep && m_keep->classKey == m_station.ClassKey && m_keep->todayRoc == m_station.TodayRoc
        && m_keep->lessonText == m_station.LessonText)
        kept = m_keep->ioType;
    m_keep.reset();
    if (!kept.isEmpty() && Offered(kept) && InsideWindow(kept))
        CheckTypeSilently(kept);
    else
        CheckTypeSilently(InitialTypeByWindows());

    m_station.StationReady = true;
    if (!m_station.TimerOn) {
        m_station.jstart = true;
        m_station.TimerOn = true;
    }
    view.panel = FormRefresh();
    RememberSelection();
    return view;
}

// ---- Keeping the selection --------------------------------------------------------------------

LessonSelection::Selection LessonSelection::CurrentSelection() const
{
    return {m_station.ClassKey, m_station.TodayRoc, m_station.LessonText,
            m_station.TypeChecked ? m_station.CurrentIoType : QString()};
}

std::optional<LessonSelection::Selection> LessonSelection::RememberedSelection()
{
    const QString text = ReadIniSetting(IniSection::Base, IniKey::LastSignSelection, QString(), QString());
    const QStringList parts = text.split(u'|');
    if (parts.size() < 4 || parts.at(0).isEmpty())
        return std::nullopt;
    // The lesson item comes last: it is the only part that may hold a "|" of its own.
    return Selection{parts.at(0), parts.at(1), parts.mid(3).join(u'|'), parts.at(2)};
}

// Written when it changes, so that a restart finds it. A settings file that cannot be written
// costs only that memory.
void LessonSelection::RememberSelection()
{
    if (m_station.ClassKey.isEmpty())
        return;
    const Selection now = CurrentSelection();
    const QString text = QStringList{now.classKey, now.todayRoc, now.ioType, now.lessonText}.join(u'|');
    if (text == m_remembered)
        return;
    try {
        WriteIniSetting(IniSection::Base, IniKey::LastSignSelection, text);
        m_remembered = text;
    } catch (const RolvanError &error) {
        qWarning().noquote() << error.message();
    }
}

// ---- Class-day profile and time windows ------------------------------------------------------

void LessonSelection::get_ClassesNo()
{
    m_station.DayRefTimes = Zeros24;
    m_station.SignTypeFlags = u"000000"_s;
    m_station.RollCallOffered = false;
    m_station.TypeShift = 0;

    const QDate today = CurrentClock().today();
    const QString todayText = TodayTextOf(today);
    for (const ClassRecord &r : ClassesRunningOn(m_dm.Con1(), todayText)) {
        // A class of more than two days is held only on the days its DateBet marks.
        const auto first = StoredDate(r.DateStart);
        const auto last = StoredDate(r.DateEnd);
        const bool longClass = first && last && first->daysTo(*last) > 1;
        if (longClass && !DayFlagSet(r.DateBet, first->daysTo(today) + 1))
            continue;
        if (ClassKeyOf(r.CourseId, r.Echelon) != m_station.ClassKey)
            continue;

        const ClassDayProfile profile =
            get_IOtypeTimeString(m_dm.Con1(), m_station.ClassKey, todayText, m_station.CourseCode);
        m_station.SignTypeFlags = OverlayFlags(m_station.SignTypeFlags, profile.ClsIOType);
        if (r.DateStart.trimmed() == todayText && r.DateEnd.trimmed() == todayText)
            m_station.SignTypeFlags = OverlayFlags(m_station.SignTypeFlags, r.SignType);
        m_station.DayRefTimes = amplify_Timestring(m_station.DayRefTimes, profile.ClsioTimeString);
        m_station.RollCallOffered = !profile.ClsRollCallTimes.isEmpty();
        m_station.TypeShift = profile.ClsIOTypeShift;
    }
}

void LessonSelection::ComputeWindows()
{
    const QString fallback = IniDefault::ClassPeriodsBaae;
    m_station.ClassPeriods = ReadIniSetting(IniSection::Baae, IniKey::ClassPeriods, fallback, fallback);

    QStringList r;
    for (int i = 0; i < 6; ++i) {
        QString field = m_station.DayRefTimes.mid(i * 4, 4);
        if (!IsTimeField(field) || field.toInt() == 0) {
            field = m_station.ClassPeriods.mid(i * 4, 4);
            // A damaged template field falls back to the built-in day.
            if (!IsTimeField(field))
                field = fallback.mid(i * 4, 4);
        }
        r << field;
    }
    const QString b = StripTimeColon(m_station.BeforeStart);
    const QString a = StripTimeColon(m_station.AfterEnd);

    m_station.WinStart = TimeMinus(r[0], b) + r[0] + TimeMinus(r[2], b) + r[2] + TimeMinus(r[4], b) + r[4];
    m_station.WinEnd = r[1] + TimePlus(r[1], a) + r[3] + TimePlus(r[3], a) + r[5] + TimePlus(r[5], a);
}

TypePanelView LessonSelection::LoadLessonProfile()
{
    get_ClassesNo();
    ComputeWindows();
    return FormRefresh();
}

TypePanelView LessonSelection::FormRefresh() const
{
    const QString &flags = m_station.SignTypeFlags;
    auto offered = [&flags](int position) { return flags.mid(position, 1) == u"1"; };

    const int left0 = FirstLeft;
    const int left2 = offered(0) ? left0 + ColumnStep : left0;
    const int left4 = offered(2) ? left2 + ColumnStep : left2;
    int left9 = FirstLeft;
    if (offered(0))
        left9 = left0 + ColumnStep;
    if (offered(2))
        left9 = left2 + ColumnStep;
    if (offered(4))
        left9 = left4 + ColumnStep;

    TypePanelView view;
    view.buttons = {
        {u"0"_s, u"RadioButton1"_s, offered(0), left0},
        {u"1"_s, u"RadioButton2"_s, offered(1), left0},
        {u"2"_s, u"RadioButton3"_s, offered(2), left2},
        {u"3"_s, u"RadioButton4"_s, offered(3), left2},
        {u"4"_s, u"RadioButton5"_s, offered(4), left4},
        {u"5"_s, u"RadioButton6"_s, offered(5), left4},
        {u"9"_s, u"RadioButton9"_s, m_station.RollCallOffered, left9},
    };
    if (flags.left(6) == u"000000")
        view.panelCaption = NoTypeCaption;
    return view;
}

// ---- Event types ------------------------------------------------------------------------------

void LessonSelection::MousePressedOnType(const QString &code)
{
    m_station.LastPressedType = code;
}

bool LessonSelection::InsideWindow(const QString &code) const
{
    bool ok = false;
    const int type = code.toInt(&ok);
    if (!ok)
        return true;
    const int k = type + m_station.TypeShift + 1;
    if (k >= 7)
        return true;
    if (k < 1)
        return false;
    const QString start = m_station.WinStart.mid((k - 1) * 4, 4);
    const QString end = m_station.WinEnd.mid((k - 1) * 4, 4);
    if (start.size() != 4 || end.size() != 4)
        return false;
    const QString now = TimeToHHMM(CurrentClock().now().time());
    return start <= now && now <= end;
}

bool LessonSelection::Offered(const QString &code) const
{
    if (code == u"9")
        return m_station.RollCallOffered;
    const int position = TypeCodes.indexOf(code);
    return position >= 0 && m_station.SignTypeFlags.mid(position, 1) == u"1";
}

QString LessonSelection::InitialTypeByWindows() const
{
    const bool anyOffered = m_station.SignTypeFlags.left(6).contains(u'1');
    for (int part = 0; part < 3; ++part) {
        for (const QString &code : {TypeCodes.at(2 * part), TypeCodes.at(2 * part + 1)}) {
            const bool candidate = anyOffered ? Offered(code) : part == 0;
            if (candidate && InsideWindow(code))
                return code;
        }
    }
    return u"0"_s;
}

bool LessonSelection::ChooseTypeImpl(const QString &code, bool operatorClick)
{
    m_station.CurrentIoType = code;
    const bool kept = InsideWindow(code);
    if (!kept && operatorClick && m_station.LastPressedType == code) {
        m_station.LastPressedType.clear();
        const bool arrival = code == u"0" || code == u"2" || code == u"4";
        CurrentPrompter().ShowMessage(arrival ? TooEarlyMessage : TooLateMessage);
    }
    m_station.TypeChecked = kept;
    if (code == u"0")
        m_station.InCnt = CountToday(code);
    m_station.AutoMode = false;
    if (operatorClick)
        RememberSelection();
    return kept;
}

bool LessonSelection::ChooseType(const QString &code)
{
    return ChooseTypeImpl(code, true);
}

bool LessonSelection::CheckTypeSilently(const QString &code)
{
    return ChooseTypeImpl(code, false);
}

// ---- Automatic mode ---------------------------------------------------------------------------

bool LessonSelection::AutoModeReleased()
{
    m_station.AutoMode = false;
    const QString classKey = G().CurrentClassKey;
    const QString todayText = m_station.TodayText;
    if (QueryValueIn(u"select count(*) from Course where INDEX_KEY = ? and DateStart = ?"_s,
                     m_dm.Con1(), {classKey, todayText})
            .toInt()
        < 1)
        return false;

    const QString now = CurrentClock().now().time().toString(u"HH:mm"_s);
    const int limit = m_station.AutoSwitchLimit;
    QSqlQuery query = RunQueryAsIs(
        u"select CNo4, Subject, TimeStart, TimeEnd from Course "
        "where INDEX_KEY = ? and DateStart = ? order by TimeStart, RID"_s,
        m_dm.Con1(), {classKey, todayText});
    struct Lesson
    {
        QString cno4;
        QString subject;
        QString start;
        QString end;
    };
    std::optional<Lesson> previous;
    QString breaks;
    while (query.next()) {
        const Lesson lesson{query.value(0).toString(), query.value(1).toString(),
                            query.value(2).toString().trimmed(), query.value(3).toString().trimmed()};
        if (previous) {
            const int gap = TimeDiffMinutes(previous->end, lesson.start);
            if (previous->end <= now && now <= lesson.start) {
                if (gap > limit) {
                    CurrentPrompter().ShowMessage(u"課間休息限制 "_s + QString::number(limit)
                                                  + u" 分鐘內,才會有此功能 "_s);
                } else {
                    m_station.AutoMode = true;
                    m_station.PrevCourseCode = previous->cno4.trimmed() + previous->start;
                    m_station.NextCourseCode = lesson.cno4.trimmed() + lesson.start;
                    m_station.NextCourseTitle = lesson.cno4 + u':' + lesson.subject;
                    m_station.NextTimeStart = lesson.start;
                    m_station.TypeChecked = false;
                    m_station.PrevInType = u"0"_s;
                    m_station.PrevOutType = u"1"_s;
                    if (previous->start < u"13:00" && previous->end > u"13:00") {
                        m_station.PrevInType = u"2"_s;
                        m_station.PrevOutType = u"3"_s;
                    }
                    if (previous->start < u"18:30" && previous->end > u"18:30") {
                        m_station.PrevInType = u"4"_s;
                        m_station.PrevOutType = u"5"_s;
                    }
                }
            }
            if (!m_station.AutoMode && gap <= limit)
                breaks += u'(' + previous->end + u'～' + lesson.start + u')';
        }
        previous = lesson;
    }
    if (!m_station.AutoMode && !breaks.isEmpty())
        CurrentPrompter().ShowMessage(u"時間區間"_s + breaks + u" 才會有自動 功能"_s);
    return m_station.AutoMode;
}

// ---- Timer1 -----------------------------------------------------------------------------------

TickView LessonSelection::Tick()
{
    const QDateTime now = CurrentClock().now();
    TickView view;
    view.dateText = TodayTextOf(now.date());
    view.timeText = now.time().toString(u"hh:mm:ss"_s);
    if (!m_station.TimerOn)
        return view;

    if (m_station.AutoMode && now.time().toString(u"HH:mm"_s) > m_station.NextTimeStart) {
        m_station.AutoMode = false;
        ChooseLesson(m_station.NextCourseTitle + u'(' + m_station.NextTimeStart + u')');
        CheckTypeSilently(u"0"_s);
        RememberSelection();
        view.lessonSwitched = true;
    }

    if (!m_station.TypeChecked)
        return view;
    if (m_station.jstart || u"1:00,3:00,5:00,7:00,9:00"_s.contains(view.timeText.right(4))) {
        view.synchronise = true;
        m_station.jstart = false;
    }
    return view;
}
