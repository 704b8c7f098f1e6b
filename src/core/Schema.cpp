#include "core/Schema.h"

using namespace Qt::Literals::StringLiterals;

namespace
{

ColumnDef Auto(const QString &name)
{
    return {name, ColumnType::AutoNumber, 0};
}

ColumnDef Text(const QString &name, int size = 0)
{
    return {name, ColumnType::Text, size};
}

ColumnDef Memo(const QString &name)
{
    return {name, ColumnType::Memo, 0};
}

ColumnDef Int16(const QString &name)
{
    return {name, ColumnType::Integer16, 0};
}

ColumnDef Int32(const QString &name)
{
    return {name, ColumnType::Integer32, 0};
}

ColumnDef YesNo(const QString &name)
{
    return {name, ColumnType::YesNo, 0};
}

ColumnDef Number(const QString &name)
{
    return {name, ColumnType::Number, 0};
}

IndexDef Index(const QString &table, const QStringList &columns)
{
    return {u"IX_"_s + table + u'_' + columns.join(u'_'), columns};
}

QList<TableDef> BuildTables()
{
    QList<TableDef> tables;

    // One row per training class and echelon; class key = trimmed CourseId + Echelon.
    tables.append({u"Courses"_s,
                   {Auto(u"RID"_s), Text(u"CourseId"_s, 20), Text(u"Echelon"_s, 2),
                    Text(u"Course"_s, 100), Text(u"DateStart"_s, 10), Text(u"DateEnd"_s, 10),
                    Text(u"DateBet"_s, 255), Text(u"TimeStart"_s, 11), Text(u"TimeEnd"_s, 8),
                    Text(u"Place"_s, 60), Text(u"Charge"_s, 60), Text(u"Teacher"_s, 50),
                    Text(u"TeacherId"_s, 10), Text(u"TotHours"_s, 4), Text(u"CNo4"_s, 4),
                    Text(u"CNo2"_s, 2), YesNo(u"Bookin"_s), Text(u"SignType"_s, 10),
                    YesNo(u"Score"_s), Text(u"Signer"_s, 4), Memo(u"CourseContent"_s)},
                   {}});

    // One row per lesson of a class.
    tables.append({u"Course"_s,
                   {Auto(u"RID"_s), Text(u"INDEX_KEY"_s, 25), Text(u"Subject"_s, 50),
                    Text(u"CNo4"_s, 50), Text(u"CNo2"_s, 2), Text(u"DateStart"_s, 10),
                    Text(u"TimeStart"_s, 5), Text(u"TimeEnd"_s, 5), Int16(u"Hours"_s),
                    Text(u"teacher"_s, 10), Text(u"teacherID"_s, 10), Text(u"noonRS"_s, 5),
                    Text(u"noonRE"_s, 5), Text(u"nightRS"_s, 5), Text(u"nightRE"_s, 5),
                    Text(u"R1"_s, 5), Text(u"R2"_s, 5), Text(u"R3"_s, 5),
                    Text(u"CourseNo"_s, 20), Text(u"CR_DATE"_s, 19), Memo(u"CourseContent"_s)},
                   {Index(u"Course"_s, {u"INDEX_KEY"_s, u"DateStart"_s})}});

    // One row per person enrolled in a class.
    tables.append({u"Booking"_s,
                   {Auto(u"RID"_s), Text(u"INDEX_KEY"_s, 25), Text(u"ID"_s, 10),
                    Text(u"IDNO"_s, 10), Text(u"CARDID"_s, 10), Text(u"NAME"_s, 30),
                    Text(u"SEX"_s, 2), Text(u"BIRTHDAY"_s, 10), Text(u"TEL"_s, 20),
                    Text(u"Mobile"_s, 32), Text(u"eMail"_s, 50), Text(u"Address"_s, 50),
                    Text(u"ZIP"_s, 5), Text(u"LINE"_s, 30), Text(u"DEPT"_s),
                    Text(u"JOBTYPE"_s, 20), Text(u"CR_DATE"_s, 19), Text(u"CR_TYPE"_s, 10),
                    Text(u"Score"_s, 5), Text(u"GHour"_s, 2), Text(u"BookingNo"_s, 20),
                    Text(u"CarOrder"_s, 2)},
                   {Index(u"Booking"_s, {u"INDEX_KEY"_s, u"ID"_s}),
                    Index(u"Booking"_s, {u"INDEX_KEY"_s, u"IDNO"_s})}});

    // One row per sign event. The column order is part of the sign-event exchange files, which
    // read and write the columns by position: it must not change.
    tables.append({u"PSIO"_s,
                   {Text(u"DOOR"_s, 2), Text(u"IDNO"_s, 10), Text(u"IODATE"_s, 7),
                    Text(u"IOTIME"_s, 6), Text(u"IOTYPE"_s, 1), Text(u"IOWay"_s, 2),
                    Text(u"NET"_s, 1), Text(u"Web"_s, 1), Text(u"INDEX_KEY"_s, 25),
                    Text(u"SEATS"_s, 20), Auto(u"RID"_s), Int32(u"RID2"_s), Text(u"NTP"_s, 1)},
                   {Index(u"PSIO"_s, {u"IDNO"_s, u"IODATE"_s}),
                    Index(u"PSIO"_s, {u"INDEX_KEY"_s})}});

    // Persons known to the organisation, independent of classes. The columns after STATUS
    // mirror the personal columns of Booking; their captions are the PSPN_DBGRID1 codes.
    tables.append({u"PSPN"_s,
                   {Auto(u"RID"_s), Text(u"ID"_s), Text(u"IDNO"_s), Text(u"NAME"_s),
                    Text(u"DEPT"_s), Text(u"STATUS"_s), Text(u"CARDID"_s, 10),
                    Text(u"SEX"_s, 2), Text(u"BIRTHDAY"_s, 10), Text(u"TEL"_s, 20),
                    Text(u"Mobile"_s, 32), Text(u"eMail"_s, 50), Text(u"Address"_s, 50),
                    Text(u"ZIP"_s, 5), Text(u"LINE"_s, 30), Text(u"JOBTYPE"_s, 20),
                    Text(u"TITLE"_s, 30), Text(u"CR_DATE"_s, 19), Text(u"CR_TYPE"_s, 10),
                    Memo(u"Memo"_s)},
                   {Index(u"PSPN"_s, {u"ID"_s}), Index(u"PSPN"_s, {u"IDNO"_s})}});

    // Parameter codes; a row is identified by CODE_TYPE and CODE_SEQ together.
    tables.append({u"SYS_CODE"_s,
                   {Auto(u"RID"_s), Text(u"CODE_TYPE"_s), Text(u"CODE_SEQ"_s),
                    Memo(u"CODE_DESC"_s), Text(u"MARK"_s), Text(u"TABLENAME"_s),
                    Int32(u"Orders"_s), Text(u"RW"_s, 7)},
                   {Index(u"SYS_CODE"_s, {u"CODE_TYPE"_s, u"CODE_SEQ"_s})}});

    // Help texts per window (helpID) and page (JobScreen).
    tables.append({u"SYS_Help"_s,
                   {Auto(u"RID"_s), Text(u"helpID"_s), Text(u"JobScreen"_s),
                    Memo(u"HelpText"_s), Memo(u"HelpText2"_s)},
                   {Index(u"SYS_Help"_s, {u"helpID"_s, u"JobScreen"_s})}});

    // Clock-synchronisation log; the latest line has the largest RID.
    tables.append({u"TimeLog"_s,
                   {Auto(u"RID"_s), Text(u"TimeStr"_s), Text(u"STATUS"_s)},
                   {}});

    tables.append({u"SMSLog"_s,
                   {Auto(u"RID"_s), Text(u"Index_key"_s, 20), Text(u"Mobile"_s, 20),
                    Text(u"TimeSend"_s, 20), Text(u"Response"_s, 4), Text(u"Message"_s, 160)},
                   {}});

    tables.append({u"Grouping"_s,
                   {Auto(u"RID"_s), Text(u"DEPT"_s, 50), Text(u"AREA"_s, 10),
                    Text(u"OnThePlace"_s, 20), Text(u"GroupNo"_s, 20)},
                   {}});

    tables.append({u"scores"_s,
                   {Text(u"ID"_s), Text(u"INDEX_KEY"_s), Text(u"Subject"_s),
                    Text(u"rDateStart"_s), Text(u"rTimeStart"_s), Text(u"rTimeEnd"_s),
                    Number(u"HOURS"_s), Text(u"Pass"_s)},
                   {}});

    // Free-form log that the conversion carries from one database to the next.
    tables.append({u"LOG"_s,
                   {Auto(u"RID"_s), Text(u"LogTime"_s, 19), Text(u"Source"_s, 50),
                    Memo(u"Message"_s)},
                   {}});

    // Settings that ship with the template, the same for every station.
    tables.append({u"sys_ini"_s,
                   {Auto(u"RID"_s), Text(u"SystemName"_s), Text(u"ini1"_s), Text(u"ini2"_s),
                    Text(u"ini3"_s)},
                   {}});

    return tables;
}

QString CreateIndexStatement(const TableDef &table, const IndexDef &index)
{
    return u"CREATE INDEX IF NOT EXISTS "_s + index.name + u" ON "_s + table.name + u" ("_s
        + index.columns.join(u", "_s) + u')';
}

} // namespace

