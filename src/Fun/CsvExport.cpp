#include "Fun/CsvExport.h"

#include "base/AtomicFile.h"

#include <QIODevice>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray CsvLine(const QStringList &values, QChar separator)
{
    QString line;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            line += separator;
        line += CsvField(values.at(i), separator);
    }
    line += u"\r\n"_s;
    return line.toUtf8();
}

} // namespace

QString CsvField(const QString &value, QChar separator)
{
    const bool needsQuotes = value.contains(separator) || value.contains(u'"')
        || value.contains(u'\n') || value.contains(u'\r');
    if (!needsQuotes)
        return value;
    QString quoted = value;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

bool WriteCsv(
    QIODevice &out, const QStringList &header, const QList<QStringList> &rows, QChar separator)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    if (out.write(bom) != bom.size())
        return false;
    const QByteArray titles = CsvLine(header, separator);
    if (out.write(titles) != titles.size())
        return false;
    for (const QStringList &row : rows) {
        const QByteArray line = CsvLine(row, separator);
        if (out.write(line) != line.size())
            return false;
    }
    return true;
}

bool ExportRowsToCsvFile(const QString &path, const QStringList &header,
    const QList<QStringList> &rows, QChar separator, QString *error)
{
    AtomicFile file(path);
    bool ok = file.begin();
    if (ok) {
        // A refused write leaves its error on the device; commit() reports it and keeps the
        // old file.
        WriteCsv(file.device(), header, rows, separator);
        ok = file.commit();
    }
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

QList<CsvTextRecord> SplitCsvRecords(const QString &text, QChar separator, CsvRecordEnd recordEnd)
{
    QList<CsvTextRecord> records;
    CsvTextRecord record;
    QString field;
    bool quoted = false;
    bool any = false; // the record holds a character
    int line = 1;
    const auto endField = [&] {
        record.fields << field;
        field.clear();
    };
    const auto endRecord = [&] {
        if (any) {
            endField();
            records << record;
        }
        record.fields.clear();
        field.clear();
        any = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == u'\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == separator) {
            endField();
            any = true;
        } else if (c == u'\n' || (c == u'\r' && recordEnd == CsvRecordEnd::AnyLineBreak)) {
            endRecord();
            if (c == u'\n')
                ++line;
            record.line = line;
        } else {
            field += c;
            any = true;
        }
    }
    endRecord();
    return records;
}
