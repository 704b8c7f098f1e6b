#include "station/SignRecorder.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/QueryBuilder.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/SignEventRow.h"
#include "core/TDM.h"
#include "core/WriteTransaction.h"
#include "platform/CameraSource.h"
#include "platform/Clock.h"
#include "platform/JpegWriter.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "station/IdentityResolver.h"
#include "station/SignEventRecords.h"
#include "station/StationState.h"

#include <QDebug>
#include <QFile>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

const QString OkSound = u"RolvanOK.wav"_s;
const QString DupSound = u"RolvanDup.wav"_s;
const QString ErrorSound = u"RolvanError.wav"_s;

// Seconds after a sign event within which a repeated entry retakes its snapshot.
constexpr int RetakeSeconds = 300;
constexpr int HistoryLength = 9;

// The time of the first event of a type on a day for a lesson and person; empty when none.
QString FirstEventTime(QSqlDatabase db, const QString &indexKey, const QString &saveId,
    const QString &ioType, const QString &ioDate)
{
    QSqlQuery query
        = RunQuery(u"select IOTIME from PSIO where IDNO = ? and IODATE = ? and IOTYPE = ? "
                   "and INDEX_KEY = ? order by IOTIME"_s,
            db, { saveId, ioDate, ioType, indexKey });
    return query.next() ? query.value(0).toString().trimmed() : QString();
}

QString TimeWithColons(const QString &hhmmss)
{
    return hhmmss.left(2) + u':' + hhmmss.mid(2, 2) + u':' + hhmmss.mid(4, 2);
}

// A part of a file name: characters that separate folders or that file systems refuse become
// "_", so an identity can never lead a snapshot out of its folder.
QString FileNamePart(const QString &text)
{
    QString part = text;
    for (QChar &c : part) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<'
            || c == u'>' || c == u'|' || c.unicode() < 0x20)
            c = u'_';
    }
    return part;
}

// The counter of today's events of a type for the lesson; none for roll call.
const int *CounterOf(const StationState &station, const QString &code)
{
    if (code == u"0"_s)
        return &station.InCnt;
    if (code == u"1"_s)
        return &station.OutCnt;
    if (code == u"2"_s)
        return &station.Io3Cnt;
    if (code == u"3"_s)
        return &station.Io4Cnt;
    if (code == u"4"_s)
        return &station.Io5Cnt;
    if (code == u"5"_s)
        return &station.Io6Cnt;
    return nullptr;
}

} // namespace

SignRecorder::SignRecorder(
    StationState &station, const TDM &dm, IdentityResolver &resolver, SignView &view)
    : m_station(station)
    , m_dm(dm)
    , m_resolver(resolver)
    , m_view(view)
    , m_writes(std::make_unique<WriteSession>(dm))
{
}

SignRecorder::~SignRecorder() = default;

QString SignRecorder::VioTypec(const QString &code) const
{
    const SignTypeCaptions captions{m_station.io3Cap, m_station.io4Cap, m_station.io5Cap,
                                    m_station.io6Cap};
    return KnownSignTypeName(code, captions).value_or(u"@@@"_s);
}

int *SignRecorder::Counter(const QString &code)
{
    return const_cast<int *>(CounterOf(m_station, code));
}

QString SignRecorder::CounterCaption(const QString &code) const
{
    const int *counter = CounterOf(m_station, code);
    if (!counter)
        return QString();
    return VioTypec(code) + u'(' + QString::number(*counter) + u')';
}

void SignRecorder::MediaPlay(const QString &wavFileName) { CurrentSoundPlayer().Play(wavFileName); }

QString SignRecorder::PhotoSubPath(const QString &rule, const QString &classKey,
    const QString &todayRoc, int courseNoLength, const QString &current)
{
    if (rule == u"課程編號"_s)
        return JoinPath(FileNamePart(classKey.left(courseNoLength).trimmed()), u"PIC"_s);
    if (rule == u"年月"_s)
        return todayRoc.left(5);
    return current;
}

QString SignRecorder::SnapshotFileName(const QString &classKey, const QString &saveId,
    const QString &ioDate, const QString &ioTime, const QString &ioType, const QString &ioWay)
{
    return FileNamePart(classKey + saveId.trimmed() + ioDate + ioTime + ioType + ioWay) + u".jpg"_s;
}

