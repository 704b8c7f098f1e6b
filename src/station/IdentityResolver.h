#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlQuery;
class TDM;
struct StationState;

// The identity kinds a station enters, stores and shows. The fifth kind, the personnel number,
// is named by G().IdnoCaption.
namespace IdentityKind {
inline const QString FullId = QStringLiteral("身分證字號");
inline const QString MaskedId = QStringLiteral("身分證遮號");
inline const QString Last4 = QStringLiteral("身分證末4碼");
inline const QString Last5 = QStringLiteral("身分證末5碼");
inline const QString None = QStringLiteral("無");
// The storage kind of a station whose INI names none: the value the settings window always
// writes, and the column every student imported from the training service has.
inline const QString DefaultStorage = FullId;
} // namespace IdentityKind

// Whether the enrolment (Booking) or the personnel (PSPN) rows may have changed since the last
// look, on the working connection of a data module:
// - writes of this station's connection, whatever window or routine makes them (the enrolment
//   window, the web import, a temporary enrolment), raise a counter kept by temporary triggers
//   of that connection on both tables;
// - a commit of any other connection to the file (another process, another station) moves
//   SQLite's data_version of this connection. It moves for any table, so it only says "look".
// A reopened or another connection gets the counter and triggers anew, and a new mark.
class EnrolmentChanges
{
public:
    explicit EnrolmentChanges(const TDM &dm);
    ~EnrolmentChanges();

    struct Mark
    {
        QString connection;
        qint64 installation = -1; // the counter's installation on that connection
        qint64 ownWrites = -1; // this connection's writes to Booking and PSPN
        qint64 otherCommits = -1; // data_version: commits of other connections
        bool operator==(const Mark &) const = default;
    };
    // The state now: one prepared statement, or the installation of the counter first.
    Mark Current();

private:
    void Install(QSqlDatabase db);
    const TDM &m_dm;
    struct Statement;
    std::unique_ptr<Statement> m_statement;
    qint64 m_installation = -1;
};

// The enrolled persons of one class (Booking rows with its key), or the personnel table,
// held in memory so that one entry costs no query. Loaded when first needed, again after
// Invalidate(), and after a change elsewhere that Verify() finds.
class PersonTable
{
public:
    struct Person
    {
        qint64 rid = 0;
        QString id;
        QString idno;
        QString name;
        QStringList shown; // the values of the display columns, in their order
    };

    // Rows of the working connection of dm.
    explicit PersonTable(const TDM &dm);

    // Booking rows of classKey, or every PSPN row when personnel is true, of the working
    // database, with the display columns of Booking (another class, database file or set of
    // columns makes the rows load anew).
    void Use(const QString &classKey, bool personnel, const QStringList &displayColumns = {});
    // Everything changed, for example on this connection: the next use loads anew.
    void Invalidate() { m_loaded = false; }
    // Another connection committed something: the next use compares the rows' fingerprint with
    // the one of the load and loads anew only when it differs.
    void Verify() { m_verify = true; }

    // Persons whose ID matches: the whole ID (case-blind), or `length` characters of the ID
    // from the 1-based start. In load order.
    QList<const Person *> MatchId(const QString &text, int start = 0, int length = 0);
    QList<const Person *> MatchIdno(const QString &text);

    int loadCount() const { return m_loadCount; }

private:
    void EnsureLoaded();
    void Load();
    QString Fingerprint() const;
    QString Columns() const;

    const TDM &m_dm;
    QString m_classKey;
    QString m_database;
    QStringList m_displayColumns;
    bool m_personnel = false;
    bool m_loaded = false;
    bool m_verify = false;
    int m_loadCount = 0;
    QString m_fingerprint;
    QList<Person> m_rows;
    QMultiHash<QString, int> m_byId;   // upper-case ID
    QMultiHash<QString, int> m_byIdno; // upper-case IDNO
    QHash<quint32, QMultiHash<QString, int>> m_fragments; // upper-case parts of the IDs by place
};

