#include "station/IdentityResolver.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/IdentityNumber.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/NetDatabase.h"
#include "base/RolvanError.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "platform/Prompter.h"
#include "station/StationState.h"

#include <QDebug>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

quint32 FragmentKey(int start, int length) { return quint32(start) << 16 | quint32(length); }

// Every installation of the change counter on a connection gets its own number, so that a mark
// taken on a reopened connection never equals one of before.
qint64 g_installations = 0;

const QString CounterTable = u"rolvan_enrolment_changes"_s;
const QString TriggerPrefix = u"rolvan_enrolment_"_s;
const QStringList WatchedTables = { u"Booking"_s, u"PSPN"_s };
const QStringList WatchedWrites = { u"insert"_s, u"update"_s, u"delete"_s };

// rolvan_rows_hash(value, ...): an aggregate of the rows it is given, each value's type and
// bytes in order, as one 64-bit FNV-1a number. Equal rows in equal order give equal numbers;
// any change of a value gives another number (but for a chance of 2^-64).
const char *const RowsHashFunction = "rolvan_rows_hash";
constexpr quint64 FnvOffset = 14695981039346656037ULL;
constexpr quint64 FnvPrime = 1099511628211ULL;

struct RowsHashState
{
    quint64 hash;
    int started;
};

quint64 HashByte(quint64 hash, unsigned char byte) { return (hash ^ byte) * FnvPrime; }

