#include "reports/AttendanceRules.h"

#include "Fun/DateTimeFunctions.h"
#include "core/ClassDayProfile.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString Late = u"遲到"_s;
const QString LeftEarly = u"早退"_s;

bool Blank(const QString &text)
{
    return text.trimmed().isEmpty();
}

// "HHMM" of a stored "HH:MM" time.
QString HHMMOf(const QString &time)
{
    return StripTimeColon(time.trimmed());
}

// "HH:MM" from the first four digits of an event time "HHMMSS".
QString ClockOfEvent(const QString &eventTime)
{
    const QString t = eventTime.trimmed();
    return t.left(2) + u':' + t.mid(2, 2);
}

// The break between the end of one part and a later lesson start, "HH:MM".
QString Gap(const QString &laterStart, const QString &end)
{
    return TimeCalc(laterStart, u"-"_s, end);
}

} // namespace

QString LessonKeyOf(const ReportLesson &lesson)
{
    return lesson.CNo4.trimmed() + lesson.TimeStart.trimmed();
}

// ---- Day windows ---------------------------------------------------------------------------

DayWindows BuildDayWindows(const QList<ReportLesson> &lessonsOfDate, const ReportSettings &settings)
{
    DayWindows w;
    bool &morning = w.partOn[0];
    bool &afternoon = w.partOn[1];
    bool &evening = w.partOn[2];
    const QString noon = u"12:30"_s;
    const QString dusk = u"18:30"_s;

    // Which parts the date has, and its roll calls (the last lesson that sets one gives the time).
    for (const ReportLesson &lesson : lessonsOfDate) {
        const QString &s = lesson.TimeStart;
        const QString &e = lesson.TimeEnd;
        if (s < noon)
            morning = true;
        if (e > dusk)
            evening = true;
        if (s < noon && e > dusk)
            afternoon = true;
        if (e > noon && e < dusk)
            afternoon = true;
        else if (s > noon && s < dusk)
            afternoon = true;
        // A lesson without any break belongs to a morning-only day (a later lesson of the date
        // may switch the other parts on again).
        if (Blank(lesson.noonRS) && Blank(lesson.nightRS)) {
            morning = true;
            afternoon = false;
            evening = false;
        }
        const std::array<const QString *, 3> rollCalls{&lesson.R1, &lesson.R2, &lesson.R3};
        for (int k = 0; k < 3; ++k) {
            const QString r = rollCalls[k]->trimmed();
            if (r.size() == 5) {
                w.rollCall[k] = true;
                w.rollCallTime[k] = r;
            }
        }
    }

    // The first lesson opens the first part the date has.
    bool afternoonBegun = false;
    bool eveningBegun = false;
    if (!lessonsOfDate.isEmpty()) {
        const ReportLesson &first = lessonsOfDate.first();
        if (morning) {
            w.in[0] = first.TimeStart;
            w.out[0] = first.TimeEnd;
        } else if (afternoon) {
            w.in[1] = first.TimeStart;
            w.out[1] = first.TimeEnd;
            afternoonBegun = true;
        } else if (evening) {
            w.in[2] = first.TimeStart;
            w.out[2] = first.TimeEnd;
            eveningBegun = true;
        }
    }

    // Each lesson extends the part it follows when the break before it is shorter than
    // RestLimit; after a longer break it starts the next part. A lesson that continues the
    // afternoon (or the evening) after a short break does not restart it, and a lesson after the
    // afternoon's end starts the evening, not a new afternoon: otherwise a day of two afternoon
    // lessons would take the second one as its whole afternoon, and a day with an evening would
    // take the evening as its afternoon.
    const QString &rest = settings.RestLimit;
    for (const ReportLesson &lesson : lessonsOfDate) {
        const QString &s = lesson.TimeStart;
        const QString &e = lesson.TimeEnd;
        if (morning && s >= w.out[0] && Gap(s, w.out[0]) < rest)
            w.out[0] = e;
        if (afternoon && s >= w.out[0] && Gap(s, w.out[0]) >= rest) {
            const bool followsAfternoon = afternoonBegun && s >= w.out[1]
                && (evening || Gap(s, w.out[1]) < rest);
            if (!followsAfternoon) {
                w.in[1] = s;
                w.out[1] = e;
                afternoonBegun = true;
            }
        }
        if (afternoon && s >= w.out[1] && Gap(s, w.out[1]) < rest)
            w.out[1] = e;
        if (evening && s >= w.out[1] && Gap(s, w.out[1]) >= rest) {
            const bool continuesEvening = eveningBegun && s >= w.out[2] && Gap(s, w.out[2]) < rest;
            if (!continuesEvening) {
                w.in[2] = s;
                w.out[2] = e;
                eveningBegun = true;
            }
        }
        if (evening && s >= w.out[2] && Gap(s, w.out[2]) < rest)
            w.out[2] = e;
    }

    // Two parts that meet across a break no longer than RestLimit share one swipe.
    if (morning && afternoon)
        w.MergeMorningAfternoon = Gap(w.in[1], w.out[0]) <= rest;
    if (afternoon && evening)
        w.MergeAfternoonEvening = Gap(w.in[2], w.out[1]) <= rest;

    FinishPartBounds(w, settings);
    return w;
}

