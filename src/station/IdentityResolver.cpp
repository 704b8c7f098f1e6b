#include "station/IdentityResolver.h"

#include "Fun/DateTimeFunctions.h"
#include "Fun/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/Globals.h"
#include "core/RolvanError.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "station/StationState.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString ErrorSound = u"RolvanError.wav"_s;

quint32 FragmentKey(int start, int length) { return quint32(start) << 16 | quint32(length); }

} // namespace

// ---- PersonTable -----------------------------------------------------------------------------

void PersonTable::Use(const QString &classKey, bool personnel)
{
    const QString database = WorkingConnection().databaseName();
    if (m_personnel != personnel || (!personnel && m_classKey != classKey)
        || m_database != database) {
        m_loaded = false;
        m_classKey = classKey;
        m_personnel = personnel;
        m_database = database;
    }
}

QPair<qint64, qint64> PersonTable::Probe() const
{
    QSqlQuery query = m_personnel
        ? RunQuery(u"select count(*), max(RID) from PSPN"_s, WorkingConnection(), {})
        : RunQuery(u"select count(*), max(RID) from Booking where Index_key = ?"_s,
            WorkingConnection(), { m_classKey });
    if (!query.next())
        return { 0, 0 };
    return { query.value(0).toLongLong(), query.value(1).toLongLong() };
}

void PersonTable::Load()
{
    m_rows.clear();
    m_byId.clear();
    m_byIdno.clear();
    m_byName.clear();
    m_fragments.clear();
    QSqlQuery query = m_personnel
        ? RunQuery(u"select * from PSPN order by RID"_s, WorkingConnection(), {})
        : RunQuery(u"select * from Booking where Index_key = ? order by RID"_s, WorkingConnection(),
            { m_classKey });
    const QSqlRecord record = query.record();
    QStringList names;
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i).toUpper();
    const int ridColumn = int(names.indexOf(u"RID"_s));
    const int idColumn = int(names.indexOf(u"ID"_s));
    const int idnoColumn = int(names.indexOf(u"IDNO"_s));
    const int nameColumn = int(names.indexOf(u"NAME"_s));
    qint64 newest = 0;
    while (query.next()) {
        Person person;
        for (int i = 0; i < names.size(); ++i)
            person.columns.insert(names.at(i), query.value(i).toString().trimmed());
        person.rid = ridColumn >= 0 ? query.value(ridColumn).toLongLong() : 0;
        person.id = idColumn >= 0 ? person.columns.value(names.at(idColumn)) : QString();
        person.idno = idnoColumn >= 0 ? person.columns.value(names.at(idnoColumn)) : QString();
        person.name = nameColumn >= 0 ? person.columns.value(names.at(nameColumn)) : QString();
        newest = std::max(newest, person.rid);
        const int index = int(m_rows.size());
        m_byId.insert(person.id.toUpper(), index);
        m_byIdno.insert(person.idno.toUpper(), index);
        m_byName.insert(person.name.toUpper(), index);
        m_rows.append(std::move(person));
    }
    m_probe = { m_rows.size(), newest };
    m_loaded = true;
    ++m_loadCount;
}

void PersonTable::EnsureLoaded()
{
    if (!m_loaded)
        Load();
}

