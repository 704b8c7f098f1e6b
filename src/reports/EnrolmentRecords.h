#pragma once

#include "Fun/QueryBuilder.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>
#include <utility>

class TDM;

// The persons enrolled in one class (Booking rows with its class key) as the enrolment records
// window works on them: the search with its calculated columns, the grid and field layout of
// the personnel layout codes, adding, changing and deleting persons, deleting everything the
// last search found, and the manual sign-in of a person by the operator. Everything runs on
// the data module's working connection, as it is at each call, with bound values.

// What the personnel layout (SYS_code rows of type PSPN_DBGRID1) says about one column.
struct EnrolmentLayoutEntry
{
    bool found = false;   // the layout has a row for the column
    bool visible = true;  // its mark is not negative (no row counts as shown)
    QString caption;      // its description; empty without a row
};

// What a manual sign-in needs from the sign-in screen.
struct ManualSignInContext
{
    // The key the sign-in is stored under (PSIO.INDEX_KEY): the lesson in progress (class
    // number + CNo4 + start time, ManualSignInKey), the class key itself when empty.
    QString indexKey;
    QString stationNo = QStringLiteral("00"); // stored in PSIO.DOOR
    bool preBooking = false;                  // the class requires enrolment
    QString identityColumn = QStringLiteral("ID"); // Booking column stored in PSIO.IDNO
    QString identityCaption;                  // its name in messages ("身分證字號", "會員編號")
};

struct ManualSignInResult
{
    enum class Outcome {
        Stored,          // a sign-in row was written and committed
        AlreadySignedIn, // the person has a sign-in for the class already: nothing written
    };
    Outcome outcome = Outcome::AlreadySignedIn;
    QString identity; // the identity the sign-in is stored (or was found) under
    QString newId;    // the temporary identity given to a person without one, else empty
};

// How the identity number typed for a new person is judged.
struct NewIdentityCheck
{
    enum class Verdict {
        Accept,  // a national identity number with the right check digit, or none at all
        Warn,    // clearly another kind of number (resident certificate, temporary number)
        Refuse,  // meant as an identity number but not one
    };
    Verdict verdict = Verdict::Accept;
    QString message; // what the operator is told (the question for Warn)
};

// A lesson of the class on one date, as the manual sign-in looks for the one in progress.
struct EnrolmentLesson
{
    QString lessonKey; // trimmed CNo4 + trimmed TimeStart
    QString timeStart; // "HH:MM"
    QString timeEnd;
};

class EnrolmentRecords
{
public:
    EnrolmentRecords(const TDM &dm, const QString &classKey, int courseNoLength = 11);

    const QString &classKey() const { return m_classKey; }
    // The first courseNoLength characters of the class key.
    QString classNumber() const;

    // --- Identities ------------------------------------------------------------------------

    // The Booking column whose value sign events carry in PSIO.IDNO: "IDNO" when the station
    // stores the personnel number (its caption is idnoCaption), "ID" for every other kind.
    static QString IdentityColumnFor(const QString &storageKind, const QString &idnoCaption);
    // The identity as the list shows it: "*****" followed by characters 6 to 10.
    static QString MaskIdentity(const QString &id);
    // The search value of the hidden identity box for the text of the free identity box: a
    // search by the end of the identity ("%" + text); empty text gives an empty value.
    static QString IdentityTailValue(const QString &freeText);

    // --- Searching ---------------------------------------------------------------------------

    // The WHERE text of the search inputs. The rows are always those of this class (its key
    // matched exactly, whatever the inputs hold); an identity value starting with "%" finds
    // the identities ending in the rest.
    SqlCondition SearchCondition(const QList<SearchInput> &inputs) const;
    // The list statement for a condition: every Booking column, the calculated columns
    // (CalID, CalIoTime, CalIoTime1 .. CalIoTime6, CalIoType) by one grouped look-up of the
    // class's sign events, ordered by CR_DATE. identityColumn is "ID" or "IDNO"; a non-empty
    // signDate ("YYYMMDD") restricts CalIoTime to that day.
    SqlCondition ListStatement(const SqlCondition &condition, const QString &identityColumn,
                               const QString &signDate) const;
    // SearchCondition and ListStatement together; the condition becomes the last search,
    // which DeleteAllFound deletes.
    SqlCondition Search(const QList<SearchInput> &inputs, const QString &identityColumn,
                        const QString &signDate);
    bool hasSearched() const { return m_searched; }
    const SqlCondition &lastCondition() const { return m_lastCondition; }
    static QString CountLabel(int rows); // "筆數：<n>"

    // --- Activation --------------------------------------------------------------------------

