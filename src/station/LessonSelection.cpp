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
// The latest time of a day as the windows compare it: a window without a limit after the
// lesson stays open until then.
const QString DayEnd = u"2359"_s;

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

// Whether a class running on a day is held that day: its first or last day, or a day its
// DateBet marks.
bool HeldOn(const ClassRecord &r, const QDate &day)
{
    const QString dayText = TodayTextOf(day);
    if (dayText == r.DateStart.trimmed() || dayText == r.DateEnd.trimmed())
        return true;
    const auto first = StoredDate(r.DateStart);
    return first && DayFlagSet(r.DateBet, first->daysTo(day) + 1);
}

// Whether a class runs on a day and is held that day.
bool RunsAndHeldOn(const ClassRecord &r, const QDate &day)
{
    const auto first = StoredDate(r.DateStart);
    const auto last = StoredDate(r.DateEnd);
    return first && last && *first <= day && day <= *last && HeldOn(r, day);
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

// "HHMM" shown as "HH:MM".
QString WithColon(const QString &hhmm)
{
    return hhmm.left(2) + u':' + hhmm.mid(2, 2);
}

// The windows of the six types, six "HHMM" starts and six ends, from the reference times
// R1..R6 (a field "0000" or unreadable takes the day template's, a damaged template field the
// built-in day's), the lead before a start and the grace after an end:
//   "0": R1-b .. R2   "1": R1 .. R2+a   "2": R3-b .. R4
//   "3": R3 .. R4+a   "4": R5-b .. R6   "5": R5 .. R6+a
// Without a lead limit an arrival window opens with the day; without a grace limit a departure
// window stays open until its end.
struct TypeWindows
{
    QString start;
    QString end;
};

TypeWindows WindowsOf(const QString &refTimes, const QString &classPeriods, const StationState &station)
{
    const QString fallback = IniDefault::ClassPeriodsBaae;
    QStringList r;
    for (int i = 0; i < 6; ++i) {
        QString field = refTimes.mid(i * 4, 4);
        if (!IsTimeField(field) || field.toInt() == 0) {
            field = classPeriods.mid(i * 4, 4);
            if (!IsTimeField(field))
                field = fallback.mid(i * 4, 4);
        }
        r << field;
    }
    const QString b = StripTimeColon(station.BeforeStart);
    const QString a = StripTimeColon(station.AfterEnd);
    const auto arrivalStart = [&](const QString &start) {
        return station.BeforeStartUnlimited ? u"0000"_s : TimeMinus(start, b);
    };
    const auto departureEnd = [&](const QString &end) {
        return station.AfterEndUnlimited ? DayEnd : TimePlus(end, a);
    };
    return {arrivalStart(r[0]) + r[0] + arrivalStart(r[2]) + r[2] + arrivalStart(r[4]) + r[4],
            r[1] + departureEnd(r[1]) + r[3] + departureEnd(r[3]) + r[5] + departureEnd(r[5])};
}

// Whether window k (1 .. 6) of the windows holds now ("HHMM").
bool WindowHolds(const QString &winStart, const QString &winEnd, int k, const QString &now)
{
    if (k < 1 || k > 6)
        return false;
    const QString start = winStart.mid((k - 1) * 4, 4);
    const QString end = winEnd.mid((k - 1) * 4, 4);
    if (start.size() != 4 || end.size() != 4)
        return false;
    return start <= now && now <= end;
}

// The window of a type code ("0" .. "5") on a day of the given shift: 1 .. 6, or 0 when the
// shifted type falls beyond the evening (the day has no window for it).
int WindowNumber(const QString &code, int shift)
{
    bool ok = false;
    const int type = code.toInt(&ok);
    const int k = type + shift + 1;
    return ok && k >= 1 && k <= 6 ? k : 0;
}

bool IsArrival(const QString &code)
{
    return code == u"0" || code == u"2" || code == u"4";
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
    auto heldToday = [&](const ClassRecord &r) { return HeldOn(r, today); };

    const ClassRecord *chosen = nullptr;
    if (classes.size() == 1) {
        const ClassRecord &r = classes.first();
        if (heldToday(r)) {
            QString s = r.TimeStart.trimmed().left(5);
            QString e = r.TimeEnd.trimmed().left(5);
            if (!s.isEmpty() && !e.isEmpty()) {
                s = TimeMinus(s, m_station.BeforeStart);
                e = m_station.AfterEndUnlimited ? u"23:59"_s : TimePlus(e, m_station.AfterEnd);
            }
            if ((s < nowText && nowText < e) || noLeadTime || !m_station.autoSyncModule)
                chosen = &r;
        }
    } else {
        for (const ClassRecord &r : classes) {
            if (!heldToday(r))
                continue;
            const QString s = TimeMinus(r.TimeStart.trimmed().left(5), m_station.BeforeStart);
            const QString e = m_station.AfterEndUnlimited
                ? u"23:59"_s
                : TimePlus(r.TimeEnd.trimmed().left(5), m_station.AfterEnd);
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
    const QString had = m_station.ClassKey;
    const std::optional<ClassRecord> served =
        startedSigning || had.isEmpty() ? std::nullopt : ClassOfKey(m_dm.Con1(), had);
    if (served && RunsAndHeldOn(*served, CurrentClock().today())) {
        // Left without a choice: the station goes on with the class, lesson and type it had,
        // whatever class the window stood on. Only a class that is gone, or not held today,
        // leaves it without one.
        if (!m_keep || m_keep->classKey != had)
            m_keep = CurrentSelection();
        G().CurrentClassKey = had;
        if (LoadChosenClass(Reason::ClassKept)) {
            m_station.ClassChosenAuto = true; // stays chosen: no automatic choice replaces it
            return true;
        }
    }
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

LessonSelection::WindowsHolding LessonSelection::LessonWindowsHoldingNow(const QString &classKey,
                                                                         const QString &lessonText) const
{
    // The windows of the lesson alone, as the settings load would make them for it.
    const ClassDayProfile profile =
        get_IOtypeTimeString(m_dm.Con1(), classKey, m_station.TodayText, get_codes(lessonText));
    const QString fallback = IniDefault::ClassPeriodsBaae;
    const TypeWindows windows = WindowsOf(
        profile.ClsioTimeString, ReadIniSetting(IniSection::Baae, IniKey::ClassPeriods, fallback, fallback),
        m_station);
    const QString now = TimeToHHMM(CurrentClock().now().time());
    WindowsHolding holding;
    for (int type = 0; type < 6; ++type) {
        if (profile.ClsIOType.mid(type, 1) != u"1")
            continue;
        const int k = WindowNumber(TypeCodes.at(type), profile.ClsIOTypeShift);
        if (!WindowHolds(windows.start, windows.end, k, now))
            continue;
        if (type % 2 == 0)
            holding.arrival = true;
        else
            holding.departure = true;
    }
    return holding;
}

QString LessonSelection::LessonByWindows(const QString &classKey, const QStringList &items) const
{
    // The first lesson (in start order) that takes arrivals now; else the last one that still
    // takes departures.
    QString departing;
    for (const QString &item : items) {
        const WindowsHolding holding = LessonWindowsHoldingNow(classKey, item);
        if (holding.arrival)
            return item;
        if (holding.departure)
            departing = item;
    }
    return departing;
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
    const QString from = m_station.BeforeStartUnlimited
        ? u"00:00"_s
        : TimeMinus(query.value(0).toString().trimmed().left(5), before);
    const QString to = m_station.AfterEndUnlimited
        ? u"23:59"_s
        : TimePlus(query.value(1).toString().trimmed().left(5), after);
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

    // The lesson: the one kept from before while its windows hold now (or whenever the class
    // window was left without a choice), else the only one of today, else the one whose windows
    // hold now (arrivals before departures), else the kept one while inside its hours, else the
    // one around now. Leaving the box empty would refuse every entry until the staff notice it;
    // a lesson that has ended while the next one takes arrivals would do the same.
    QString lesson;
    const QStringList items = LessonItems();
    const bool keepThisClass = m_keep && m_keep->classKey == classKey
        && m_keep->todayRoc == RocOf(now.date());
    const bool keptListed = keepThisClass && !m_keep->lessonText.trimmed().isEmpty()
        && items.contains(m_keep->lessonText);
    if (keptListed
        && (reason == Reason::ClassKept || LessonWindowsHoldingNow(classKey, m_keep->lessonText).any())) {
        lesson = m_keep->lessonText;
    } else if (items.size() == 1) {
        lesson = items.first();
    } else if (items.size() > 1) {
        lesson = LessonByWindows(classKey, items);
        if (lesson.isEmpty() && keptListed && LessonInsideHours(classKey, m_keep->lessonText))
            lesson = m_keep->lessonText;
        if (lesson.isEmpty())
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
    // next late arrival into a sign-out, nor may a departure left checked before a restart or
    // another window while the lesson still takes arrivals.
    QString kept;
    if (m_keep && m_keep->classKey == m_station.ClassKey && m_keep->todayRoc == m_station.TodayRoc
        && m_keep->lessonText == m_station.LessonText)
        kept = m_keep->ioType;
    m_keep.reset();
    if (!kept.isEmpty() && Offered(kept) && InsideWindow(kept) && !ArrivalOfPairOpen(kept))
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
    const TypeWindows windows = WindowsOf(m_station.DayRefTimes, m_station.ClassPeriods, m_station);
    m_station.WinStart = windows.start;
    m_station.WinEnd = windows.end;
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
    if (code == u"9")
        return true; // roll call is never refused
    bool ok = false;
    code.toInt(&ok);
    if (!ok)
        return true;
    // A type shifted beyond the evening has no window on this day: it is never inside.
    const int k = WindowNumber(code, m_station.TypeShift);
    return WindowHolds(m_station.WinStart, m_station.WinEnd, k, TimeToHHMM(CurrentClock().now().time()));
}

bool LessonSelection::ArrivalOfPairOpen(const QString &code) const
{
    if (code != u"1" && code != u"3" && code != u"5")
        return false;
    const QString arrival = QString::number(code.toInt() - 1);
    return Offered(arrival) && InsideWindow(arrival);
}

QString LessonSelection::RefusalMessage(const QString &code) const
{
    const bool arrival = IsArrival(code);
    const int k = WindowNumber(code, m_station.TypeShift);
    if (k == 0) {
        const int position = TypeCodes.indexOf(code);
        const QStringList names = {u"簽到"_s, u"簽退"_s, m_station.io3Cap,
                                   m_station.io4Cap, m_station.io5Cap, m_station.io6Cap};
        return u"本堂課程沒有"_s + names.value(position) + u"時段!"_s;
    }
    const QString start = m_station.WinStart.mid((k - 1) * 4, 4);
    const QString end = m_station.WinEnd.mid((k - 1) * 4, 4);
    if (start.size() != 4 || end.size() != 4)
        return u"尚未  講習選定"_s; // no class loaded yet: no window at all
    const QString now = TimeToHHMM(CurrentClock().now().time());
    const auto minutes = [](const QString &hhmm) {
        return QString::number(StrToIntSafe(hhmm.left(2)) * 60 + StrToIntSafe(hhmm.mid(3, 2)));
    };
    QString text;
    if (arrival)
        text = now < start ? u"上課前"_s + minutes(m_station.BeforeStart) + u"分鐘內始得簽到!"_s
                           : u"下課後不得簽到!"_s;
    else
        text = now > end ? u"下課已逾"_s + minutes(m_station.AfterEnd) + u"分鐘不得簽退!"_s
                         : u"上課後始得簽退!"_s;
    return text + u"（"_s + WithColon(start) + u"～"_s + WithColon(end) + u"）"_s;
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
    const auto candidate = [&](int position) {
        return (anyOffered ? Offered(TypeCodes.at(position)) : position < 2)
            && InsideWindow(TypeCodes.at(position));
    };
    // Arrivals first, the earliest part of the day first; then departures, the latest part
    // first: the part that has just ended, not one long over.
    for (int part = 0; part < 3; ++part) {
        if (candidate(2 * part))
            return TypeCodes.at(2 * part);
    }
    for (int part = 2; part >= 0; --part) {
        if (candidate(2 * part + 1))
            return TypeCodes.at(2 * part + 1);
    }
    return u"0"_s;
}

bool LessonSelection::ChooseTypeImpl(const QString &code, bool operatorClick)
{
    m_station.CurrentIoType = code;
    const bool kept = InsideWindow(code);
    if (!kept && operatorClick && m_station.LastPressedType == code) {
        m_station.LastPressedType.clear();
        CurrentPrompter().ShowMessage(RefusalMessage(code));
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