void FinishPartBounds(DayWindows &w, const ReportSettings &settings)
{
    w.MorningEnd = HHMMOf(w.out[0]);
    w.AfternoonStart = HHMMOf(w.in[1]);
    w.AfternoonEnd = HHMMOf(w.out[1]);
    w.EveningStart = HHMMOf(w.in[2]);
    for (int k = 0; k < 3; ++k) {
        w.ArrivalDeadline[k] = TimeCalc(HHMMOf(w.in[k]), u"+"_s, settings.LateGrace) + u"59"_s;
        w.LeaveEarliest[k] = TimeCalc(HHMMOf(w.out[k]), u"-"_s, settings.LateGrace);
    }
}

// ---- Events ----------------------------------------------------------------------------------

RollCallLimits HoursRollCallLimits()
{
    return {u"12:00"_s, u"18:00"_s};
}

RollCallLimits SheetRollCallLimits()
{
    return {u"12:45"_s, u"18:45"_s};
}

int RollCallSlot(const QString &ioTime, const RollCallLimits &limits)
{
    if (ioTime <= limits.morning)
        return 0;
    if (ioTime <= limits.afternoon)
        return 1;
    return 2;
}

int PartOfType(const QString &ioType)
{
    const QString t = ioType.trimmed();
    if (t.size() != 1 || t.at(0) < u'0' || t.at(0) > u'5')
        return -1;
    return (t.at(0).unicode() - u'0') / 2;
}

bool IsSignOutType(const QString &ioType)
{
    const QString t = ioType.trimmed();
    return t == u"1" || t == u"3" || t == u"5";
}

int StationPairShift(const ReportLesson &lesson, const QString &classPeriods)
{
    ClassDayLesson l;
    l.DateStart = lesson.DateStart;
    l.TimeStart = lesson.TimeStart;
    l.TimeEnd = lesson.TimeEnd;
    l.noonRS = lesson.noonRS;
    l.noonRE = lesson.noonRE;
    l.nightRS = lesson.nightRS;
    l.nightRE = lesson.nightRE;
    return ComputeClassDayProfile({l}, std::nullopt, classPeriods).ClsIOTypeShift;
}

QString TypeWithShift(const QString &ioType, int shift)
{
    const QString t = ioType.trimmed();
    if (shift <= 0 || (t != u"0" && t != u"1"))
        return ioType;
    return QString(QChar(char16_t(t.at(0).unicode() + shift)));
}

int ApplyEvent(AttendanceRow &row, const QString &ioType, const QString &ioTime,
               const DayWindows &windows, const RollCallLimits &limits)
{
    if (ioType.trimmed() == u"9") {
        row.pTime[RollCallSlot(ioTime, limits)] = ioTime;
        return -1;
    }
    const int part = PartOfType(ioType);
    if (part < 0)
        return -1;
    if (!IsSignOutType(ioType)) {
        row.iTime[part] = ioTime;
        if (ioTime > windows.ArrivalDeadline[part])
            row.istat[part] = Late;
        return -1;
    }
    row.oTime[part] = ioTime;
    if (ioTime < windows.LeaveEarliest[part])
        row.ostat[part] = LeftEarly;
    return part;
}

int PairHours(const QString &signIn, const QString &signOut, const QList<ReportLesson> &lessons,
              const ReportSettings &settings, const std::function<void(int)> &markAttended)
{
    if (Blank(signIn) || Blank(signOut))
        return 0;
    const QString x = ClockOfEvent(signIn);
    const QString y = ClockOfEvent(signOut);
    const QString grace = NormalizeHHMM(settings.LateGrace);
    int hours = 0;
    int number = 0;
    for (const ReportLesson &lesson : lessons) {
        ++number;
        const QString &S = lesson.TimeStart;
        const QString &E = lesson.TimeEnd;
        if (!(y > S && x < E))
            continue;
        if (lesson.Hours == 1) {
            const QString a = MaxText(S, x);
            const QString b = MinText(E, y);
            if (TimeTextToMinutes(b) - TimeTextToMinutes(a) >= settings.HourMinutes) {
                ++hours;
                if (markAttended)
                    markAttended(number);
            }
        } else if (lesson.Hours > 1) {
            const QString a = MaxText(S, TimeCalc(x, u"-"_s, grace));
            const QString b = MinText(E, TimeCalc(y, u"+"_s, grace));
            // A sign-in after the sign-out earns nothing rather than negative hours.
            hours += std::max(0, (TimeTextToMinutes(b) - TimeTextToMinutes(a)) / 60);
        }
    }
    return hours;
}