void RowsHashStep(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    auto *state
        = static_cast<RowsHashState *>(sqlite3_aggregate_context(context, sizeof(RowsHashState)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    quint64 hash = state->started ? state->hash : FnvOffset;
    for (int i = 0; i < argc; ++i) {
        hash = HashByte(hash, static_cast<unsigned char>(sqlite3_value_type(argv[i])));
        const auto *bytes = sqlite3_value_text(argv[i]);
        const int size = sqlite3_value_bytes(argv[i]);
        for (int k = 0; bytes && k < size; ++k)
            hash = HashByte(hash, bytes[k]);
        hash = HashByte(hash, 0x1f); // between values
    }
    state->hash = HashByte(hash, 0x1e); // between rows
    state->started = 1;
}

void RowsHashFinal(sqlite3_context *context)
{
    auto *state = static_cast<RowsHashState *>(sqlite3_aggregate_context(context, 0));
    sqlite3_result_int64(context, state && state->started ? qint64(state->hash) : 0);
}

// Registers rolvan_rows_hash on the connection; false when it is not an SQLite connection.
bool RegisterRowsHash(const QSqlDatabase &db)
{
    if (!db.driver())
        return false;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    return connection
        && sqlite3_create_function_v2(connection, RowsHashFunction, -1,
               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr, &RowsHashStep, &RowsHashFinal,
               nullptr)
        == SQLITE_OK;
}

// Every fingerprint that could not be read differs from every other one.
qint64 g_unreadFingerprints = 0;

} // namespace

// ---- EnrolmentChanges ------------------------------------------------------------------------

struct EnrolmentChanges::Statement
{
    QString connection;
    QSqlQuery query;
    int triggers = 0; // the triggers the installation made
};

EnrolmentChanges::EnrolmentChanges(const TDM &dm)
    : m_dm(dm)
{
}

EnrolmentChanges::~EnrolmentChanges() = default;

void EnrolmentChanges::Install(QSqlDatabase db)
{
    auto statement = std::make_unique<Statement>();
    statement->connection = db.connectionName();
    if (IsPostgres(db)) {
        // The shared database counts every station's enrolment writes itself (see the schema).
        statement->query = QSqlQuery(db);
        statement->query.setForwardOnly(true);
        const QString check = u"select n, 0, 0 from "_s + EnrolmentChangesTable;
        if (!statement->query.prepare(check))
            throw DatabaseError(check + u'\n' + statement->query.lastError().text());
        m_installation = ++g_installations;
        m_statement = std::move(statement);
        return;
    }
    QSqlQuery run(db);
    const QStringList setup = {
        u"create temp table if not exists "_s + CounterTable + u" (n integer not null)"_s,
        u"delete from temp."_s + CounterTable,
        u"insert into temp."_s + CounterTable + u" (n) values (0)"_s,
    };
    for (const QString &sql : setup) {
        if (!run.exec(sql))
            throw DatabaseError(sql + u'\n' + run.lastError().text());
    }
    for (const QString &table : WatchedTables) {
        for (const QString &write : WatchedWrites) {
            const QString sql = u"create temp trigger if not exists "_s + TriggerPrefix + table
                + u'_' + write + u" after "_s + write + u" on main."_s + table + u" begin update "_s
                + CounterTable + u" set n = n + 1; end"_s;
            // A database without the table (a foreign or partial one) has nothing to watch.
            if (run.exec(sql))
                ++statement->triggers;
            else
                qWarning().noquote() << "Enrolment changes not watched:" << run.lastError().text();
        }
    }
    run.finish();
    if (!RegisterRowsHash(db))
        qWarning().noquote() << "Enrolment fingerprint not available on" << db.connectionName();
    statement->query = QSqlQuery(db);
    statement->query.setForwardOnly(true);
    const QString check = u"select n, (select data_version from pragma_data_version), "
                          "(select count(*) from sqlite_temp_master where type = 'trigger' "
                          "and name like '"_s
        + TriggerPrefix + u"%') from temp."_s + CounterTable;
    if (!statement->query.prepare(check))
        throw DatabaseError(check + u'\n' + statement->query.lastError().text());
    m_installation = ++g_installations;
    m_statement = std::move(statement);
}

EnrolmentChanges::Mark EnrolmentChanges::Current()
{
    QSqlDatabase db = m_dm.Con1();
    if (!db.isOpen())
        return {};
    if (m_statement && m_statement->connection != db.connectionName())
        m_statement.reset();
    // A statement of a connection closed and opened again fails: the counter and its triggers
    // went with the old connection and are installed anew.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_statement) {
            try {
                Install(db);
            } catch (const DatabaseError &error) {
                qWarning().noquote() << "Enrolment changes not watched:" << error.message();
                break;
            }
        }
        QSqlQuery &query = m_statement->query;
        if (query.exec() && query.next()) {
            Mark mark;
            mark.connection = m_statement->connection;
            mark.installation = m_installation;
            mark.ownWrites = query.value(0).toLongLong();
            mark.otherCommits = query.value(1).toLongLong();
            const int triggers = query.value(2).toInt();
            query.finish();
            // Triggers go with their table: a table dropped and made again is watched anew.
            if (triggers >= m_statement->triggers)
                return mark;
        }
        m_statement.reset();
    }
    // Nothing to rely on: a mark of its own makes every entry read the rows anew.
    Mark unknown;
    unknown.installation = ++g_installations;
    return unknown;
}

// ---- PersonTable -----------------------------------------------------------------------------

PersonTable::PersonTable(const TDM &dm)
    : m_dm(dm)
{
}

void PersonTable::Use(const QString &classKey, bool personnel, const QStringList &displayColumns)
{
    const QString database = m_dm.Con1().databaseName();
    const QStringList columns = personnel ? QStringList() : displayColumns;
    if (m_personnel != personnel || (!personnel && m_classKey != classKey) || m_database != database
        || m_displayColumns != columns) {
        m_loaded = false;
        m_classKey = classKey;
        m_personnel = personnel;
        m_database = database;
        m_displayColumns = columns;
    }
}

// The columns read from each row: the row identity, the identities, the name, the columns shown.
QString PersonTable::Columns() const
{
    QStringList columns = { u"RID"_s, u"ID"_s, u"IDNO"_s, u"NAME"_s };
    columns += m_displayColumns;
    return columns.join(u", "_s);
}