bool PersonTable::RefreshIfChanged()
{
    if (!m_loaded) {
        Load();
        return true;
    }
    if (Probe() == m_probe)
        return false;
    Load();
    return true;
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

const PersonTable::Person *PersonTable::FindName(const QString &name)
{
    EnsureLoaded();
    for (const Person *person : InLoadOrder(m_rows, m_byName.values(name.toUpper()))) {
        if (person->name == name)
            return person;
    }
    return nullptr;
}

// ---- IdentityResolver ------------------------------------------------------------------------

IdentityResolver::IdentityResolver(StationState &station)
    : m_station(station)
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
        const QString code = QueryValue(u"select CODE_SEQ from SYS_code where CODE_TYPE = ? "
                                        "and CODE_DESC = ?"_s,
            { u"PSPN_DBGRID1"_s, part })
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

std::optional<QString> IdentityResolver::ValidateEntry(const QString &text)
{
    const QString &kind = m_station.ManualKind;
    QString entry = text.trimmed();
    const qsizetype length = entry.size();
    const bool acceptable = length > 0
        && (length == ExpectedLength() || (kind.contains(u"身分證"_s) && length == 10)
            || (kind == IdentityKind::FullId + u"or"_s + G().IdnoCaption
                && length == m_station.IdnoLength));
    if (!acceptable) {
        CurrentPrompter().ShowMessage(u"輸入資料有問題"_s);
        return std::nullopt;
    }
    EntryWay = u"KB"_s;
    if ((kind.contains(u"身分證"_s) && length == 10) || kind == IdentityKind::FullId)
        entry = entry.toUpper();
    PersonName.clear();
    return entry;
}

PersonTable &IdentityResolver::ClassTable()
{
    m_booking.Use(m_station.ClassKey, false);
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

IdentityResolver::Resolution IdentityResolver::Choose(
    const QString &entry, QList<const PersonTable::Person *> persons)
{
    std::stable_sort(persons.begin(), persons.end(),
        [](const PersonTable::Person *a, const PersonTable::Person *b) {
            return a->name.compare(b->name, Qt::CaseInsensitive) < 0;
        });
    m_choices.clear();
    QStringList names;
    for (const PersonTable::Person *person : persons) {
        m_choices.append({ person->name, person->id });
        names << person->name;
    }
    const int chosen = CurrentPrompter().ChooseFromList(entry, names);
    if (chosen < 0 || chosen >= m_choices.size())
        return { Resolution::Outcome::Dismissed, QString() };
    return { Resolution::Outcome::Chosen, m_choices.at(chosen).id };
}

std::optional<IdentityResolver::Resolution> IdentityResolver::MatchFragment(
    QString &entry, int start, int length)
{
    PersonTable &table = LookupTable();
    QList<const PersonTable::Person *> persons = table.MatchId(entry, start, length);
    if (persons.isEmpty() && table.RefreshIfChanged())
        persons = table.MatchId(entry, start, length);
    // A person enrolled twice (a temporary row beside the imported one) is one person.
    QSet<QString> ids;
    persons.removeIf([&ids](const PersonTable::Person *person) {
        const QString id = person->id.toUpper();
        if (ids.contains(id))
            return true;
        ids.insert(id);
        return false;
    });
    if (persons.size() == 1)
        entry = persons.first()->id;
    else if (persons.size() > 1)
        return Choose(entry, persons);
    return std::nullopt;
}

IdentityResolver::Resolution IdentityResolver::ResolveEntry(const QString &text)
{
    QString entry = text;
    m_choices.clear();
    EntryKind = m_station.InputKind;
    if (EntryWay != u"KB"_s && EntryWay != u"SC"_s)
        return { Resolution::Outcome::LookUp, entry };

    const QString &kind = m_station.ManualKind;
    EntryKind = kind;
    if (kind == IdentityKind::Last4) {
        EntryKind = IdentityKind::FullId;
        if (entry.size() == 4) {
            if (auto choice = MatchFragment(entry, 7, 4))
                return *choice;
        }
    }
    if (kind == IdentityKind::Last5) {
        EntryKind = IdentityKind::FullId;
        if (entry.size() == 5) {
            if (auto choice = MatchFragment(entry, 6, 5))
                return *choice;
        }
    }
    if (kind == IdentityKind::MaskedId || kind == IdentityKind::Last5
        || kind == IdentityKind::Last4) {
        EntryKind = IdentityKind::FullId;
        if (entry.size() == 10) {
            PersonTable &table = LookupTable();
            bool whole = !table.MatchId(entry).isEmpty();
            if (!whole && table.RefreshIfChanged())
                whole = !table.MatchId(entry).isEmpty();
            if (!whole) {
                // Not a whole identity number of the class: its last five characters may be.
                const QString last5 = entry.mid(5, 5);
                QString fragment = last5;
                if (auto choice = MatchFragment(fragment, 6, 5))
                    return *choice;
                if (fragment != last5)
                    entry = fragment;
            }
        }
    }
    return { Resolution::Outcome::LookUp, entry };
}

bool IdentityResolver::GetIDName(const QString &card)
{
    LastCardNo = card;
    PersonName.clear();
    if (m_station.preBooking) {
        PersonTable &table = ClassTable();
        const bool byId = IsIdKind(EntryKind);
        const bool byIdno = IsIdnoKind(EntryKind);
        if (byId || byIdno) {
            auto lookUp = [&]() { return byId ? table.MatchId(card) : table.MatchIdno(card); };
            QList<const PersonTable::Person *> persons = lookUp();
            if (persons.isEmpty() && table.RefreshIfChanged())
                persons = lookUp();
            if (!persons.isEmpty())
                PersonName = persons.first()->name;
        }
    }
    if (PersonName.trimmed().isEmpty()) {
        FailText = u"("_s + card + u")"_s + u"無此"_s + EntryKind;
        CurrentSoundPlayer().Play(ErrorSound);
        return false;
    }
    if (m_station.preBooking && m_station.CurrentIoType == u"0"_s
        && !ClassTable().FindName(PersonName)) {
        FailText = u"沒有報名"_s;
        CurrentSoundPlayer().Play(ErrorSound);
        return false;
    }
    return true;
}

QString IdentityResolver::GetSaveId(const QString &card)
{
    const QString &storage = m_station.StorageKind;
    if (EntryKind == storage)
        return card;
    // Both kinds name the identity number itself, whole or masked: it is stored as entered.
    if (IsIdKind(EntryKind) && IsIdKind(storage))
        return card;
    PersonTable &table = ClassTable();
    if (IsIdnoKind(EntryKind) && IsIdKind(storage)) {
        const QList<const PersonTable::Person *> persons = table.MatchIdno(card);
        return persons.isEmpty() ? QString() : persons.first()->id;
    }
    if (IsIdKind(EntryKind) && IsIdnoKind(storage)) {
        const QList<const PersonTable::Person *> persons = table.MatchId(card);
        return persons.isEmpty() ? QString() : persons.first()->idno;
    }
    return QString();
}

QString IdentityResolver::GetShowId(const QString &card)
{
    const QString &display = m_station.DisplayKind;
    QString s = card;
    if (EntryKind != display) {
        QString column;
        if (IsIdnoKind(EntryKind))
            column = u"IDNO"_s;
        else if (IsIdKind(EntryKind))
            column = u"ID"_s;
        if (display == IdentityKind::None) {
            s.clear();
        } else if (!column.isEmpty()) {
            s.clear();
            const QStringList &columns = m_station.DisplayColumns;
            if (!columns.isEmpty()) {
                // The person's row in the class; a person the class does not know is looked
                // for among every enrolment.
                PersonTable &table = ClassTable();
                const QList<const PersonTable::Person *> persons
                    = column == u"ID"_s ? table.MatchId(card) : table.MatchIdno(card);
                if (!persons.isEmpty()) {
                    QStringList values;
                    for (const QString &name : columns)
                        values << persons.first()->columns.value(name.toUpper());
                    s = values.join(u':');
                } else {
                    QSqlQuery query = RunQuery(u"select "_s + m_station.DisplayField
                            + u" from Booking where "_s + column + u" = ? limit 1"_s,
                        WorkingConnection(), { card });
                    if (query.next())
                        s = query.value(0).toString().trimmed();
                }
            }
        }
    }
    if (IsIdKind(display))
        s = s.mid(5, 5);
    else if (display.startsWith(IdentityKind::FullId))
        s = s.mid(5);
    if (s.size() == 10 && !s.startsWith(u"VID"_s))
        s = s.mid(5, 5);
    return s;
}

void IdentityResolver::TemporaryEnrolment(const QString &saveId)
{
    if (!m_station.preBooking)
        return;
    if (m_station.ClassSigner != u"內部"_s && m_station.ClassSigner != u"內外"_s)
        return;
    const QString column = m_station.StorageColumn;
    if ((column != u"ID"_s && column != u"IDNO"_s) || saveId.trimmed().isEmpty())
        return;
    PersonTable &table = ClassTable();
    auto enrolled = [&]() {
        return !(column == u"ID"_s ? table.MatchId(saveId) : table.MatchIdno(saveId)).isEmpty();
    };
    if (enrolled() || (table.RefreshIfChanged() && enrolled()))
        return;
    ExecSql(
        u"insert into Booking ("_s + column + u", NAME, Index_key, CR_TYPE) values (?, ?, ?, ?)"_s,
        { saveId, PersonName, m_station.ClassKey, u"臨時"_s });
    table.Invalidate();
}