QString SignRecorder::SnapshotPath(
    const QString &saveId, const QString &ioTime, const QString &ioType, const QString &ioWay)
{
    m_station.photoSubPath = PhotoSubPath(m_station.photoSubPathRule, m_station.ClassKey,
        m_station.TodayRoc, G().CourseNoLength, m_station.photoSubPath);
    // Without a picture folder there is no place of our own to write to.
    if (m_station.imgPath.trimmed().isEmpty())
        return QString();
    return JoinPath(JoinPath(m_station.imgPath, m_station.photoSubPath),
        SnapshotFileName(
            m_station.ClassKey, saveId, m_station.TodayRoc, ioTime, ioType, ioWay));
}

QString SignRecorder::TakeSnapshot(const QString &path)
{
    if (path.isEmpty())
        return QString();
    // No camera started (device -1): the station runs without snapshots by choice.
    if (!m_camera)
        return QString();
    const QImage frame = m_camera->LatestFrame();
    if (frame.isNull()) {
        qWarning().noquote() << "No camera frame for the snapshot" << path;
        m_view.ShowSnapshotWarning(u"攝影機沒有畫面"_s);
        return QString();
    }
    QString error;
    if (!WriteJpegFile(frame, path, m_station.PhotoQuality, &error)) {
        qWarning().noquote() << "Snapshot not written:" << error;
        m_view.ShowSnapshotWarning(error);
        return QString();
    }
    m_view.HideSnapshotWarning();
    return path;
}

SignRecorder::Entry SignRecorder::ConfirmEntry(const QString &text)
{
    const std::optional<QString> entry = m_resolver.ValidateEntry(text);
    if (!entry) {
        // On the screen, never in a box: a box would take the next attendee's digits and Enter.
        MediaPlay(ErrorSound);
        m_view.ShowFailure(IdentityResolver::BadEntryText);
        if (m_station.KeyboardFocusOn)
            m_view.FocusEntry();
        return { Outcome::BadEntry, {}, {} };
    }
    return RolvanOK(*entry, u"KB"_s);
}

SignRecorder::Entry SignRecorder::KeypadEntry(const QString &text)
{
    return RolvanOK(text.trimmed(), u"SC"_s);
}

SignRecorder::Entry SignRecorder::RolvanOK(const QString &card, const QString &entryWay)
{
    m_lastIoType.clear();

    Entry entry;
    Outcome &outcome = entry.outcome;
    if (!m_station.StationReady) {
        CurrentPrompter().ShowMessage(u"尚未  講習選定"_s);
    } else if (m_station.LessonText.trimmed().isEmpty() && !m_station.AutoMode) {
        CurrentPrompter().ShowMessage(u"尚未  課程選定"_s);
    } else if (!m_station.TypeChecked && !m_station.AutoMode) {
        CurrentPrompter().ShowMessage(u"尚未 選擇簽到或簽退 "_s);
    } else {
        try {
            outcome = Record(card, entryWay, entry);
        } catch (const RolvanError &error) {
            // Nothing was stored: no counter, no history line, the error sound.
            CurrentPrompter().ShowError(error.message());
            MediaPlay(ErrorSound);
            outcome = Outcome::Failed;
        }
    }
    // Every entry ends with the caret back in the input field when the station wants it.
    if (m_station.KeyboardFocusOn)
        m_view.FocusEntry();
    return entry;
}

SignRecorder::Outcome SignRecorder::Record(
    const QString &card, const QString &entryWay, Entry &entry)
{
    // Who: the one person the entry names. The operator may be asked to choose; nothing is
    // locked meanwhile.
    const IdentityResolver::Resolution resolution = m_resolver.Resolve(card, entryWay);
    if (resolution.outcome == IdentityResolver::Resolution::Outcome::Dismissed)
        return Outcome::ChoiceDismissed;
    if (resolution.outcome == IdentityResolver::Resolution::Outcome::NotFound) {
        // The error sound whatever the success-sound switch says.
        MediaPlay(ErrorSound);
        m_view.ShowFailure(resolution.failText);
        return Outcome::NotFound;
    }
    const IdentifiedPerson &person = resolution.person;

    // What: decided and stored at once.
    const Decision decision = DecideAndStore(person);
    entry.indexKey = decision.lessonKey;
    entry.ioType = decision.ioType;
    m_lastIoType = decision.ioType;
    m_station.TodayRoc = decision.ioDate;
    if (!decision.refusal.isEmpty()) {
        CurrentPrompter().ShowMessage(decision.refusal);
        return Outcome::AutoRefused;
    }
    m_station.VINDEX_IO = decision.lessonKey;
    if (decision.ioType == u"0"_s || decision.ioType == u"2"_s || decision.ioType == u"4"_s) {
        try {
            m_resolver.TemporaryEnrolment(person);
        } catch (const RolvanError &error) {
            qWarning().noquote() << "Temporary enrolment:" << error.message();
        }
    }

    // Then what the attendee sees and hears.
    return Show(person, decision);
}

