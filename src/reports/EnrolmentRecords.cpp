#include "reports/EnrolmentRecords.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/IdentityNumber.h"
#include "base/RolvanError.h"
#include "core/Schema.h"
#include "core/SignEventRow.h"
#include "core/TDM.h"
#include "platform/Prompter.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString LayoutType = u"PSPN_DBGRID1"_s;
const QString TemporaryPrefix = u"VID"_s;

// A text matched literally inside a LIKE pattern (escape character "\\").
QString LikeLiteral(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'%', u"\\%"_s).replace(u'_', u"\\_"_s);
    return escaped;
}

// "HHMMSS" (or "HHMM") as "HH:MM", in the statement itself.
QString HourMinuteOf(const QString &expression)
{
    return u"case when length("_s + expression + u") >= 4 then substr("_s + expression
        + u", 1, 2) || ':' || substr("_s + expression + u", 3, 2) else "_s + expression
        + u" end"_s;
}

// A Booking column the program may write; anything else is refused.
QString BookingColumn(const QString &name)
{
    const ColumnDef *column = FindColumn(u"Booking"_s, name);
    if (!column || column->name == u"RID"_s)
        throw RolvanError(u"報名資料沒有欄位 "_s + name);
    return column->name;
}

// Blank text is stored as NULL, as the record editor always did.
QVariant StoredValue(const QVariant &value)
{
    if (value.isNull())
        return QVariant();
    if (value.metaType().id() == QMetaType::QString && value.toString().trimmed().isEmpty())
        return QVariant();
    if (value.metaType().id() == QMetaType::QString)
        return value.toString().trimmed();
    return value;
}

// One transaction on a connection: rolled back unless committed.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase db)
        : m_db(std::move(db))
        , m_open(m_db.transaction())
    {
    }
    ~Transaction()
    {
        if (m_open)
            m_db.rollback();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        if (!m_open)
            return;
        if (!m_db.commit()) {
            const QString reason = m_db.lastError().text();
            m_db.rollback();
            m_open = false;
            throw DatabaseError(u"簽到資料寫入失敗："_s + reason);
        }
        m_open = false;
    }

private:
    QSqlDatabase m_db;
    bool m_open;
};

} // namespace

EnrolmentRecords::EnrolmentRecords(const TDM &dm, const QString &classKey, int courseNoLength)
    : m_dm(&dm)
    , m_classKey(classKey.trimmed())
    , m_courseNoLength(courseNoLength > 0 ? courseNoLength : 11)
{
}

QSqlDatabase EnrolmentRecords::Connection() const
{
    return m_dm->Con1();
}

QSqlQuery EnrolmentRecords::Run(const QString &sql, const QVariantList &params) const
{
    return RunQuery(sql, Connection(), params);
}

QString EnrolmentRecords::classNumber() const
{
    return m_classKey.left(m_courseNoLength).trimmed();
}

// ---- Identities -----------------------------------------------------------------------------

QString EnrolmentRecords::IdentityColumnFor(const QString &storageKind, const QString &idnoCaption)
{
    if (!idnoCaption.isEmpty() && storageKind == idnoCaption)
        return u"IDNO"_s;
    // The whole or masked identity number, and any kind the station does not know, store ID.
    return u"ID"_s;
}

QString EnrolmentRecords::MaskIdentity(const QString &id)
{
    return MaskedIdentity(id);
}

QString EnrolmentRecords::IdentityTailValue(const QString &freeText)
{
    const QString text = freeText.trimmed();
    return text.isEmpty() ? QString() : u"%"_s + text;
}

// ---- Searching ------------------------------------------------------------------------------

SqlCondition EnrolmentRecords::SearchCondition(const QList<SearchInput> &inputs) const
{
    QList<SearchInput> others;
    QString identityTail;
    for (const SearchInput &input : inputs) {
        const QString spec = SpecOfHint(input.hint, input.isComboBox);
        const QString value = input.value.trimmed();
        // The class is fixed: its key is matched exactly below, never as a prefix that
        // another class's key could share.
        if (spec.compare(u"INDEX_KEY"_s, Qt::CaseInsensitive) == 0)
            continue;
        if (spec.compare(u"ID"_s, Qt::CaseInsensitive) == 0 && value.startsWith(u'%')) {
            identityTail = value.mid(1).trimmed();
            continue;
        }
        others << input;
    }

    SqlCondition condition { u" where INDEX_KEY = ?"_s, { m_classKey } };
    const SqlCondition built = BuildWhereFromInputs(QString(), QString(), QString(), others);
    const QString where = u" where "_s;
    if (built.text.startsWith(where)) {
        // In brackets: an "OR" the operator typed stays inside this class.
        condition.text += u" and ( "_s + built.text.mid(where.size()) + u" )"_s;
        condition.params << built.params;
    }
    if (!identityTail.isEmpty()) {
        condition.text += u" and ID like ? escape '\\'"_s;
        condition.params << QString(u"%"_s + LikeLiteral(identityTail));
    }
    return condition;
}

