#pragma once

#include <QSqlDatabase>

#include <QList>
#include <QRgb>
#include <QString>
#include <QVariantList>

#include <memory>

class CameraSource;
class IdentityResolver;
class TDM;
class WriteSession;
struct IdentifiedPerson;
struct StationState;

// One line of the sign-in screen's history of the latest events.
struct HistoryRow
{
    QString text;        // the caption: shown identity, name, time and type
    QString hint;        // the stored identity of the event
    QRgb colour = 0;     // font colour: that of the type button the event was recorded with
    QString picturePath; // the snapshot shown beside the line; empty when there is none
    QString ioType;      // type code of the event shown
    QString indexKey;    // lesson key, date ("YYYMMDD") and time ("HHMMSS") of the stored event
    QString ioDate;      // the line shows (the first event's for a repeated entry)
    QString eventTime;
    qint64 rid = 0; // the row of that event
};

// What the sign-in screen shows of a recording. The window implements it; tests record it.
class SignView
{
public:
    virtual ~SignView() = default;
    // The history, newest first, at most nine lines.
    virtual void ShowHistory(const QList<HistoryRow> &rows) = 0;
    // The failure label (yellow on red) with its text, and hiding it again. The sign-in screen
    // also lets it go by itself after a few seconds, so it never stands for the next attendee.
    virtual void ShowFailure(const QString &text) = 0;
    virtual void HideFailure() = 0;
    // The caption of a type button after its counter changed, for example "簽到(12)".
    virtual void UpdateCounter(const QString &ioType, const QString &caption) = 0;
    // The input field takes the keyboard focus.
    virtual void FocusEntry() = 0;
    // A snapshot could not be stored (the event is stored all the same): the warning
    // "相片未儲存：<reason>" stays until a snapshot is stored again.
    virtual void ShowSnapshotWarning(const QString &reason) { Q_UNUSED(reason); }
    virtual void HideSnapshotWarning() {}
};

// Records sign events: each accepted entry of an attendee becomes one PSIO row (or is greeted
// as already signed), with a snapshot, a sound and a new history line.
class SignRecorder
{
public:
    // The events are written on the working connection of dm, whichever it is at the time.
    SignRecorder(StationState &station, const TDM &dm, IdentityResolver &resolver, SignView &view);
    ~SignRecorder();

    // The camera whose newest frame becomes the snapshot; none means no snapshots.
    void SetCamera(const CameraSource *camera) { m_camera = camera; }

    enum class Outcome {
        Recorded,        // a new row was stored
        Duplicate,       // the same kind was already recorded today for the lesson
        Refused,         // a precondition failed (no class, lesson or type)
        NotFound,        // the entry names nobody of the class (failure label)
        AutoRefused,     // automatic mode: already left the last lesson and arrived for the next
        ChoiceDismissed, // several persons matched and none was chosen
        BadEntry,        // wrong length
        Failed,          // a database error; nothing counted
    };

    // What came of an entry, and the event it was about.
    struct Entry
    {
        Outcome outcome = Outcome::Refused;
        // The lesson key and type of the event recorded (or greeted, or refused in automatic
        // mode); empty when the entry came to no event.
        QString indexKey;
        QString ioType;
    };

    // The button "確認" or Enter in the input field: checks the length (a wrong one shows
    // "輸入資料有問題" on the failure line with the error sound), then records.
    Entry ConfirmEntry(const QString &text);
    // The on-screen keypad once the keyed text has its full length.
    Entry KeypadEntry(const QString &text);
    // Records one event for an entry already checked, made the way given ("KB", "SC"):
    // decides who and what is recorded, stores it, then shows it.
    Entry RolvanOK(const QString &card, const QString &entryWay);

    // Name of an event type ("簽到", "簽退", the captions of "2" .. "5", "點名"); "@@@" otherwise.
    QString VioTypec(const QString &code) const;
    // Caption of a type button with its counter, for example "簽到(3)"; empty for roll call.
    QString CounterCaption(const QString &code) const;
    // Plays a sound file (a missing file is only logged by the player).
    void MediaPlay(const QString &wavFileName);

    // The sub-folder of the picture folder for new snapshots: by class number ("課程編號"),
    // by ROC year and month ("年月"); any other rule keeps current.
    static QString PhotoSubPath(const QString &rule, const QString &classKey, const QString &todayRoc,
                                int courseNoLength, const QString &current);
    // File name of a snapshot: class key, stored identity, date, time, type and way.
    static QString SnapshotFileName(const QString &classKey, const QString &saveId,
                                    const QString &ioDate, const QString &ioTime,
                                    const QString &ioType, const QString &ioWay);

    // Deletes the stored event of a history line (right mouse button), after a confirmation:
    // exactly the row the line shows (a new event's, or the first event a repeated entry was
    // greeted with). Only the kind of the event recorded last can be deleted. The line, the
    // counters and the snapshot stay. Returns whether a row was deleted.
    bool DeleteHistoryRow(int index);

    const QList<HistoryRow> &history() const { return m_history; }

private:
    // What is recorded for a person now: decided and stored in one write transaction.
    struct Decision
    {
        QString refusal; // automatic mode: already left the last lesson and arrived for the next
        QString lessonKey; // the lesson of the event
        QString ioType;
        QString ioDate;
        QString ioTime; // now, "HHMMSS"
        bool duplicate = false;
        QString firstTime; // a repeated entry: time, way and lesson key of the first event
        QString firstWay;
        QString firstKey;
        qint64 rid = 0; // the row stored, or the first event's
    };
    Outcome Record(const QString &card, const QString &entryWay, Entry &entry);
    Decision DecideAndStore(const IdentifiedPerson &person);
    Outcome Show(const IdentifiedPerson &person, const Decision &decision);
    int *Counter(const QString &code);
    QString SnapshotPath(const QString &saveId, const QString &ioTime, const QString &ioType,
                         const QString &ioWay);
    QString TakeSnapshot(const QString &path);

    StationState &m_station;
    const TDM &m_dm;
    IdentityResolver &m_resolver;
    SignView &m_view;
    const CameraSource *m_camera = nullptr;
    QList<HistoryRow> m_history;
    // The type of the event of the last entry RolvanOK took; empty when it came to no event.
    // Only events of this type can be deleted from the history.
    QString m_lastIoType;
    // The statements of every entry stay prepared between entries.
    std::unique_ptr<WriteSession> m_writes;
};