// The rows as one value, read by one statement that returns one row: the count and the hash of
// the rows in the order the index gives (a change of plan only makes the rows load again). The
// hash function comes with the change counter of the connection; without it, each fingerprint
// is one of its own.
QString PersonTable::Fingerprint() const
{
    const QSqlDatabase db = m_dm.Con1();
    // The shared database counts enrolment writes exactly: no fingerprint is needed there.
    if (IsPostgres(db))
        return QString();
    QStringList columns = { u"RID"_s, u"ID"_s, u"IDNO"_s, u"NAME"_s };
    columns += m_displayColumns;
    const QString aggregate = u"select count(*) || ':' || "_s + QLatin1String(RowsHashFunction)
        + u'(' + columns.join(u", "_s) + u')';
    try {
        QSqlQuery query = m_personnel
            ? RunQuery(aggregate + u" from PSPN"_s, db, {})
            : RunQuery(aggregate + u" from Booking where Index_key = ?"_s, db, { m_classKey });
        if (query.next())
            return query.value(0).toString();
    } catch (const DatabaseError &error) {
        qWarning().noquote() << "Enrolment fingerprint:" << error.message();
    }
    return u"unread "_s + QString::number(++g_unreadFingerprints);
}

void PersonTable::Load()
{
    m_rows.clear();
    m_byId.clear();
    m_byIdno.clear();
    m_fragments.clear();
    // The fingerprint first: a change between the two makes the next look load again.
    m_fingerprint = Fingerprint();
    const QSqlDatabase db = m_dm.Con1();
    QSqlQuery query = m_personnel
        ? RunQuery(u"select "_s + Columns() + u" from PSPN order by RID"_s, db, {})
        : RunQuery(u"select "_s + Columns() + u" from Booking where Index_key = ? order by RID"_s,
            db, { m_classKey });
    const int shownCount = int(m_displayColumns.size());
    while (query.next()) {
        Person person;
        person.rid = query.value(0).toLongLong();
        person.id = query.value(1).toString().trimmed();
        person.idno = query.value(2).toString().trimmed();
        person.name = query.value(3).toString().trimmed();
        for (int i = 0; i < shownCount; ++i)
            person.shown << query.value(4 + i).toString().trimmed();
        const int index = int(m_rows.size());
        m_byId.insert(person.id.toUpper(), index);
        m_byIdno.insert(person.idno.toUpper(), index);
        m_rows.append(std::move(person));
    }
    m_loaded = true;
    m_verify = false;
    ++m_loadCount;
}

void PersonTable::EnsureLoaded()
{
    if (m_loaded && m_verify) {
        m_verify = false;
        if (Fingerprint() != m_fingerprint)
            m_loaded = false;
    }
    if (!m_loaded)
        Load();
}

namespace {

QList<const PersonTable::Person *> InLoadOrder(
    const QList<PersonTable::Person> &rows, QList<int> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    QList<const PersonTable::Person *> persons;
    for (int index : indexes)
        persons.append(&rows.at(index));
    return persons;
}

} // namespace

QList<const PersonTable::Person *> PersonTable::MatchId(const QString &text, int start, int length)
{
    EnsureLoaded();
    const QString key = text.toUpper();
    if (length <= 0)
        return InLoadOrder(m_rows, m_byId.values(key));
    // The characters of every ID at that place, hashed the first time they are asked for.
    const quint32 fragment = FragmentKey(start, length);
    auto found = m_fragments.find(fragment);
    if (found == m_fragments.end()) {
        QMultiHash<QString, int> byPart;
        for (int i = 0; i < m_rows.size(); ++i)
            byPart.insert(m_rows.at(i).id.mid(start - 1, length).toUpper(), i);
        found = m_fragments.insert(fragment, byPart);
    }
    return InLoadOrder(m_rows, found->values(key));
}

QList<const PersonTable::Person *> PersonTable::MatchIdno(const QString &text)
{
    EnsureLoaded();
    return InLoadOrder(m_rows, m_byIdno.values(text.toUpper()));
}