// The class's sign events: those signed for one of its lessons carry the class number followed
// by the lesson key (CNo4 and start time), those signed without a lesson (and the manual ones)
// the class key itself.
QString EnrolmentRecords::ClassEventsCondition()
{
    return u"(INDEX_KEY = ? or INDEX_KEY in (select ? || trim(coalesce(CNo4, '')) "
           "|| trim(coalesce(TimeStart, '')) from Course where INDEX_KEY = ?))"_s;
}

QVariantList EnrolmentRecords::ClassEventsParams() const
{
    return { m_classKey, classNumber(), m_classKey };
}

SqlCondition EnrolmentRecords::ListStatement(const SqlCondition &condition,
                                             const QString &identityColumn,
                                             const QString &signDate) const
{
    const QString column = identityColumn == u"IDNO"_s ? u"IDNO"_s : u"ID"_s;
    SqlCondition statement;
    QString &sql = statement.text;
    sql = u"select B.*, '*****' || substr(coalesce(B.ID, ''), 6, 5) as CalID, P.T0 as CalIoTime"_s;
    for (int k = 1; k <= 6; ++k)
        sql += u", "_s + HourMinuteOf(u"P.T"_s + QString::number(k)) + u" as CalIoTime"_s
            + QString::number(k);
    sql += u", case when B.CR_TYPE = ? then B.CR_TYPE else '' end as CalIoType"_s;
    statement.params << u"臨時"_s;

    // One grouped look-up of the class's sign events for all persons at once: the earliest
    // time of each kind per identity.
    sql += u" from Booking B left join (select IDNO as PersonId, min(case when IOTYPE = '0'"_s;
    if (!signDate.trimmed().isEmpty()) {
        sql += u" and IODATE = ?"_s;
        statement.params << signDate.trimmed();
    }
    sql += u" then IOTIME end) as T0"_s;
    for (int k = 1; k <= 6; ++k)
        sql += u", min(case when IOTYPE = '"_s + QString::number(k - 1)
            + u"' then IOTIME end) as T"_s + QString::number(k);
    sql += u" from PSIO where "_s + ClassEventsCondition() + u" group by IDNO) P on P.PersonId = B."_s
        + column + u" and B."_s + column + u" <> ''"_s;
    statement.params << ClassEventsParams();

    // Persons enrolled without a date (a lesson's teacher) first, on every database (PostgreSQL
    // would put them last); the same date in the order of enrolment.
    sql += condition.text + u" order by B.CR_DATE nulls first, B.RID"_s;
    statement.params << condition.params;
    return statement;
}

SqlCondition EnrolmentRecords::Search(const QList<SearchInput> &inputs,
                                      const QString &identityColumn, const QString &signDate)
{
    m_lastCondition = SearchCondition(inputs);
    m_searched = true;
    return ListStatement(m_lastCondition, identityColumn, signDate);
}

QString EnrolmentRecords::CountLabel(int rows)
{
    return u"筆數："_s + QString::number(rows);
}

// ---- Activation -----------------------------------------------------------------------------

QStringList EnrolmentRecords::JobTypes() const
{
    QStringList types = QueryToListOn(QString(),
        u"select distinct JOBTYPE from Booking where INDEX_KEY like ? escape '\\'"_s, Connection(),
        { QString(LikeLiteral(m_classKey) + u'%') });
    types.removeAll(QString());
    return types;
}

QString EnrolmentRecords::SignType() const
{
    return QueryValueIn(u"select SignType from Courses where trim(CourseId) || Echelon = ?"_s,
                        Connection(), { m_classKey })
        .toString()
        .trimmed();
}

