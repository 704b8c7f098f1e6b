#include "reports/ReportWorkbook.h"

#include "base/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Wider columns than this make a sheet hard to read; their text wraps into view on demand.
constexpr int MaxColumnWidth = 60;

bool IsWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF)
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF)
        || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
        || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// A sheet name may not hold []:*?/\ and has at most 31 characters.
QString SheetNameOf(const QString &name)
{
    QString result;
    for (const QChar c : name)
        result += QStringLiteral("[]:*?/\\").contains(c) ? u'_' : c;
    result = result.left(31);
    return result.isEmpty() ? u"Sheet1"_s : result;
}

QString Reason(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

} // namespace

int WorkbookTextWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += IsWide(c) ? 2 : 1;
    return width;
}

QString WorkbookPathFor(const QString &csvPath)
{
    const QFileInfo info(csvPath);
    return QDir(info.path()).filePath(info.completeBaseName() + u".xlsx"_s);
}

bool WriteReportWorkbook(const QString &path, const QString &sheetName, const QStringList &titles,
                         const QList<QStringList> &rows, const QList<WorkbookCell> &kinds,
                         QString *error)
{
    const auto failed = [&](const QString &reason) {
        if (error)
            *error = u"無法寫入檔案「%1」：%2"_s.arg(QDir::toNativeSeparators(path), reason);
        return false;
    };

    // A name beside the target that the library fills; renamed over the target at the end.
    const QFileInfo target(path);
    QTemporaryFile reserve(QDir(target.path()).filePath(u"."_s + target.fileName() + u".XXXXXX"_s));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        return failed(OsErrorReason(0, reserve.errorString()));
    const QString tempPath = reserve.fileName();
    reserve.close();
    QFile::setPermissions(tempPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                        | QFileDevice::ReadGroup | QFileDevice::ReadOther);

    const QByteArray tempName = QFile::encodeName(tempPath);
    lxw_workbook *workbook = workbook_new(tempName.constData());
    if (!workbook) {
        QFile::remove(tempPath);
        return failed(u"無法建立活頁簿"_s);
    }
    const QByteArray sheetBytes = SheetNameOf(sheetName).toUtf8();
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, sheetBytes.constData());
    lxw_format *titleFormat = workbook_add_format(workbook);
    format_set_bold(titleFormat);

    QList<int> widths(titles.size(), 0);
    QString cellError;
    const auto writeText = [&](lxw_row_t row, lxw_col_t col, const QString &text, lxw_format *format) {
        if (text.isEmpty())
            return;
        // A string cell is never read as a formula, whatever it begins with.
        const lxw_error result = worksheet_write_string(sheet, row, col, text.toUtf8().constData(), format);
        if (result != LXW_NO_ERROR && cellError.isEmpty())
            cellError = u"第 %1 列第 %2 欄：%3"_s.arg(row + 1).arg(col + 1).arg(Reason(result));
    };
    const auto widen = [&widths](qsizetype col, const QString &text) {
        if (col < widths.size())
            widths[col] = std::max(widths[col], WorkbookTextWidth(text));
    };

    for (qsizetype col = 0; col < titles.size(); ++col) {
        writeText(0, lxw_col_t(col), titles.at(col), titleFormat);
        widen(col, titles.at(col));
    }
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList &values = rows.at(r);
        const auto row = lxw_row_t(r + 1);
        for (qsizetype col = 0; col < values.size(); ++col) {
            const QString &value = values.at(col);
            widen(col, value);
            if (col < kinds.size() && kinds.at(col) == WorkbookCell::Number) {
                bool ok = false;
                const double number = value.trimmed().toDouble(&ok);
                if (ok) {
                    worksheet_write_number(sheet, row, lxw_col_t(col), number, nullptr);
                    continue;
                }
            }
            writeText(row, lxw_col_t(col), value, nullptr);
        }
    }
    for (qsizetype col = 0; col < widths.size(); ++col)
        worksheet_set_column(sheet, lxw_col_t(col), lxw_col_t(col),
                             std::min(widths.at(col), MaxColumnWidth) + 2, nullptr);
    worksheet_freeze_panes(sheet, 1, 0);

    const lxw_error closed = workbook_close(workbook);
    if (!cellError.isEmpty() || closed != LXW_NO_ERROR) {
        QFile::remove(tempPath);
        return failed(cellError.isEmpty() ? Reason(closed) : cellError);
    }
    return AtomicFile::commitWrittenFile(tempPath, path, error);
}
