#include "station/SignEventRecords.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/FormHelpers.h"
#include "Fun/IdentityNumber.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "platform/Prompter.h"
#include "station/IdentityResolver.h"
#include "station/SignRecorder.h"
#include "station/SnapshotPlaces.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString PsioTable = u"PSIO"_s;

// Grid columns: field and title. The title of the identity column is the storage kind.
struct ColumnSpec
{
    const char16_t *field;
    const char16_t *title;
    bool hidden;
};

const ColumnSpec Columns[SignEventRecords::ColumnCount] = {
    {u"DOOR", u"電腦", false},
    {u"CalID", u"學員編號", false},
    {u"NameLookup", u"姓名", false},
    {u"IODATE", u"日期", false},
    {u"IOTIME", u"時間", false},
    {u"IotypeCal", u"卡別", false},
    {u"IOWAYCal", u"方式", false},
    {u"SEATS", u"座次", true},
    {u"GHourLookup", u"終身學習", true},
    {u"INDEX_KEY", u"講習編號", false},
    {u"NET", u"NET", true},
    {u"IODateCal", u"日期西元", true},
    {u"NTP", u"校時", false},
};

const QStringList &PsioColumns()
{
    static const QStringList names = TableColumnNames(u"PSIO"_s);
    return names;
}

QString Text(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

// Order of two stored values: NULL first, numbers as numbers, text by its characters.
int CompareValues(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    const auto numeric = [](const QVariant &v) {
        const int id = v.typeId();
        return id == QMetaType::Int || id == QMetaType::LongLong || id == QMetaType::UInt
            || id == QMetaType::ULongLong || id == QMetaType::Double;
    };
    if (numeric(a) && numeric(b)) {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return a.toString().compare(b.toString());
}

} // namespace

QString MaskedIdno(const QString &idno)
{
    return MaskedIdentity(idno);
}

std::optional<QString> KnownSignTypeName(const QString &code, const SignTypeCaptions &captions)
{
    if (code == u"0"_s)
        return u"簽到"_s;
    if (code == u"1"_s)
        return u"簽退"_s;
    if (code == u"2"_s)
        return captions.io3Cap;
    if (code == u"3"_s)
        return captions.io4Cap;
    if (code == u"4"_s)
        return captions.io5Cap;
    if (code == u"5"_s)
        return captions.io6Cap;
    if (code == u"9"_s)
        return u"點名"_s;
    return std::nullopt;
}

QString SignTypeName(const QString &code, const SignTypeCaptions &captions)
{
    const QString c = code.trimmed();
    return KnownSignTypeName(c, captions).value_or(c);
}

QString SignWayName(const QString &code)
{
    const QString c = code.trimmed();
    if (c == u"KB"_s)
        return u"鍵盤"_s;
    if (c == u"SC"_s)
        return u"螢幕"_s;
    if (c == u"SR"_s)
        return u"感應"_s;
    return c;
}

QString GregorianOfRocDate(const QString &rocDate)
{
    const QString text = rocDate.trimmed();
    if (text.size() != 7)
        return QString();
    for (const QChar c : text) {
        if (!c.isDigit())
            return QString();
    }
    try {
        return FormatDateByPattern(u"YYYY-MM-DD"_s, ParseDateByPattern(text, u"YYYMMDD"_s));
    } catch (const ConversionError &) {
        return QString();
    }
}

QString StorageColumnOfKind(const QString &storageKind)
{
    if (storageKind == IdentityKind::FullId || storageKind == IdentityKind::MaskedId)
        return u"ID"_s;
    return u"IDNO"_s;
}

QStringList SignTypeItems(const SignTypeCaptions &captions)
{
    return {QString(), u"0:簽到"_s, u"1:簽退"_s, u"2:"_s + captions.io3Cap, u"3:"_s + captions.io4Cap,
            u"4:"_s + captions.io5Cap, u"5:"_s + captions.io6Cap, u"9:點名"_s};
}

QStringList SignWayItems()
{
    return {QString(), u"SR:感應"_s, u"SC:螢幕"_s, u"KB:鍵盤"_s};
}

QStringList SignCountCaptions(const QList<int> &counts, const SignTypeCaptions &captions)
{
    const QStringList names{u"簽到"_s, u"簽退"_s, captions.io3Cap, captions.io4Cap, captions.io5Cap,
                            captions.io6Cap};
    QStringList result;
    for (int i = 0; i < names.size(); ++i)
        result << names.at(i) + u'(' + QString::number(counts.value(i)) + u')';
    return result;
}

QString SortFieldOfColumn(const QString &field)
{
    if (field == u"IODateCal"_s)
        return u"IODATE"_s;
    if (field == u"IotypeCal"_s)
        return u"IOTYPE"_s;
    if (field == u"IOWAYCal"_s)
        return u"IOWAY"_s;
    if (field == u"CalID"_s)
        return u"IDNO"_s;
    return field;
}

// ---- SignEventRecords --------------------------------------------------------------------------

SignEventRecords::SignEventRecords(const TDM &dm, QObject *parent)
    : QAbstractTableModel(parent)
    , m_dm(dm)
{
}

QString SignEventRecords::FieldOfColumn(int column)
{
    if (column < 0 || column >= ColumnCount)
        return QString();
    return QString::fromUtf16(Columns[column].field);
}

bool SignEventRecords::IsHiddenColumn(int column)
{
    return column >= 0 && column < ColumnCount && Columns[column].hidden;
}

int SignEventRecords::FieldIndex(const QString &field)
{
    const QStringList &names = PsioColumns();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void SignEventRecords::Open(const QString &classKey, const QString &storageKind,
                            const SignTypeCaptions &captions)
{
    m_classKey = classKey;
    m_storageKind = storageKind;
    m_storageColumn = StorageColumnOfKind(storageKind);
    m_captions = captions;
    m_people.clear();
    // The enrolment list of the class; the first row of a stored identity gives its name.
    QSqlQuery query = RunQuery(u"select "_s + m_storageColumn
                                   + u", NAME, GHour from Booking where INDEX_KEY = ? order by RID"_s,
                               m_dm.Con1(), {classKey});
    while (query.next()) {
        const QString key = Text(query.value(0)).trimmed();
        if (key.isEmpty() || m_people.contains(key))
            continue;
        m_people.insert(key, Person{Text(query.value(1)), Text(query.value(2))});
    }
    emit headerDataChanged(Qt::Horizontal, ColCalId, ColCalId);
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

SqlCondition SignEventRecords::SearchStatement(const QList<SearchInput> &inputs) const
{
    SqlCondition statement = BuildWhereFromInputs(u" select * from PSIO"_s,
        u"select "_s + m_storageColumn + u" from Booking  "_s, u" IDNO "_s, inputs);
    statement.text += u" order by RID"_s;
    return statement;
}

SqlCondition SignEventRecords::CountStatement(const QList<SearchInput> &inputs) const
{
    // The names are matched in the same column as in the list, so the counts always add up to
    // the events listed.
    SqlCondition statement = BuildWhereFromInputs(u"select IOTYPE, count(*) from PSIO  "_s,
        u"select "_s + m_storageColumn + u" from Booking "_s, u" IDNO "_s, inputs);
    statement.text += u" group by IOTYPE"_s;
    return statement;
}

void SignEventRecords::Search(const QList<SearchInput> &inputs)
{
    PostPending();
    const SqlCondition statement = SearchStatement(inputs);
    QSqlQuery query = RunQuery(statement.text, m_dm.Con1(), statement.params);
    const QStringList &names = PsioColumns();
    QList<int> positions;
    for (const QString &name : names)
        positions << query.record().indexOf(name);

    QList<Row> rows;
    while (query.next()) {
        Row row;
        row.reserve(names.size());
        for (const int at : std::as_const(positions))
            row << (at >= 0 ? query.value(at) : QVariant());
        rows << row;
    }
    beginResetModel();
    m_rows = std::move(rows);
    m_sortText.clear();
    m_pendingRow = -1;
    m_pending.clear();
    endResetModel();
}

QList<int> SignEventRecords::CountByType(const QList<SearchInput> &inputs) const
{
    const SqlCondition statement = CountStatement(inputs);
    QSqlQuery query = RunQuery(statement.text, m_dm.Con1(), statement.params);
    QList<int> counts(6, 0);
    while (query.next()) {
        const QString type = Text(query.value(0));
        if (type.size() == 1 && type.at(0) >= u'0' && type.at(0) <= u'5')
            counts[type.at(0).unicode() - u'0'] = query.value(1).toInt();
    }
    return counts;
}

int SignEventRecords::Rid(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).value(FieldIndex(u"RID"_s)).toInt() : 0;
}

int SignEventRecords::RowOfRid(int rid) const
{
    for (int r = 0; r < m_rows.size(); ++r) {
        if (Rid(r) == rid)
            return r;
    }
    return -1;
}

QVariant SignEventRecords::Shown(int row, int fieldIndex) const
{
    if (row < 0 || row >= m_rows.size() || fieldIndex < 0)
        return QVariant();
    if (row == m_pendingRow && m_pending.contains(fieldIndex))
        return m_pending.value(fieldIndex);
    return m_rows.at(row).value(fieldIndex);
}

QVariant SignEventRecords::Value(int row, const QString &field) const
{
    return Shown(row, FieldIndex(field));
}

const SignEventRecords::Person *SignEventRecords::PersonOf(const QString &idno) const
{
    const auto found = m_people.constFind(idno.trimmed());
    return found == m_people.constEnd() ? nullptr : &found.value();
}

QVariant SignEventRecords::Cell(int row, int column) const
{
    const auto text = [&](const char16_t *field) { return Text(Value(row, QString::fromUtf16(field))); };
    switch (column) {
    case ColCalId:
        return MaskedIdno(text(u"IDNO"));
    case ColName: {
        const Person *person = PersonOf(text(u"IDNO"));
        return person ? person->name : QString();
    }
    case ColGHour: {
        const Person *person = PersonOf(text(u"IDNO"));
        return person ? person->gHour : QString();
    }
    case ColType:
        return SignTypeName(text(u"IOTYPE"), m_captions);
    case ColWay:
        return SignWayName(text(u"IOWay"));
    case ColDateCal:
        return GregorianOfRocDate(text(u"IODATE"));
    default:
        return Text(Value(row, FieldOfColumn(column)));
    }
}

QString SignEventRecords::SnapshotPath(int row, const QString &pictureDir, const QString &rule,
                                       const QString &currentSubPath, int courseNoLength) const
{
    if (row < 0 || row >= m_rows.size() || pictureDir.trimmed().isEmpty())
        return QString();
    const auto text = [&](const char16_t *field) { return Text(Value(row, QString::fromUtf16(field))); };
    const QString ioDate = text(u"IODATE");
    const QString sub
        = SignRecorder::PhotoSubPath(rule, m_classKey, ioDate, courseNoLength, currentSubPath);
    const QString name = SignRecorder::SnapshotFileName(m_classKey, text(u"IDNO"), ioDate,
        text(u"IOTIME"), text(u"IOTYPE"), text(u"IOWay"));
    return JoinPath(sub.isEmpty() ? pictureDir : JoinPath(pictureDir, sub), name);
}

QString SignEventRecords::FindSnapshotOf(int row, const QString &pictureDir, const QString &rule,
                                         const QString &currentSubPath, int courseNoLength) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    const auto text = [&](const char16_t *field) { return Text(Value(row, QString::fromUtf16(field))); };
    const SnapshotEvent event{m_classKey, text(u"IDNO"), text(u"IODATE"), text(u"IOTIME"),
                              text(u"IOTYPE"), text(u"IOWay")};
    return FindSnapshot(pictureDir, event, courseNoLength, rule, currentSubPath);
}

bool SignEventRecords::SortByColumn(int column)
{
    const QString field = SortFieldOfColumn(FieldOfColumn(column));
    const QString next = NextSortText(m_sortText, field);
    const int at = FieldIndex(field);
    if (next.isEmpty() || at < 0)
        return false;
    PostPending();
    const bool descending = next.endsWith(u" DESC"_s);
    beginResetModel();
    std::stable_sort(m_rows.begin(), m_rows.end(), [at, descending](const Row &a, const Row &b) {
        const int order = CompareValues(a.value(at), b.value(at));
        return descending ? order > 0 : order < 0;
    });
    m_sortText = next;
    endResetModel();
    return true;
}

void SignEventRecords::PostPending()
{
    if (m_pendingRow < 0)
        return;
    if (m_pending.isEmpty()) {
        m_pendingRow = -1;
        return;
    }
    const QStringList &names = PsioColumns();
    QStringList assignments;
    QVariantList params;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        assignments << names.at(it.key()) + u" = ?"_s;
        // An emptied cell stores NULL, as an emptied field always has.
        const QString value = it.value().toString();
        params << (value.isEmpty() ? QVariant() : QVariant(value));
    }
    params << Rid(m_pendingRow);
    RunQuery(u"update PSIO set "_s + assignments.join(u", "_s) + u" where RID = ?"_s,
             m_dm.Con1(), params);

    const int row = m_pendingRow;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        const QString value = it.value().toString();
        m_rows[row][it.key()] = value.isEmpty() ? QVariant() : QVariant(value);
    }
    m_pending.clear();
    m_pendingRow = -1;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void SignEventRecords::CancelPending()
{
    if (m_pendingRow < 0)
        return;
    const int row = m_pendingRow;
    m_pending.clear();
    m_pendingRow = -1;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void SignEventRecords::DeleteRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    ConfirmDelete();
    RunQuery(u"delete from PSIO where RID = ?"_s, m_dm.Con1(), {Rid(row)});
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    if (m_pendingRow == row) {
        m_pendingRow = -1;
        m_pending.clear();
    } else if (m_pendingRow > row) {
        --m_pendingRow;
    }
    endRemoveRows();
}