// ---- IdentityResolver ------------------------------------------------------------------------

IdentityResolver::IdentityResolver(StationState &station, const TDM &dm)
    : m_station(station)
    , m_dm(dm)
    , m_changes(dm)
    , m_booking(dm)
    , m_personnel(dm)
{
}

bool IdentityResolver::IsIdKind(const QString &kind) const
{
    return kind == IdentityKind::FullId || kind == IdentityKind::MaskedId;
}

bool IdentityResolver::IsIdnoKind(const QString &kind) const
{
    return !G().IdnoCaption.isEmpty() && kind == G().IdnoCaption;
}

void IdentityResolver::LoadSettings()
{
    const QString caption = G().IdnoCaption;
    m_station.InputKind
        = ReadIniSetting(IniSection::Base, IniKey::IdentityInputKind, caption, caption);
    m_station.StorageKind = ReadIniSetting(IniSection::Base, IniKey::IdentityStoreKind,
        IdentityKind::DefaultStorage, IdentityKind::DefaultStorage);
    m_station.DisplayKind
        = ReadIniSetting(IniSection::Base, IniKey::IdentityShowKind, caption, caption);
    m_station.IdnoLength
        = StrToIntSafe(ReadIniSetting(IniSection::Base, IniKey::EmployeeNoLength, u"0"_s, u"6"_s));
    BuildDisplayField();
    SetStorageColumn();
}

void IdentityResolver::BuildDisplayField()
{
    m_station.DisplayColumns.clear();
    m_station.DisplayField.clear();
    if (m_station.DisplayKind.trimmed().isEmpty())
        return;
    const QStringList parts = m_station.DisplayKind.split(u':');
    for (const QString &part : parts) {
        const QString code = QueryValueIn(u"select CODE_SEQ from SYS_code where CODE_TYPE = ? "
                                          "and CODE_DESC = ?"_s,
            m_dm.Con1(), { u"PSPN_DBGRID1"_s, part })
                                 .toString();
        // Only a real column of the enrolment table goes into a statement; a caption the
        // layout does not know adds nothing.
        const ColumnDef *column = FindColumn(u"Booking"_s, code);
        if (column)
            m_station.DisplayColumns << column->name;
    }
    QStringList terms;
    for (const QString &column : std::as_const(m_station.DisplayColumns))
        terms << u"coalesce("_s + column + u", '')"_s;
    m_station.DisplayField = terms.join(u" || ':' || "_s);
}

void IdentityResolver::SetStorageColumn()
{
    if (IsIdKind(m_station.StorageKind))
        m_station.StorageColumn = u"ID"_s;
    else if (IsIdnoKind(m_station.StorageKind))
        m_station.StorageColumn = u"IDNO"_s;
}

int IdentityResolver::ExpectedLength() const
{
    const QString &kind = m_station.ManualKind;
    if (IsIdnoKind(kind))
        return m_station.IdnoLength;
    if (IsIdKind(kind))
        return 10;
    if (kind == IdentityKind::Last4)
        return 4;
    if (kind == IdentityKind::Last5)
        return 5;
    return 0;
}

std::optional<QString> IdentityResolver::ValidateEntry(const QString &text) const
{
    const QString &kind = m_station.ManualKind;
    QString entry = text.trimmed();
    const qsizetype length = entry.size();
    const bool acceptable = length > 0
        && (length == ExpectedLength() || (kind.contains(u"身分證"_s) && length == 10)
            || (kind == IdentityKind::FullId + u"or"_s + G().IdnoCaption
                && length == m_station.IdnoLength));
    if (!acceptable)
        return std::nullopt;
    if ((kind.contains(u"身分證"_s) && length == 10) || kind == IdentityKind::FullId)
        entry = entry.toUpper();
    return entry;
}

PersonTable &IdentityResolver::ClassTable()
{
    m_booking.Use(m_station.ClassKey, false, m_station.DisplayColumns);
    return m_booking;
}