std::pair<QString, QString> EnrolmentRecords::ClassDates() const
{
    QSqlQuery query = Run(u"select DateStart, DateEnd from Courses where trim(CourseId) || Echelon = ?"_s,
                          { m_classKey });
    if (!query.next())
        return {};
    return { query.value(0).toString().trimmed(), query.value(1).toString().trimmed() };
}

bool EnrolmentRecords::ClassRequiresEnrolment() const
{
    return QueryValueIn(u"select Bookin from Courses where trim(CourseId) || Echelon = ?"_s,
                        Connection(), { m_classKey })
        .toBool();
}

QString EnrolmentRecords::SignInColumnFor(const QString &signType)
{
    const QString s = signType.trimmed();
    if (s.startsWith(u"00"_s) && s.endsWith(u"11"_s))
        return u"CalIoTime5"_s;
    if (s.startsWith(u"00"_s) && s.mid(2, 2) == u"11"_s && s.mid(4, 2) == u"00"_s)
        return u"CalIoTime3"_s;
    return u"CalIoTime"_s;
}

EnrolmentLayoutEntry EnrolmentRecords::LayoutOf(QSqlDatabase db, const QString &fieldName)
{
    EnrolmentLayoutEntry entry;
    QString mark;
    {
        QSqlQuery query = RunQuery(u"select CODE_DESC, MARK from SYS_code where CODE_TYPE = ? "
                                   "and upper(CODE_SEQ) = ?"_s,
                                   db, { LayoutType, fieldName.trimmed().toUpper() });
        if (!query.next())
            return entry;
        entry.found = true;
        entry.caption = query.value(0).toString().trimmed();
        mark = query.value(1).toString();
    }
    entry.visible = StrToIntSafe(mark) >= 0;
    return entry;
}

// ---- Editing --------------------------------------------------------------------------------

const QStringList &EnrolmentRecords::EditableColumns()
{
    static const QStringList columns {
        u"ID"_s,     u"NAME"_s, u"IDNO"_s,     u"BookingNo"_s, u"TEL"_s,  u"Mobile"_s,
        u"CARDID"_s, u"eMail"_s, u"BIRTHDAY"_s, u"JOBTYPE"_s,  u"CR_TYPE"_s, u"SEX"_s,
        u"LINE"_s,   u"Address"_s, u"ZIP"_s,
    };
    return columns;
}

QVariantMap EnrolmentRecords::NewRowValues(const QDateTime &now) const
{
    return {
        { u"INDEX_KEY"_s, m_classKey },
        { u"CR_TYPE"_s, u"逐筆"_s },
        { u"CR_DATE"_s, FormatDateByPattern(u"Datetime"_s, now) },
        { u"JOBTYPE"_s, u"學員"_s },
    };
}

std::optional<QSqlRecord> EnrolmentRecords::LoadRow(int rid) const
{
    QSqlQuery query = Run(u"select * from Booking where RID = ? and INDEX_KEY = ?"_s,
                          { rid, m_classKey });
    if (!query.next())
        return std::nullopt;
    return query.record();
}

int EnrolmentRecords::InsertRow(const QVariantMap &values) const
{
    if (values.value(u"NAME"_s).toString().trimmed().isEmpty())
        throw RolvanError(u"請輸入姓名"_s);
    QStringList columns;
    QVariantList params;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString column = BookingColumn(it.key());
        if (column == u"INDEX_KEY"_s)
            continue;
        columns << column;
        params << StoredValue(it.value());
    }
    columns << u"INDEX_KEY"_s;
    params << m_classKey;
    const QString marks = QStringList(columns.size(), u"?"_s).join(u", "_s);
    const QString sql = u"insert into Booking ("_s + columns.join(u", "_s) + u") values ("_s + marks
        + u") returning RID"_s;
    QSqlQuery query = Run(sql, params);
    return query.next() ? query.value(0).toInt() : 0;
}

void EnrolmentRecords::UpdateRow(int rid, const QVariantMap &values) const
{
    if (values.isEmpty())
        return;
    if (values.contains(u"NAME"_s) && values.value(u"NAME"_s).toString().trimmed().isEmpty())
        throw RolvanError(u"請輸入姓名"_s);
    QStringList assignments;
    QVariantList params;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString column = BookingColumn(it.key());
        if (column == u"INDEX_KEY"_s)
            continue;
        assignments << column + u" = ?"_s;
        params << StoredValue(it.value());
    }
    params << rid << m_classKey;
    QSqlQuery query = Run(u"update Booking set "_s + assignments.join(u", "_s)
                              + u" where RID = ? and INDEX_KEY = ?"_s,
                          params);
    if (query.numRowsAffected() == 0)
        throw RolvanError(u"此筆報名資料已不存在"_s);
}