    // The job types of the class's persons, for the job-type drop-down.
    QStringList JobTypes() const;
    // The class's SignType ("" when the class is not found).
    QString SignType() const;
    // The class's first and last day as stored ("YYYY/MM/DD"; empty when not found).
    std::pair<QString, QString> ClassDates() const;
    // The class's Bookin flag: the class requires enrolment (false when not found).
    bool ClassRequiresEnrolment() const;
    // The calculated column the grid's sign-in column shows for a SignType: "CalIoTime5" for a
    // class of evening events only ("00" .. "11"), "CalIoTime3" for one of afternoon events
    // only ("001100"), else "CalIoTime".
    static QString SignInColumnFor(const QString &signType);
    // The layout row of a column, its name compared in capitals.
    static EnrolmentLayoutEntry LayoutOf(QSqlDatabase db, const QString &fieldName);

    // --- Editing -------------------------------------------------------------------------------

    // The columns the detail page writes.
    static const QStringList &EditableColumns();
    // A new row before the operator types anything: the class key, CR_TYPE "逐筆", CR_DATE the
    // time of creation, JOBTYPE "學員" (a new person is an attendee unless chosen otherwise:
    // a lecturer is neither counted as expected nor printed like one).
    QVariantMap NewRowValues(const QDateTime &now) const;
    std::optional<QSqlRecord> LoadRow(int rid) const;
    // Stores a new row of the class (values by column name; blank text is stored as NULL) and
    // returns its RID. A row without a name is refused with a message (RolvanError).
    int InsertRow(const QVariantMap &values) const;
    // Writes the given columns of a row of this class.
    void UpdateRow(int rid, const QVariantMap &values) const;
    // Asks "是否確定刪除此筆資料?" (throws SilentAbort unless confirmed) and deletes the row.
    void DeleteRow(int rid) const;
    // "全刪": without a search shows "請先查尋資料" and gives std::nullopt; otherwise asks
    // "妳真的要清除嗎?" (No gives std::nullopt) and deletes exactly the rows of the last search,
    // returning how many.
    std::optional<int> DeleteAllFound() const;

    // The job types the detail page offers: "學員" and "講師", then the class's other ones.
    QStringList JobTypeChoices() const;
    // The identity number typed for a new person (ID): none, or a national identity number
    // with the right check digit, is accepted; a resident certificate number (a letter and 8
    // or 9, or two letters, then 8 digits) or one of the temporary numbers "VID" + 7 digits is
    // clearly another kind of number and only warned about; anything else is refused.
    static NewIdentityCheck CheckNewIdentity(const QString &id);

    // --- Manual sign-in ------------------------------------------------------------------------

    // The lessons of the class on a date, in start order.
    QList<EnrolmentLesson> LessonsOn(const QDate &day) const;
    // Whether the class has lessons at all.
    bool HasLessons() const;
    // The key a manual sign-in made at `now` is stored under, so that the hours and the sheets
    // of the lesson count it:
    //   - the class key for a class without lessons (the station signs such a class so);
    //   - the lesson selected on the sign-in screen (selectedLessonKey, CNo4 + TimeStart) when
    //     it is a lesson of this class on that day;
    //   - else the one lesson of the day whose time window, from minutesBefore before its start
    //     to minutesAfter after its end, holds the time;
    //   - else none (std::nullopt): the operator chooses the lesson.
    std::optional<QString> ManualSignInKey(const QString &selectedLessonKey, const QDateTime &now,
                                           int minutesBefore, int minutesAfter) const;

    // The next temporary identity ("VID" + 7 digits) for a person without one. With
    // preBooking numbered within the class's Booking rows; otherwise after the largest code
    // of the personnel table and of the class, so that two persons of one class never share one.
    QString NextTemporaryId(bool preBooking) const;
    // Signs the person of the row in by hand: a person without an identity first gets a
    // temporary one (on the row itself, and on the one personnel row of that name that has
    // none); then, unless the class already holds a sign-in of that identity, one PSIO row
    // of type "0", way "IT", dated now, under context.indexKey (the class key when empty).
    // All of it is one transaction: either everything is
    // committed or nothing is, and a failure throws (DatabaseError, or RolvanError when the
    // row is gone or the person has no identity to store).
    ManualSignInResult ManualSignIn(int rid, const ManualSignInContext &context,
                                    const QDateTime &now) const;

private:
    static QString ClassEventsCondition();
    QVariantList ClassEventsParams() const;
    QSqlDatabase Connection() const;
    QSqlQuery Run(const QString &sql, const QVariantList &params) const;

    const TDM *m_dm;
    QString m_classKey;
    int m_courseNoLength;
    bool m_searched = false;
    SqlCondition m_lastCondition;
};