PersonTable &IdentityResolver::LookupTable()
{
    if (m_station.preBooking)
        return ClassTable();
    m_personnel.Use(QString(), true);
    return m_personnel;
}

void IdentityResolver::InvalidateEnrolment()
{
    m_booking.Invalidate();
    m_personnel.Invalidate();
}

void IdentityResolver::SeeChanges()
{
    const EnrolmentChanges::Mark mark = m_changes.Current();
    if (mark.connection != m_mark.connection || mark.installation != m_mark.installation
        || mark.ownWrites != m_mark.ownWrites) {
        InvalidateEnrolment();
    } else if (mark.otherCommits != m_mark.otherCommits) {
        m_booking.Verify();
        m_personnel.Verify();
    }
    m_mark = mark;
}

QList<const PersonTable::Person *> IdentityResolver::MatchFragment(
    const QString &fragment, int start, int length)
{
    QList<const PersonTable::Person *> persons = LookupTable().MatchId(fragment, start, length);
    // A person enrolled twice (a temporary row beside the imported one) is one person.
    QSet<QString> ids;
    persons.removeIf([&ids](const PersonTable::Person *person) {
        const QString id = person->id.toUpper();
        if (ids.contains(id))
            return true;
        ids.insert(id);
        return false;
    });
    return persons;
}

std::optional<PersonTable::Person> IdentityResolver::Choose(
    const QString &entry, QList<const PersonTable::Person *> persons)
{
    std::stable_sort(persons.begin(), persons.end(),
        [](const PersonTable::Person *a, const PersonTable::Person *b) {
            return a->name.compare(b->name, Qt::CaseInsensitive) < 0;
        });
    // Each line tells its person apart: the name and the identity masked as on the sheets;
    // persons alike in both also show their personnel number.
    QStringList lines;
    for (const PersonTable::Person *person : std::as_const(persons))
        lines << person->name + u"  "_s + MaskedIdentity(person->id);
    const QStringList alike = lines;
    for (int i = 0; i < persons.size(); ++i) {
        if (alike.count(alike.at(i)) > 1 && !persons.at(i)->idno.isEmpty())
            lines[i] += u"  "_s + persons.at(i)->idno;
    }
    m_choiceLines = lines;
    const int chosen = CurrentPrompter().ChooseFromList(entry, lines);
    if (chosen < 0 || chosen >= persons.size())
        return std::nullopt;
    return *persons.at(chosen);
}

QString IdentityResolver::SaveId(
    const PersonTable::Person &person, const QString &card, const QString &entryKind) const
{
    const QString &storage = m_station.StorageKind;
    // The enrolment row's own writing of the identity, so that the event and the row compare
    // equal in every list and report.
    if (IsIdKind(storage))
        return person.id;
    if (IsIdnoKind(storage))
        return person.idno;
    if (entryKind == storage)
        return card;
    return QString();
}

QString IdentityResolver::ShowId(
    const PersonTable::Person &person, const QString &card, const QString &entryKind) const
{
    const QString &display = m_station.DisplayKind;
    QString s = card;
    if (entryKind != display) {
        if (display == IdentityKind::None)
            s.clear();
        else if (IsIdnoKind(entryKind) || IsIdKind(entryKind))
            s = person.shown.join(u':'); // the person's display columns
    }
    if (IsIdKind(display))
        s = s.mid(5, 5);
    else if (display.startsWith(IdentityKind::FullId))
        s = s.mid(5);
    if (s.size() == 10 && !s.startsWith(u"VID"_s))
        s = s.mid(5, 5);
    return s;
}