int ColumnDef::declaredSize() const
{
    if (type != ColumnType::Text)
        return 0;
    return size > 0 ? size : DefaultTextSize;
}

const ColumnDef *TableDef::findColumn(const QString &column) const
{
    for (const ColumnDef &c : columns) {
        if (c.name.compare(column, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

QStringList TableDef::columnNames() const
{
    QStringList names;
    names.reserve(columns.size());
    for (const ColumnDef &c : columns)
        names.append(c.name);
    return names;
}

const QList<TableDef> &SchemaTables()
{
    static const QList<TableDef> tables = BuildTables();
    return tables;
}

const TableDef *FindTable(const QString &name)
{
    const QString wanted = name.trimmed();
    for (const TableDef &t : SchemaTables()) {
        if (t.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

const ColumnDef *FindColumn(const QString &table, const QString &column)
{
    const TableDef *t = FindTable(table);
    return t ? t->findColumn(column.trimmed()) : nullptr;
}

QStringList SchemaTableNames()
{
    QStringList names;
    for (const TableDef &t : SchemaTables())
        names.append(t.name);
    return names;
}

QStringList TableColumnNames(const QString &table)
{
    const TableDef *t = FindTable(table);
    return t ? t->columnNames() : QStringList();
}

int DeclaredTextSize(const QString &table, const QString &column)
{
    const ColumnDef *c = FindColumn(table, column);
    return c ? c->declaredSize() : -1;
}

QString SqliteColumnDefinition(const ColumnDef &column)
{
    // Text compares without regard to letter case, as Jet did. The declared size stays
    // readable from pragma table_info, where the code-length routines look for it.
    switch (column.type) {
    case ColumnType::AutoNumber:
        return column.name + u" INTEGER PRIMARY KEY AUTOINCREMENT"_s;
    case ColumnType::Text:
        return column.name + u" VARCHAR("_s + QString::number(column.declaredSize())
            + u") COLLATE NOCASE"_s;
    case ColumnType::Memo:
        return column.name + u" TEXT COLLATE NOCASE"_s;
    case ColumnType::Integer16:
        return column.name + u" SMALLINT"_s;
    case ColumnType::Integer32:
        return column.name + u" INTEGER"_s;
    case ColumnType::YesNo:
        return column.name + u" BOOLEAN DEFAULT 0"_s;
    case ColumnType::Number:
        return column.name + u" REAL"_s;
    }
    return column.name;
}

QString PostgresColumnDefinition(const ColumnDef &column)
{
    // Names stay unquoted so that PostgreSQL folds them and any letter case finds them.
    switch (column.type) {
    case ColumnType::AutoNumber:
        return column.name + u" serial PRIMARY KEY"_s;
    case ColumnType::Text:
        // Case-blind for A-Z only and in the order of the characters' codes, whatever the
        // server's own collation, as SQLite's NOCASE. The declared size is not enforced, as on SQLite: the program checks what it takes in
        // (imports refuse a value longer than its column) and writes some values in full that
        // outgrow their column (a class's credited hours above 99).
        return column.name + u" citext COLLATE \"C\""_s;
    case ColumnType::Memo:
        return column.name + u" citext COLLATE \"C\""_s;
    case ColumnType::Integer16:
        return column.name + u" smallint"_s;
    case ColumnType::Integer32:
        return column.name + u" integer"_s;
    case ColumnType::YesNo:
        // 0 and 1 as on SQLite: the program binds and compares whole numbers.
        return column.name + u" smallint DEFAULT 0"_s;
    case ColumnType::Number:
        return column.name + u" double precision"_s;
    }
    return column.name;
}

QString SqliteCreateTableStatement(const TableDef &table)
{
    QStringList parts;
    for (const ColumnDef &c : table.columns)
        parts.append(SqliteColumnDefinition(c));
    return u"CREATE TABLE IF NOT EXISTS "_s + table.name + u" ("_s + parts.join(u", "_s)
        + u')';
}

QString PostgresCreateTableStatement(const TableDef &table)
{
    QStringList parts;
    for (const ColumnDef &c : table.columns)
        parts.append(PostgresColumnDefinition(c));
    return u"CREATE TABLE IF NOT EXISTS "_s + table.name + u" ("_s + parts.join(u", "_s)
        + u')';
}

QStringList SqliteSchemaStatements()
{
    QStringList statements;
    for (const TableDef &t : SchemaTables())
        statements.append(SqliteCreateTableStatement(t));
    for (const TableDef &t : SchemaTables()) {
        for (const IndexDef &i : t.indexes)
            statements.append(CreateIndexStatement(t, i));
    }
    return statements;
}

QStringList PostgresHelperStatements()
{
    QStringList statements;
    // In public, where every station's search path finds it.
    statements.append(u"CREATE EXTENSION IF NOT EXISTS citext WITH SCHEMA public"_s);
    // Jet's mid: characters from the 1-based start (to the end without a length); a start
    // below 1 or a negative length is an error of the statement, as on SQLite. A case-blind
    // text stays case-blind when cut; a number is cut as its text.
    statements.append(u"CREATE OR REPLACE FUNCTION mid(s text, start bigint, len bigint DEFAULT NULL) "
                      "RETURNS text LANGUAGE plpgsql IMMUTABLE AS $$ BEGIN "
                      "IF s IS NULL OR start IS NULL THEN RETURN NULL; END IF; "
                      "IF start < 1 THEN RAISE EXCEPTION 'mid: start must be 1 or more'; END IF; "
                      "IF len IS NULL THEN RETURN substr(s, start::integer); END IF; "
                      "IF len < 0 THEN RAISE EXCEPTION 'mid: length must not be negative'; END IF; "
                      "RETURN substr(s, start::integer, len::integer); END $$"_s);
    statements.append(u"CREATE OR REPLACE FUNCTION mid(s citext, start bigint, len bigint DEFAULT NULL) "
                      "RETURNS citext LANGUAGE sql IMMUTABLE AS "
                      "$$ SELECT mid(s::text, start, len)::citext $$"_s);
    statements.append(u"CREATE OR REPLACE FUNCTION mid(s bigint, start bigint, len bigint DEFAULT NULL) "
                      "RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT mid(s::text, start, len) $$"_s);
    statements.append(u"CREATE OR REPLACE FUNCTION ucase(s text) RETURNS text "
                      "LANGUAGE sql IMMUTABLE AS $$ SELECT upper(s) $$"_s);
    statements.append(u"CREATE OR REPLACE FUNCTION lcase(s text) RETURNS text "
                      "LANGUAGE sql IMMUTABLE AS $$ SELECT lower(s) $$"_s);
    statements.append(u"CREATE OR REPLACE FUNCTION len(s text) RETURNS integer "
                      "LANGUAGE sql IMMUTABLE AS $$ SELECT char_length(s) $$"_s);
    // Jet's val: the number at the start of the text, blanks anywhere ignored, D as well as E
    // for the exponent; "&H1F" and "&O17" read hexadecimal and octal (values that fit 16 or 32
    // bits wrap to the signed number of that size); 0 when the text does not begin with a
    // number, NULL for NULL.
    statements.append(
        u"CREATE OR REPLACE FUNCTION val(s text) RETURNS double precision "
        "LANGUAGE plpgsql IMMUTABLE AS $$ DECLARE t text; digits text; base integer; "
        "n numeric := 0; d integer; i integer; BEGIN "
        "IF s IS NULL THEN RETURN NULL; END IF; "
        "t := regexp_replace(s, '[[:space:]]', '', 'g'); "
        "IF left(t, 1) = '&' THEN "
        "  base := CASE upper(substr(t, 2, 1)) WHEN 'H' THEN 16 WHEN 'O' THEN 8 ELSE 0 END; "
        "  IF base = 0 THEN RETURN 0; END IF; "
        "  digits := upper(substring(substr(t, 3) from CASE base WHEN 16 THEN '^[0-9A-Fa-f]*' "
        "ELSE '^[0-7]*' END)); "
        "  FOR i IN 1 .. length(digits) LOOP "
        "    d := position(substr(digits, i, 1) in '0123456789ABCDEF') - 1; "
        "    n := n * base + d; "
        "    IF n > 18446744073709551615 THEN RETURN 0; END IF; "
        "  END LOOP; "
        "  IF n <= 65535 THEN RETURN CASE WHEN n > 32767 THEN n - 65536 ELSE n END; END IF; "
        "  IF n <= 4294967295 THEN RETURN CASE WHEN n > 2147483647 THEN n - 4294967296 ELSE n END; END IF; "
        "  RETURN n; "
        "END IF; "
        "RETURN COALESCE(translate(substring(t from "
        "'^[+-]?(?:[0-9]+[.]?[0-9]*|[.][0-9]+)(?:[eEdD][+-]?[0-9]+)?'), 'dD', 'ee')"
        "::double precision, 0); END $$"_s);
    return statements;
}

QStringList PostgresSchemaStatements()
{
    QStringList statements = PostgresHelperStatements();
    for (const TableDef &t : SchemaTables())
        statements.append(PostgresCreateTableStatement(t));
    for (const TableDef &t : SchemaTables()) {
        for (const IndexDef &i : t.indexes)
            statements.append(CreateIndexStatement(t, i));
    }

    // The enrolment generation that every station reads before it identifies a person: any
    // write to the enrolment or the personnel rows, by any station, counts it up, so a station
    // sees another's changes at its next entry without reading the rows each time.
    statements.append(u"CREATE TABLE IF NOT EXISTS "_s + EnrolmentChangesTable
                      + u" (n bigint NOT NULL)"_s);
    statements.append(u"INSERT INTO "_s + EnrolmentChangesTable + u" (n) SELECT 0 WHERE NOT EXISTS "
                      "(SELECT 1 FROM "_s + EnrolmentChangesTable + u')');
    statements.append(u"CREATE OR REPLACE FUNCTION rolvan_enrolment_changed() RETURNS trigger "
                      "LANGUAGE plpgsql AS $$ BEGIN UPDATE "_s + EnrolmentChangesTable
                      + u" SET n = n + 1; RETURN NULL; END $$"_s);
    for (const QString &table : { u"Booking"_s, u"PSPN"_s }) {
        const QString trigger = u"rolvan_enrolment_"_s + table.toLower();
        statements.append(u"DROP TRIGGER IF EXISTS "_s + trigger + u" ON "_s + table);
        statements.append(u"CREATE TRIGGER "_s + trigger + u" AFTER INSERT OR UPDATE OR DELETE "
                          "OR TRUNCATE ON "_s + table
                          + u" FOR EACH STATEMENT EXECUTE FUNCTION rolvan_enrolment_changed()"_s);
    }
    return statements;
}