RollCallCheck CheckRollCall(bool rollCallSet, const QString &rollCallTime, const QString &signTime,
                            int rollCallLimit)
{
    if (!rollCallSet)
        return {};
    const QString sign = signTime.trimmed();
    if (sign.isEmpty())
        return {0, u"點名未到"_s};
    const QString at = HHMMOf(rollCallTime);
    if (sign < at)
        return {0, u"點名提前簽到"_s};
    if (TimeDiffMinutes(at, sign) > rollCallLimit)
        return {0, u"點名簽到超過"_s + QString::number(rollCallLimit) + u"分鐘"_s};
    return {};
}

// ---- Crediting a lesson ----------------------------------------------------------------------

LessonFrame FrameOfLesson(const ReportLesson &lesson)
{
    const auto withLastSecond = [](const QString &time) {
        return Blank(time) ? QString() : HHMMOf(time) + u"59"_s;
    };
    const auto plain = [](const QString &time) { return Blank(time) ? QString() : HHMMOf(time); };
    return {HHMMOf(lesson.TimeStart) + u"59"_s, HHMMOf(lesson.TimeEnd),
            withLastSecond(lesson.noonRS), plain(lesson.noonRE),
            withLastSecond(lesson.nightRS), plain(lesson.nightRE)};
}

QString SegmentCodeOf(const ReportLesson &lesson, bool isClassRow)
{
    const LessonFrame f = FrameOfLesson(lesson);
    QString code = u"100"_s;
    if (f.start > u"1200")
        code = u"010"_s;
    if (f.start > u"1730")
        code = u"001"_s;
    if (!isClassRow) {
        if (!Blank(lesson.noonRS))
            code[1] = u'1';
        if (!Blank(lesson.nightRS))
            code[2] = u'1';
    } else {
        if (f.end > u"1830")
            code[2] = u'1';
        if (f.end > u"1400" && f.start < u"1400")
            code[1] = u'1';
    }
    return code;
}

int PlainMinutes(const QString &x, const QString &y, const QString &P, const QString &Q)
{
    return TimeDiffMinutes(MaxText(x, P), MinText(y, Q));
}

int GraceMinutes(const QString &x, const QString &y, const QString &P, const QString &Q,
                 const QString &lateGrace)
{
    // Without a sign-out the part earns nothing, as in the plain count; a missing sign-in counts
    // as the window's start.
    if (Blank(y))
        return 0;
    const QString from = Blank(x) ? P : MaxText(TimeCalc(x, u"-"_s, lateGrace), P);
    return TimeDiffMinutes(from, MinText(TimeCalc(y, u"+"_s, lateGrace), Q));
}

int PartHours(int n, const QString &x, const QString &y, const QString &P, const QString &Q,
              const QString &lateGrace)
{
    if (n == 1)
        return PlainMinutes(x, y, P, Q) / 45;
    if (n >= 2)
        return GraceMinutes(x, y, P, Q, lateGrace) / 60;
    return 0;
}