SignRecorder::Decision SignRecorder::DecideAndStore(const IdentifiedPerson &person)
{
    Decision d;
    d.lessonKey = m_station.VINDEX_IO;
    d.ioType = m_station.CurrentIoType;
    // Date and time of one reading of the clock, so an event at midnight keeps its own day.
    const QDateTime now = CurrentClock().now();
    d.ioDate = FormatDateByPattern(u"YYYMMDD"_s, now);
    d.ioTime = TimeToHHMMSS(now.time());
    const QString &id = person.saveId;

    // One write transaction begun with BEGIN IMMEDIATE: the write lock is taken before the
    // duplicate test, so that no other connection (a second window or station on the same
    // file) can store the same event between the test and the insert. A lock held elsewhere
    // is waited for up to the connection's busy time-out. Rolled back unless committed.
    // On the shared database every station takes the lock of the person and day instead, so
    // that two desks signing the same person at the same moment store one event, while
    // different persons are stored side by side.
    WriteTransaction transaction(*m_writes);
    if (transaction.IsShared()) {
        transaction.Run(u"select pg_advisory_xact_lock(hashtext(?))"_s,
                { QVariant(id + u'|' + d.ioDate) })
            .finish();
    }

    if (m_station.AutoMode) {
        const QString cls = G().CurrentClassKey.left(G().CourseNoLength).trimmed();
        const QString prevKey = cls + m_station.PrevCourseCode;
        const QString nextKey = cls + m_station.NextCourseCode;
        const QSqlDatabase db = m_dm.Con1();
        const QString a = FirstEventTime(db, prevKey, id, m_station.PrevInType, d.ioDate);
        const QString b = FirstEventTime(db, prevKey, id, m_station.PrevOutType, d.ioDate);
        const QString c = FirstEventTime(db, nextKey, id, u"0"_s, d.ioDate);
        if (a.size() == 6 && b.size() != 6) {
            // Arrived for the lesson that has just ended and not yet left it: leaving.
            d.lessonKey = prevKey;
            d.ioType = m_station.PrevOutType;
        } else if (c.size() != 6) {
            d.lessonKey = nextKey;
            d.ioType = u"0"_s;
        } else {
            if (b.size() == 6)
                d.refusal += u" (上一堂課"_s + TimeWithColons(b) + u"已簽退)  "_s;
            d.refusal += u" (下一堂課"_s + TimeWithColons(c) + u"已簽到)  "_s;
            return d;
        }
    }

    // A second event of the same kind on the same day for the lesson is greeted with the
    // earliest one, not stored; roll calls are stored every time.
    {
        // The person's few events of that type and day come by the index on (IDNO, IODATE);
        // the lesson (INDEX_KEY beginning with the lesson key, letter case aside) is picked
        // here. A LIKE on a bound value would make SQLite compile the statement anew for
        // every entry.
        QSqlQuery &query = transaction.Run(
            u"select RID, IOTIME, IOWay, INDEX_KEY from PSIO where IDNO = ? "
            "and IODATE = ? and IOTYPE = ?"_s,
            { id, d.ioDate, d.ioType });
        while (query.next()) {
            if (!query.value(3).toString().startsWith(d.lessonKey, Qt::CaseInsensitive))
                continue;
            const qint64 rid = query.value(0).toLongLong();
            const QString time = query.value(1).toString().trimmed();
            if (!d.duplicate || time < d.firstTime || (time == d.firstTime && rid < d.rid)) {
                d.duplicate = true;
                d.rid = rid;
                d.firstTime = time;
                d.firstWay = query.value(2).toString().trimmed();
                d.firstKey = query.value(3).toString();
            }
        }
        query.finish(); // ends the read at once
    }
    if (!d.duplicate || d.ioType == u"9"_s) {
        d.duplicate = false;
        const SignEventRow row{.IDNO = id,
                               .IODATE = d.ioDate,
                               .IOTIME = d.ioTime,
                               .IOTYPE = d.ioType,
                               .INDEX_KEY = d.lessonKey,
                               .IOWay = person.entryWay,
                               .DOOR = m_station.StationNo,
                               .NET = u"N"_s,
                               .NTP = m_station.NtpFlag};
        QSqlQuery &insert = transaction.Run(SignEventInsertSql(NewRowNumber::Returned),
                                            SignEventValues(row));
        d.rid = insert.next() ? insert.value(0).toLongLong() : 0;
        insert.finish();
    }
    // The event counts from here on: the commit makes the row durable before anything
    // (counter, sound, history) tells the attendee so.
    transaction.Commit();
    return d;
}