IdentityResolver::Resolution IdentityResolver::Resolve(
    const QString &entry, const QString &entryWay)
{
    using Outcome = Resolution::Outcome;
    m_choiceLines.clear();
    SeeChanges();

    QString card = entry;
    std::optional<PersonTable::Person> person;
    // A fragment at that place of the ID: one person replaces the entry by his ID; several
    // are offered to choose from. False when the list was closed without a choice.
    auto resolveFragment = [&](const QString &fragment, int start, int length) {
        const QList<const PersonTable::Person *> persons = MatchFragment(fragment, start, length);
        if (persons.size() == 1) {
            person = *persons.first();
        } else if (persons.size() > 1) {
            person = Choose(fragment, persons);
            if (!person)
                return false;
        }
        if (person)
            card = person->id;
        return true;
    };

    QString entryKind = m_station.InputKind;
    if (entryWay == u"KB"_s || entryWay == u"SC"_s) {
        const QString &kind = m_station.ManualKind;
        entryKind = kind;
        if (kind == IdentityKind::Last4 || kind == IdentityKind::Last5
            || kind == IdentityKind::MaskedId)
            entryKind = IdentityKind::FullId;
        if (kind == IdentityKind::Last4 && card.size() == 4 && !resolveFragment(card, 7, 4))
            return { Outcome::Dismissed, {}, {}, entryKind };
        if (kind == IdentityKind::Last5 && card.size() == 5 && !resolveFragment(card, 6, 5))
            return { Outcome::Dismissed, {}, {}, entryKind };
        if ((kind == IdentityKind::MaskedId || kind == IdentityKind::Last5
                || kind == IdentityKind::Last4)
            && card.size() == 10 && !person) {
            const QList<const PersonTable::Person *> whole = LookupTable().MatchId(card);
            if (!whole.isEmpty()) {
                person = *whole.first();
            } else if (!resolveFragment(card.mid(5, 5), 6, 5)) {
                // Not a whole identity number of the class: its last five characters may be.
                return { Outcome::Dismissed, {}, {}, entryKind };
            }
        }
    }

    // The name: only a class that keeps an enrolment list knows its persons.
    if (!m_station.preBooking) {
        person.reset();
    } else if (!person) {
        const QList<const PersonTable::Person *> found = IsIdKind(entryKind)
            ? ClassTable().MatchId(card)
            : IsIdnoKind(entryKind) ? ClassTable().MatchIdno(card)
                                    : QList<const PersonTable::Person *>();
        if (!found.isEmpty())
            person = *found.first();
    }
    if (!person || person->name.trimmed().isEmpty())
        return { Outcome::NotFound, {}, u"("_s + card + u")"_s + u"無此"_s + entryKind,
            entryKind };

    IdentifiedPerson identified;
    identified.name = person->name;
    identified.entryWay = entryWay;
    identified.saveId = SaveId(*person, card, entryKind);
    // Without an identity of the stored kind the event would be taken for everybody else's
    // without one.
    if (identified.saveId.trimmed().isEmpty())
        return { Outcome::NotFound, {},
            u"("_s + card + u")"_s + u"無此"_s + m_station.StorageKind, entryKind };
    identified.showId = ShowId(*person, card, entryKind);
    return { Outcome::Found, identified, {}, entryKind };
}

void IdentityResolver::TemporaryEnrolment(const IdentifiedPerson &person)
{
    if (!m_station.preBooking)
        return;
    if (m_station.ClassSigner != u"內部"_s && m_station.ClassSigner != u"內外"_s)
        return;
    const QString column = m_station.StorageColumn;
    if ((column != u"ID"_s && column != u"IDNO"_s) || person.saveId.trimmed().isEmpty())
        return;
    SeeChanges();
    PersonTable &table = ClassTable();
    const bool enrolled
        = !(column == u"ID"_s ? table.MatchId(person.saveId) : table.MatchIdno(person.saveId))
               .isEmpty();
    if (enrolled)
        return;
    ExecSqlQuiet(
        u"insert into Booking ("_s + column + u", NAME, Index_key, CR_TYPE) values (?, ?, ?, ?)"_s,
        m_dm.Con1(), { person.saveId, person.name, m_station.ClassKey, u"臨時"_s });
}