int SignEventRecords::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SignEventRecords::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant SignEventRecords::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return Cell(index.row(), index.column());
    return QVariant();
}

QVariant SignEventRecords::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == GridFieldNameRole)
        return FieldOfColumn(section);
    if (role == Qt::DisplayRole) {
        if (section == ColCalId && !m_storageKind.isEmpty())
            return m_storageKind;
        return QString::fromUtf16(Columns[section].title);
    }
    return QVariant();
}

Qt::ItemFlags SignEventRecords::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    switch (index.column()) {
    case ColDoor:
    case ColDate:
    case ColTime:
    case ColSeats:
    case ColIndexKey:
    case ColNet:
        result |= Qt::ItemIsEditable;
        break;
    default:
        break;
    }
    return result;
}

bool SignEventRecords::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int row = index.row();
    const QString field = FieldOfColumn(index.column());
    const int at = FieldIndex(field);
    const QString text = value.toString();
    if (text == Text(Shown(row, at)))
        return true;

    const int size = DeclaredTextSize(PsioTable, field);
    if (size > 0 && text.size() > size) {
        CurrentPrompter().ShowMessage(u"「"_s + headerData(index.column(), Qt::Horizontal).toString()
                                      + u"」最多 "_s + QString::number(size) + u" 個字"_s);
        return false;
    }
    if (m_pendingRow >= 0 && m_pendingRow != row) {
        try {
            PostPending();
        } catch (const RolvanError &error) {
            CurrentPrompter().ShowError(error.message());
            return false;
        }
    }
    m_pendingRow = row;
    m_pending.insert(at, text);
    emit dataChanged(this->index(row, 0), this->index(row, ColumnCount - 1));
    return true;
}