void EnrolmentRecords::DeleteRow(int rid) const
{
    ConfirmDelete();
    Run(u"delete from Booking where RID = ? and INDEX_KEY = ?"_s, { rid, m_classKey });
}

std::optional<int> EnrolmentRecords::DeleteAllFound() const
{
    if (!m_searched) {
        CurrentPrompter().ShowMessage(u"請先查尋資料"_s);
        return std::nullopt;
    }
    if (!AskYesNo(u"妳真的要清除嗎?"_s, u"是"_s, u"否"_s))
        return std::nullopt;
    QSqlQuery query = Run(u"delete From Booking"_s + m_lastCondition.text, m_lastCondition.params);
    return query.numRowsAffected();
}

QStringList EnrolmentRecords::JobTypeChoices() const
{
    QStringList choices{u"學員"_s, u"講師"_s};
    for (const QString &type : JobTypes()) {
        if (!type.trimmed().isEmpty() && !choices.contains(type.trimmed()))
            choices << type.trimmed();
    }
    return choices;
}

NewIdentityCheck EnrolmentRecords::CheckNewIdentity(const QString &id)
{
    using Verdict = NewIdentityCheck::Verdict;
    const QString t = id.trimmed().toUpper();
    if (t.isEmpty() || IsValidIdentityNumber(t))
        return {};
    static const QRegularExpression nationalForm(u"^[A-Z][12][0-9]{8}$"_s);
    static const QRegularExpression residentForm(u"^[A-Z]([89]|[A-D])[0-9]{8}$"_s);
    static const QRegularExpression temporaryForm(u"^VID[0-9]{7}$"_s);
    if (nationalForm.match(t).hasMatch())
        return {Verdict::Refuse,
                u"身分證字號「%1」的檢查碼不正確，請核對後重新輸入。"_s.arg(t)};
    if (residentForm.match(t).hasMatch())
        return {Verdict::Warn,
                u"「%1」不是身分證字號，看來是居留證號。\n確定以此號碼新增嗎?"_s.arg(t)};
    if (temporaryForm.match(t).hasMatch())
        return {Verdict::Warn,
                u"「%1」不是身分證字號，看來是系統給的臨時編號。\n確定以此號碼新增嗎?"_s.arg(t)};
    return {Verdict::Refuse,
            u"身分證字號「%1」不正確：應為 1 個英文字母、數字 1 或 2，再加 8 個數字，共 10 碼。"_s.arg(
                id.trimmed())};
}

QList<EnrolmentLesson> EnrolmentRecords::LessonsOn(const QDate &day) const
{
    QSqlQuery query = Run(u"select CNo4, TimeStart, TimeEnd from Course where INDEX_KEY = ? "
                          "and DateStart = ? order by TimeStart nulls first, RID"_s,
                          { m_classKey, FormatDateByPattern(u"YYYY/MM/DD"_s, day) });
    QList<EnrolmentLesson> lessons;
    while (query.next()) {
        const QString start = query.value(1).toString().trimmed();
        lessons.append({ query.value(0).toString().trimmed() + start, start,
                         query.value(2).toString().trimmed() });
    }
    return lessons;
}

bool EnrolmentRecords::HasLessons() const
{
    return QueryValueIn(u"select count(*) from Course where INDEX_KEY = ?"_s, Connection(), { m_classKey })
               .toInt()
        > 0;
}

