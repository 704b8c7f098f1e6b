#include "core/JetFunctions.h"

#include <QSqlDriver>

#include <sqlite3.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    if (!db.isValid() || !db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

QString argText(sqlite3_value *value)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    const int bytes = sqlite3_value_bytes(value);
    return text ? QString::fromUtf8(text, bytes) : QString();
}

void resultText(sqlite3_context *context, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(context, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

bool anyNull(int argc, sqlite3_value **argv)
{
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return true;
    }
    return false;
}

void jetMid(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv)) {
        sqlite3_result_null(context);
        return;
    }
    const QString text = argText(argv[0]);
    const sqlite3_int64 start = sqlite3_value_int64(argv[1]);
    if (start < 1) {
        sqlite3_result_error(context, "mid: start must be 1 or more", -1);
        return;
    }
    sqlite3_int64 length = -1;
    if (argc == 3) {
        length = sqlite3_value_int64(argv[2]);
        if (length < 0) {
            sqlite3_result_error(context, "mid: length must not be negative", -1);
            return;
        }
    }
    if (start > text.size()) {
        resultText(context, QString());
        return;
    }
    const qsizetype from = qsizetype(start - 1);
    const qsizetype count = (length < 0 || length > text.size()) ? qsizetype(-1) : qsizetype(length);
    resultText(context, text.mid(from, count));
}

void jetVal(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv)) {
        sqlite3_result_null(context);
        return;
    }
    const QVariant value = JetVal(argText(argv[0]));
    if (value.typeId() == QMetaType::LongLong)
        sqlite3_result_int64(context, value.toLongLong());
    else
        sqlite3_result_double(context, value.toDouble());
}

void jetUcase(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv)) {
        sqlite3_result_null(context);
        return;
    }
    resultText(context, argText(argv[0]).toUpper());
}

void jetLcase(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv)) {
        sqlite3_result_null(context);
        return;
    }
    resultText(context, argText(argv[0]).toLower());
}

void jetLen(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv)) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_int64(context, argText(argv[0]).size());
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// A whole number as the value it keeps, any other as a double.
QVariant numberVariant(double value)
{
    if (std::isfinite(value) && value == std::trunc(value)
        && std::fabs(value) < 9.0e15)
        return QVariant(qlonglong(value));
    return QVariant(value);
}

} // namespace

QVariant JetVal(const QString &text)
{
    QString compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (!isBlank(c))
            compact += c;
    }

    // "&H1F" and "&O17": hexadecimal and octal; values that fit 16 or 32 bits wrap to the
    // signed number of that size, as Access does.
    if (compact.size() >= 2 && compact.at(0) == u'&') {
        const QChar kind = compact.at(1).toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base == 0)
            return QVariant(qlonglong(0));
        quint64 number = 0;
        bool overflow = false;
        for (qsizetype i = 2; i < compact.size(); ++i) {
            const QChar c = compact.at(i).toUpper();
            int d = -1;
            if (c >= u'0' && c <= u'9')
                d = c.unicode() - u'0';
            else if (c >= u'A' && c <= u'F')
                d = c.unicode() - u'A' + 10;
            if (d < 0 || d >= base)
                break;
            if (number > (std::numeric_limits<quint64>::max() >> 4)) {
                overflow = true;
                break;
            }
            number = number * quint64(base) + quint64(d);
        }
        if (overflow)
            return QVariant(qlonglong(0));
        if (number <= 0xFFFF)
            return QVariant(qlonglong(number > 0x7FFF ? qint64(number) - 0x10000 : qint64(number)));
        if (number <= 0xFFFFFFFFULL)
            return QVariant(qlonglong(number > 0x7FFFFFFF ? qint64(number) - 0x100000000LL
                                                          : qint64(number)));
        return numberVariant(double(number));
    }

    // Sign, digits, one decimal point, then an exponent written with E or D.
    QByteArray number;
    qsizetype i = 0;
    const qsizetype n = compact.size();
    auto isDigitAt = [&](qsizetype at) {
        return at < n && compact.at(at) >= u'0' && compact.at(at) <= u'9';
    };
    if (i < n && (compact.at(i) == u'+' || compact.at(i) == u'-'))
        number += char(compact.at(i++).unicode());
    bool digits = false;
    while (isDigitAt(i)) {
        number += char(compact.at(i++).unicode());
        digits = true;
    }
    if (i < n && compact.at(i) == u'.') {
        number += '.';
        ++i;
        while (isDigitAt(i)) {
            number += char(compact.at(i++).unicode());
            digits = true;
        }
    }
    if (!digits)
        return QVariant(qlonglong(0));
    if (i < n && (compact.at(i).toUpper() == u'E' || compact.at(i).toUpper() == u'D')) {
        qsizetype j = i + 1;
        QByteArray exponent = "e";
        if (j < n && (compact.at(j) == u'+' || compact.at(j) == u'-'))
            exponent += char(compact.at(j++).unicode());
        if (isDigitAt(j)) {
            while (isDigitAt(j))
                exponent += char(compact.at(j++).unicode());
            number += exponent;
        }
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return QVariant(qlonglong(0));
    // Whole numbers without a point or exponent keep every digit.
    if (!number.contains('.') && !number.contains('e')) {
        bool whole = false;
        const qlonglong exact = number.toLongLong(&whole);
        if (whole)
            return QVariant(exact);
    }
    return numberVariant(value);
}

bool RegisterJetFunctions(const QSqlDatabase &db, QString *error)
{
    sqlite3 *handle = sqliteHandle(db);
    if (!handle) {
        if (error)
            *error = u"資料庫連線不是開啟中的 SQLite 連線"_s;
        return false;
    }

    struct Function
    {
        const char *name;
        int arguments;
        void (*call)(sqlite3_context *, int, sqlite3_value **);
    };
    static const Function functions[] = {
        {"mid", 2, jetMid},   {"mid", 3, jetMid},     {"val", 1, jetVal},
        {"ucase", 1, jetUcase}, {"lcase", 1, jetLcase}, {"len", 1, jetLen},
    };
    for (const Function &f : functions) {
        const int rc = sqlite3_create_function_v2(handle, f.name, f.arguments,
                                                  SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                                  f.call, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            if (error)
                *error = u"無法登錄資料庫函數 "_s + QString::fromLatin1(f.name) + u": "_s
                         + QString::fromUtf8(sqlite3_errstr(rc));
            return false;
        }
    }
    return true;
}

QString SqliteDeclaredColumnType(const QSqlDatabase &db, const QString &sql, int column, bool *ok)
{
    if (ok)
        *ok = false;
    sqlite3 *handle = sqliteHandle(db);
    if (!handle)
        return QString();
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &statement, nullptr)
            != SQLITE_OK
        || !statement) {
        if (statement)
            sqlite3_finalize(statement);
        return QString();
    }
    QString type;
    const bool inRange = column >= 0 && column < sqlite3_column_count(statement);
    if (inRange) {
        const char *declared = sqlite3_column_decltype(statement, column);
        if (declared)
            type = QString::fromUtf8(declared);
    }
    sqlite3_finalize(statement);
    if (ok)
        *ok = inRange;
    return type;
}