LessonCredit CreditRow(const QString &segmentCode, const AttendanceRow &row,
                       const ReportLesson &lesson, const DayWindows &windows,
                       const ReportSettings &settings)
{
    LessonCredit credit;
    const LessonFrame f = FrameOfLesson(lesson);
    const QString &grace = settings.LateGrace;
    // Each check clears the message and a failing one leaves its own: the row keeps the
    // message of the last check made for it.
    const auto check = [&](int part) {
        const RollCallCheck c = CheckRollCall(windows.rollCall[part], windows.rollCallTime[part],
                                              row.pTime[part], settings.RollCallLimit);
        credit.message = c.message;
        return c.passed;
    };
    // A part the lesson does not reach has an empty window (a morning lesson that names the
    // lunch break would otherwise get a window from the end of lunch back to its own end): it
    // credits nothing and makes no roll-call check, so neither a stray hour nor the roll-call
    // message of a part the lesson does not have lands on the lesson.
    const auto reaches = [](const QString &P, const QString &Q) { return P.left(4) < Q.left(4); };
    // Each lesson is credited over its own time span: a part runs from the later of its own
    // start and the lesson's start to the earlier of its own end and the lesson's end. Break
    // fields that name the day's lunch or dinner (as every lesson of an imported day does) would
    // otherwise stretch a 09:00-10:00 lesson to the whole morning.
    const auto fromOf = [&](const QString &P) { return MaxText(P, f.start); };
    const auto toOf = [&](const QString &Q) { return MinText(Q, f.end); };
    // Approved hours of a part: the whole hours of its span.
    const auto spanHours = [&](const QString &P, const QString &Q) {
        return reaches(P, Q) ? TimeDiffMinutes(P, Q) / 60 : 0;
    };
    const auto graced = [&](int part, const QString &x, const QString &y, const QString &partStart,
                            const QString &partEnd) {
        const QString P = fromOf(partStart);
        const QString Q = toOf(partEnd);
        return reaches(P, Q) ? PartHours(spanHours(P, Q), x, y, P, Q, grace) * check(part) : 0;
    };
    const auto plain = [&](int part, const QString &x, const QString &y, const QString &partStart,
                           const QString &partEnd) {
        const QString P = fromOf(partStart);
        const QString Q = toOf(partEnd);
        return reaches(P, Q) ? PlainMinutes(x, y, P, Q) / 60 * check(part) : 0;
    };
    const auto single = [&](int part, const QString &P, const QString &Q) {
        const QString &x = row.iTime[part];
        const QString &y = row.oTime[part];
        if (!Blank(x) && !Blank(y))
            credit.hours = PartHours(lesson.Hours, x, y, P, Q, grace) * check(part);
        credit.t[2 * part] = NormalizeHHMM(x);
        credit.t[2 * part + 1] = NormalizeHHMM(y);
    };

    if (segmentCode == u"100") {
        single(0, f.start, f.end);
    } else if (segmentCode == u"010") {
        single(1, f.start, f.end);
    } else if (segmentCode == u"001") {
        single(2, f.start, f.end);
    } else if (segmentCode == u"110") {
        // A swipe at noon serves both pairs.
        const QString afternoonIn = Blank(row.iTime[1]) ? row.oTime[0] : row.iTime[1];
        const QString morningOut = Blank(row.oTime[0]) ? afternoonIn : row.oTime[0];
        int hours = graced(0, row.iTime[0], morningOut, f.start, f.noonStart);
        hours += graced(1, afternoonIn, row.oTime[1], f.noonEnd, f.end);
        credit.hours = hours;
        credit.t = {NormalizeHHMM(row.iTime[0]), NormalizeHHMM(morningOut),
                    NormalizeHHMM(afternoonIn), NormalizeHHMM(row.oTime[1]), QString(), QString()};
    } else if (segmentCode == u"011") {
        int hours = graced(1, row.iTime[1], row.oTime[1], f.start, f.nightStart);
        hours += graced(2, row.iTime[2], row.oTime[2], f.nightEnd, f.end);
        credit.hours = hours;
        credit.t = {QString(), QString(), NormalizeHHMM(row.iTime[1]), NormalizeHHMM(row.oTime[1]),
                    NormalizeHHMM(row.iTime[2]), NormalizeHHMM(row.oTime[2])};
    } else if (segmentCode == u"111") {
        // Whole hours of plain minutes: no grace, no 45-minute rule, whatever the approved hours.
        int hours = plain(0, row.iTime[0], row.oTime[0], f.start, f.noonStart);
        hours += plain(1, row.iTime[1], row.oTime[1], f.noonEnd, f.nightStart);
        hours += plain(2, row.iTime[2], row.oTime[2], f.nightEnd, f.end);
        credit.hours = hours;
        for (int k = 0; k < 3; ++k) {
            credit.t[2 * k] = NormalizeHHMM(row.iTime[k]);
            credit.t[2 * k + 1] = NormalizeHHMM(row.oTime[k]);
        }
    }
    // However the parts add up, a lesson earns at most the hours it was approved for.
    credit.hours = std::min(credit.hours, std::max(0, lesson.Hours));
    return credit;
}

// ---- Break merge -----------------------------------------------------------------------------

namespace {

// Part `before` ends at `end` ("HHMM"), part `before + 1` starts at `start`.
void MergeAcross(AttendanceRow &row, int before, const QString &end, const QString &start)
{
    QString &out = row.oTime[before];
    QString &in = row.iTime[before + 1];
    const QString latest = start + u"59"_s;
    if (Blank(out) && !Blank(in) && end <= in && in <= latest)
        out = in;
    else if (!Blank(out) && Blank(in) && end <= out && out <= latest)
        in = out;
}

} // namespace

void MergeBreakEvents(AttendanceRow &row, const DayWindows &windows)
{
    if (windows.MergeMorningAfternoon)
        MergeAcross(row, 0, windows.MorningEnd, windows.AfternoonStart);
    if (windows.MergeAfternoonEvening)
        MergeAcross(row, 1, windows.AfternoonEnd, windows.EveningStart);
}