SignRecorder::Outcome SignRecorder::Show(const IdentifiedPerson &person, const Decision &d)
{
    const bool inserted = !d.duplicate;
    if (inserted) {
        if (int *counter = Counter(d.ioType)) {
            ++*counter;
            m_view.UpdateCounter(d.ioType, CounterCaption(d.ioType));
        }
    }

    // Snapshots: a new event's own; a repeated entry within five minutes replaces the first
    // event's picture. Neither a missing frame nor a failed write stops the recording.
    QString picture;
    if (m_station.photoOn) {
        if (inserted) {
            picture = TakeSnapshot(SnapshotPath(person.saveId, d.ioTime, d.ioType, person.entryWay));
        } else {
            const QString firstPath = SnapshotPath(person.saveId, d.firstTime, d.ioType, d.firstWay);
            bool retake = false;
            try {
                retake
                    = TimeTextToSeconds(d.ioTime) - TimeTextToSeconds(d.firstTime) < RetakeSeconds;
            } catch (const ConversionError &) {
                retake = false;
            }
            if (retake)
                picture = TakeSnapshot(firstPath);
            if (picture.isEmpty() && !firstPath.isEmpty() && QFile::exists(firstPath))
                picture = firstPath; // the first event's picture still belongs to this line
        }
    }

    m_view.HideFailure();
    if (m_station.OkSoundOn)
        MediaPlay(d.duplicate ? DupSound : OkSound);

    // The line of the event: the name is left out when the shown identity is the name already.
    const QString nm
        = m_station.DisplayField.toUpper().contains(u"NAME"_s) ? QString() : person.name;
    HistoryRow row;
    row.hint = person.saveId;
    row.colour = m_station.RowColor;
    row.picturePath = picture;
    row.ioType = d.ioType;
    row.ioDate = d.ioDate;
    row.rid = d.rid;
    if (d.duplicate) {
        row.indexKey = d.firstKey;
        row.eventTime = d.firstTime;
        row.text = person.showId + u' ' + nm + d.firstTime.left(2) + u':' + d.firstTime.mid(2, 2)
            + u" 已"_s + VioTypec(d.ioType);
    } else {
        row.indexKey = d.lessonKey;
        row.eventTime = d.ioTime;
        row.text = person.showId + u' ' + nm + u' ' + d.ioTime.left(2) + u':' + d.ioTime.mid(2, 2)
            + VioTypec(d.ioType) + u"  "_s;
    }
    m_history.prepend(row);
    while (m_history.size() > HistoryLength)
        m_history.removeLast();
    m_view.ShowHistory(m_history);
    return d.duplicate ? Outcome::Duplicate : Outcome::Recorded;
}

bool SignRecorder::DeleteHistoryRow(int index)
{
    if (index < 0 || index >= m_history.size())
        return false;
    const HistoryRow row = m_history.at(index);
    // Only the kind recorded last can be deleted, and only the one event the line shows.
    if (row.hint.isEmpty() || row.ioType != m_lastIoType || row.rid <= 0)
        return false;
    const QString condition = u" from PSIO where RID = ? and IDNO = ? and IOTYPE = ? "
                              "and IODATE = ? and INDEX_KEY = ? and IOTIME = ?"_s;
    const QVariantList params
        = { row.rid, row.hint, row.ioType, row.ioDate, row.indexKey, row.eventTime };
    if (QueryValueIn(u"select count(*)"_s + condition, m_dm.Con1(), params).toInt() <= 0)
        return false;
    if (!AskYesNo(row.text + u'\n' + u"紀錄是否確定刪除?"_s, u"是"_s, u"否"_s))
        return false;
    return ExecSqlOn(u"delete"_s + condition, m_dm.Con1(), params);
}
