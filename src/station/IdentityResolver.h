#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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

// The enrolled persons of one class (Booking rows with its key), or the personnel table,
// held in memory so that one entry costs no query: loaded by one bound query when first
// needed, again when the class or the database file changes, when a temporary enrolment was
// added, after Invalidate(), and when an entry finds nobody while the table has changed since
// the load (rows added or removed elsewhere). A person's data edited elsewhere is seen after
// Invalidate(), which the station calls at each activation.
class PersonTable
{
public:
    struct Person
    {
        qint64 rid = 0;
        QString id;
        QString idno;
        QString name;
        QHash<QString, QString> columns; // every column by upper-case name, trimmed
    };

    // Booking rows of classKey, or every PSPN row when personnel is true, of the working
    // database (another database file makes the rows load anew).
    void Use(const QString &classKey, bool personnel);
    void Invalidate() { m_loaded = false; }
    // Reloads when the rows of the table changed since the load (count or newest RID).
    // Returns whether it reloaded.
    bool RefreshIfChanged();

    // Persons whose ID matches: the whole ID (case-blind), or `length` characters of the ID
    // from the 1-based start. In load order.
    QList<const Person *> MatchId(const QString &text, int start = 0, int length = 0);
    QList<const Person *> MatchIdno(const QString &text);
    const Person *FindName(const QString &name);

    int loadCount() const { return m_loadCount; }

private:
    void EnsureLoaded();
    void Load();
    QPair<qint64, qint64> Probe() const;

    QString m_classKey;
    QString m_database;
    bool m_personnel = false;
    bool m_loaded = false;
    int m_loadCount = 0;
    QPair<qint64, qint64> m_probe;
    QList<Person> m_rows;
    QMultiHash<QString, int> m_byId;   // upper-case ID
    QMultiHash<QString, int> m_byIdno; // upper-case IDNO
    QMultiHash<QString, int> m_byName; // upper-case name
    QHash<quint32, QMultiHash<QString, int>> m_fragments; // upper-case parts of the IDs by place
};

// Turns what an attendee typed into one enrolled person of the selected class, and derives
// the identity stored with each sign event and the one shown on screen.
class IdentityResolver
{
public:
    explicit IdentityResolver(StationState &station);

    // Reads the identity settings of the station (section Base): the kinds entered, stored
    // and shown, the personnel-number length; then DisplayField and StorageColumn.
    void LoadSettings();
    // DisplayField and DisplayColumns from DisplayKind through the personnel grid layout.
    void BuildDisplayField();
    // StorageColumn from StorageKind: "ID", "IDNO", or left as it was for any other kind.
    void SetStorageColumn();

    // The length an entry of ManualKind must have.
    int ExpectedLength() const;

    // Checks the length of a typed entry. Accepted: EntryWay becomes "KB", PersonName is
    // cleared, and the entry (trimmed, upper-cased for a whole identity number) is returned.
    // Refused: "輸入資料有問題" is shown and nothing is returned.
    std::optional<QString> ValidateEntry(const QString &text);

    struct Resolution
    {
        enum class Outcome {
            LookUp,    // text is what the name lookup takes
            Chosen,    // several persons matched and the operator chose one: text is its ID
            Dismissed, // several persons matched and the list was closed without a choice
        };
        Outcome outcome = Outcome::LookUp;
        QString text;
    };
    // Replaces an identity fragment by the full ID of the one enrolled person it matches; for
    // several, asks the operator to choose (in name order) through the prompter.
    Resolution ResolveEntry(const QString &entry);

    // Finds PersonName for the entry; false (with FailText and the error sound) when nobody is
    // found, or when a sign-in ("0") finds a person not enrolled in the class.
    bool GetIDName(const QString &card);
    // The identity stored in the event's IDNO column.
    QString GetSaveId(const QString &card);
    // The identity shown in the history row.
    QString GetShowId(const QString &card);
    // Adds an enrolment row marked "臨時" for a stored identity the class does not know yet,
    // when the class keeps an enrolment list and its signer is "內部" or "內外".
    void TemporaryEnrolment(const QString &saveId);

    // The class's enrolment changed elsewhere: the next entry reloads it.
    void InvalidateEnrolment();

    // The persons of the choice list last offered (names and IDs, in list order).
    struct Choice
    {
        QString name;
        QString id;
    };
    QList<Choice> lastChoices() const { return m_choices; }

    // What the current entry left behind.
    QString EntryKind;
    QString EntryWay = QStringLiteral("KB");
    QString PersonName;
    QString LastCardNo;
    QString FailText;

    // Loads of the class enrolment so far (tests check the cache).
    int enrolmentLoads() const { return m_booking.loadCount(); }

private:
    bool IsIdKind(const QString &kind) const;
    bool IsIdnoKind(const QString &kind) const;
    PersonTable &LookupTable();
    PersonTable &ClassTable();
    // Resolves a fragment of `length` characters at 1-based `start` of the ID.
    std::optional<Resolution> MatchFragment(QString &entry, int start, int length);
    Resolution Choose(const QString &entry, QList<const PersonTable::Person *> persons);

    StationState &m_station;
    PersonTable m_booking;
    PersonTable m_personnel;
    QList<Choice> m_choices;
};