// The one person an entry names, with everything the sign event needs of him.
struct IdentifiedPerson
{
    QString saveId; // the identity stored in the event (PSIO.IDNO), as the enrolment row has it
    QString showId; // the identity shown in the history line
    QString name;
    QString entryWay; // "KB" keyboard, "SC" on-screen keypad: the event's IOWay
};

// Turns what an attendee typed into one enrolled person of the selected class, and derives
// the identity stored with each sign event and the one shown on screen.
class IdentityResolver
{
public:
    // The persons are looked up on the working connection of dm, whichever it is at the time.
    IdentityResolver(StationState &station, const TDM &dm);

    // Reads the identity settings of the station (section Base): the kinds entered, stored
    // and shown, the personnel-number length; then DisplayField and StorageColumn.
    void LoadSettings();
    // DisplayField and DisplayColumns from DisplayKind through the personnel grid layout.
    void BuildDisplayField();
    // StorageColumn from StorageKind: "ID", "IDNO", or left as it was for any other kind.
    void SetStorageColumn();

    // The length an entry of ManualKind must have.
    int ExpectedLength() const;

    // Checks the length of a typed entry. Accepted: the entry (trimmed, upper-cased for a
    // whole identity number) is returned. Refused: nothing is returned; the caller shows
    // BadEntryText on the screen.
    std::optional<QString> ValidateEntry(const QString &text) const;
    // What the screen shows for an entry of the wrong length.
    static inline const QString BadEntryText = QStringLiteral("輸入資料有問題");

    struct Resolution
    {
        enum class Outcome {
            Found, // person holds the one person the entry names
            NotFound, // nobody of the class, or nobody with an identity of the stored kind
            Dismissed, // several persons matched and the choice list was closed without a choice
        };
        Outcome outcome = Outcome::NotFound;
        IdentifiedPerson person;
        QString failText; // NotFound: for example "(12345)無此身分證字號"
        QString entryKind; // the kind under which the entry was resolved
    };
    // The whole resolution of an entry made on this screen (entryWay "KB" or "SC"): a fragment
    // of the identity number is replaced by the one enrolled person it matches; for several,
    // the operator chooses one (in name order) through the prompter; then the person's name,
    // stored and shown identity. Every change to the enrolment made since the last entry, here
    // or elsewhere, is seen.
    Resolution Resolve(const QString &entry, const QString &entryWay);

    // Adds an enrolment row marked "臨時" for a person the class does not know under his
    // stored identity yet, when the class keeps an enrolment list and its signer is "內部" or
    // "內外".
    void TemporaryEnrolment(const IdentifiedPerson &person);

    // Everything of the enrolment is read anew at the next entry.
    void InvalidateEnrolment();

    // The lines of the choice list last offered, in list order (tests read them).
    QStringList lastChoices() const { return m_choiceLines; }
    // Loads of the class enrolment so far (tests check the cache).
    int enrolmentLoads() const { return m_booking.loadCount(); }

private:
    bool IsIdKind(const QString &kind) const;
    bool IsIdnoKind(const QString &kind) const;
    PersonTable &LookupTable();
    PersonTable &ClassTable();
    void SeeChanges();

    // The persons an identity fragment of `length` characters at 1-based `start` matches, one
    // per identity number.
    QList<const PersonTable::Person *> MatchFragment(
        const QString &fragment, int start, int length);
    // The person chosen from the list, or none when it was closed.
    std::optional<PersonTable::Person> Choose(
        const QString &entry, QList<const PersonTable::Person *> persons);
    QString ShowId(
        const PersonTable::Person &person, const QString &card, const QString &entryKind) const;
    QString SaveId(
        const PersonTable::Person &person, const QString &card, const QString &entryKind) const;

    StationState &m_station;
    const TDM &m_dm;
    EnrolmentChanges m_changes;
    EnrolmentChanges::Mark m_mark;
    PersonTable m_booking;
    PersonTable m_personnel;
    QStringList m_choiceLines;
};