std::optional<QString> EnrolmentRecords::ManualSignInKey(const QString &selectedLessonKey,
                                                         const QDateTime &now, int minutesBefore,
                                                         int minutesAfter) const
{
    if (!HasLessons())
        return m_classKey;
    const QList<EnrolmentLesson> lessons = LessonsOn(now.date());
    const QString selected = selectedLessonKey.trimmed();
    if (!selected.isEmpty()) {
        for (const EnrolmentLesson &lesson : lessons) {
            if (lesson.lessonKey.compare(selected, Qt::CaseInsensitive) == 0)
                return classNumber() + lesson.lessonKey;
        }
    }
    // "HH:MM" as minutes of the day; -1 when it is not a time.
    const auto minutesOf = [](const QString &time) {
        const QTime t = QTime::fromString(time.trimmed(), u"H:mm"_s);
        return t.isValid() ? t.hour() * 60 + t.minute() : -1;
    };
    const int at = now.time().hour() * 60 + now.time().minute();
    QList<QString> inWindow;
    for (const EnrolmentLesson &lesson : lessons) {
        const int start = minutesOf(lesson.timeStart);
        const int end = minutesOf(lesson.timeEnd);
        if (start < 0 || end < 0)
            continue;
        if (start - std::max(0, minutesBefore) <= at && at <= end + std::max(0, minutesAfter))
            inWindow << lesson.lessonKey;
    }
    if (inWindow.size() == 1)
        return classNumber() + inWindow.first();
    return std::nullopt;
}

// ---- Manual sign-in -------------------------------------------------------------------------

QString EnrolmentRecords::NextTemporaryId(bool preBooking) const
{
    const QSqlDatabase db = Connection();
    const QString inClass = NextSerialNumberWhereOn(db, u"Booking"_s, u" Index_key = ? and "_s,
                                                    { m_classKey }, TemporaryPrefix, u"ID"_s);
    if (preBooking)
        return inClass;
    // The personnel table numbers the codes; a code already given in this class (to a person
    // the personnel table does not know) is never given twice.
    const QString inPersonnel = NextSerialNumberOn(db, u"PSPN"_s, TemporaryPrefix, u"ID"_s, 10);
    return MaxText(inPersonnel, inClass);
}

ManualSignInResult EnrolmentRecords::ManualSignIn(int rid, const ManualSignInContext &context,
                                                  const QDateTime &now) const
{
    const auto row = LoadRow(rid);
    if (!row)
        throw RolvanError(u"此筆報名資料已不存在"_s);
    const QString name = row->value(u"NAME"_s).toString().trimmed();
    const QString id = row->value(u"ID"_s).toString().trimmed();
    const bool byIdno = context.identityColumn == u"IDNO"_s;

    ManualSignInResult result;
    Transaction transaction(Connection());

    if (id.isEmpty()) {
        result.newId = NextTemporaryId(context.preBooking);
        Run(u"update Booking set ID = ? where RID = ?"_s, { result.newId, rid });
        // The personnel table has no link to the row but the name: only the one person of
        // that name without an identity gets it; persons who have one keep theirs.
        if (!name.isEmpty()) {
            QList<int> personnel;
            {
                QSqlQuery query = Run(u"select RID from PSPN where NAME = ? and (ID is null or ID = '')"_s,
                                      { name });
                while (query.next())
                    personnel << query.value(0).toInt();
            }
            if (personnel.size() == 1)
                Run(u"update PSPN set ID = ? where RID = ?"_s, { result.newId, personnel.first() });
        }
    }

    result.identity = byIdno ? row->value(u"IDNO"_s).toString().trimmed()
                             : (id.isEmpty() ? result.newId : id);
    if (result.identity.isEmpty()) {
        const QString caption = context.identityCaption.isEmpty() ? context.identityColumn
                                                                  : context.identityCaption;
        throw RolvanError(u"「"_s + name + u"」沒有"_s + caption + u"，無法簽到"_s);
    }

    const int signedIn = QueryValueIn(u"select count(*) from PSIO where IOTYPE = '0' and "_s
                                          + ClassEventsCondition() + u" and IDNO = ?"_s,
                                      Connection(), ClassEventsParams() << result.identity)
                             .toInt();
    if (signedIn == 0) {
        InsertSignEvent(Connection(),
                        {.IDNO = result.identity,
                         .IODATE = FormatDateByPattern(u"YYYMMDD"_s, now),
                         .IOTIME = TimeToHHMMSS(now.time()),
                         .IOTYPE = u"0"_s,
                         .INDEX_KEY = context.indexKey.trimmed().isEmpty()
                             ? m_classKey
                             : context.indexKey.trimmed(),
                         .IOWay = u"IT"_s,
                         .DOOR = context.stationNo,
                         .NET = u"N"_s});
        result.outcome = ManualSignInResult::Outcome::Stored;
    } else {
        result.outcome = ManualSignInResult::Outcome::AlreadySignedIn;
    }
    transaction.commit();
    return result;
}
