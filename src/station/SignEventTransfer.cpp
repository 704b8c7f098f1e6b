#include "station/SignEventTransfer.h"

#include "base/AtomicFile.h"
#include "Fun/Base64Functions.h"
#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/Schema.h"
#include "platform/Prompter.h"
#include "station/SignRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QTime>

#include <optional>

using namespace Qt::StringLiterals;

namespace SignEventTransfer {

namespace {

const QString ClassNumberRule = u"課程編號"_s;

// Field positions of an exchange line.
enum Field { FDoor, FIdno, FIoDate, FIoTime, FIoType, FIoWay, FNet, FWeb, FIndexKey, FSeats, FRid,
             FRid2, FNtp };

// A folder name made of a class number: characters that separate folders or that file systems
// refuse become "_".
QString FolderNamePart(const QString &text)
{
    QString part = text;
    for (QChar &c : part) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<'
            || c == u'>' || c == u'|' || c.unicode() < 0x20)
            c = u'_';
    }
    return part;
}

QString ClassNumber(const QString &classKey, int courseNoLength)
{
    return FolderNamePart(classKey.left(courseNoLength).trimmed());
}

QString Text(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

bool IsWholeNumber(const QString &text)
{
    static const QRegularExpression digits(u"^-?[0-9]{1,9}$"_s);
    return digits.match(text.trimmed()).hasMatch();
}

// --- Reading an exchange file ----------------------------------------------------------------

// Event types a station stores: the sign events "0" .. "5", the roll call "9" and the time-card
// rows "A" and "D".
bool IsKnownEventType(const QString &code)
{
    static const QStringList known { u"0"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"9"_s, u"A"_s,
        u"D"_s };
    return known.contains(code);
}

// The ways an identity reaches a station: card reader, keyboard, on-screen keypad and the
// manual entry of the enrolment window.
bool IsKnownEntryWay(const QString &code)
{
    static const QStringList known { u"SR"_s, u"KB"_s, u"SC"_s, u"IT"_s };
    return known.contains(code);
}

// A lesson key names one lesson: never blank, and never a pattern ("%" would match every
// lesson wherever the key is looked up with LIKE).
bool IsLessonKey(const QString &key)
{
    return !key.trimmed().isEmpty() && !key.contains(u'%');
}

// An event time "HHMMSS".
bool IsEventTime(const QString &text)
{
    static const QRegularExpression sixDigits(u"^[0-9]{6}$"_s);
    if (!sixDigits.match(text).hasMatch())
        return false;
    return QTime(text.left(2).toInt(), text.mid(2, 2).toInt(), text.mid(4, 2).toInt()).isValid();
}

bool HasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

// UTF-16 written without a byte-order mark: Base64 text is ASCII, so every second byte is 0.
std::optional<QStringConverter::Encoding> Utf16WithoutMark(const QByteArray &bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
        return std::nullopt;
    bool zeroOdd = true;
    bool zeroEven = true;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const bool zero = bytes.at(i) == '\0';
        (i % 2 == 0 ? zeroEven : zeroOdd) &= zero;
    }
    if (zeroOdd && !zeroEven)
        return QStringConverter::Utf16LE;
    if (zeroEven && !zeroOdd)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

// An exchange file cut into lines, each judged on its own: a line holding a NUL or bytes that
// are no text is damaged, like a line that does not decode.
struct ExchangeLines
{
    QStringList lines;  // the lines that are text
    int notText = 0;    // lines that are no text
};

const QString NotTextReason = u"檔案不是文字檔，不是匯出的簽到退交換檔（.tmp）"_s;

QString WhereImported(const QString &filePath)
{
    return u"無法匯入 "_s + QDir::toNativeSeparators(filePath) + u"："_s;
}

// Lines end in CR LF, LF or CR alone.
QStringList SplitLines(const QString &text)
{
    static const QRegularExpression lineEnd(u"\\r\\n|\\r|\\n"_s);
    return text.split(lineEnd);
}

// The same on bytes, for UTF-8 read line by line.
QList<QByteArray> SplitByteLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines << bytes.mid(start, i - start);
        if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    lines << bytes.mid(start);
    return lines;
}

// The lines of an exchange file: UTF-8 with or without a byte-order mark, and also UTF-16 or
// UTF-32 (as an editor saves "Unicode"). A UTF-8 line with a NUL or invalid bytes, or a decoded
// line holding a NUL, is counted as no text; a Unicode file whose encoding is broken as a whole
// raises RolvanError saying so, before anything is imported.
ExchangeLines ReadExchangeLines(const QByteArray &bytes, const QString &filePath)
{
    std::optional<QStringConverter::Encoding> encoding = QStringConverter::encodingForData(bytes);
    if (!encoding && bytes.contains('\0'))
        encoding = Utf16WithoutMark(bytes);
    ExchangeLines result;
    const auto take = [&result](QString line) {
        if (line.contains(QChar(0)))
            ++result.notText;
        else
            result.lines << line;
    };
    if (!encoding || *encoding == QStringConverter::Utf8) {
        QByteArray text = bytes;
        if (text.startsWith("\xEF\xBB\xBF"))
            text.remove(0, 3);
        for (const QByteArray &lineBytes : SplitByteLines(text)) {
            QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QString line = decoder.decode(lineBytes);
            if (lineBytes.contains('\0') || decoder.hasError())
                ++result.notText;
            else
                take(line);
        }
    } else {
        // A character cut off at the end is an error too, not something left for more bytes.
        qsizetype unit = 2;
        if (*encoding == QStringConverter::Utf32 || *encoding == QStringConverter::Utf32LE
            || *encoding == QStringConverter::Utf32BE)
            unit = 4;
        QStringDecoder decoder(*encoding); // drops a leading byte-order mark
        const QString text = decoder.decode(bytes);
        if (decoder.hasError() || bytes.size() % unit != 0)
            throw RolvanError(WhereImported(filePath) + u"檔案的 Unicode 編碼不完整或已損毀"_s);
        for (const QString &line : SplitLines(text))
            take(line);
    }
    // A mark left in front (a file saved twice with one) is no part of the first line.
    if (!result.lines.isEmpty()) {
        QString &first = result.lines.first();
        while (first.startsWith(QChar(0xFEFF)))
            first.remove(0, 1);
    }
    return result;
}

} // namespace

bool IsStorableLine(const QStringList &fields)
{
    const TableDef *table = FindTable(u"PSIO"_s);
    if (fields.size() != FieldCount || !table || table->columns.size() != FieldCount)
        return false;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString &value = fields.at(i);
        if (HasControlCharacter(value))
            return false;
        const ColumnDef &column = table->columns.at(i);
        if (column.isText() && value.size() > column.declaredSize())
            return false;
    }
    return !fields.at(FIdno).trimmed().isEmpty() && ReadRocDate(fields.at(FIoDate)).has_value()
        && IsEventTime(fields.at(FIoTime)) && IsKnownEventType(fields.at(FIoType))
        && IsKnownEntryWay(fields.at(FIoWay)) && IsLessonKey(fields.at(FIndexKey));
}

QString ExportLineText(const QString &stationNo, const QSqlRecord &psioRow)
{
    const TableDef *table = FindTable(u"PSIO"_s);
    QString line = stationNo;
    if (!table)
        return line;
    for (qsizetype i = 1; i < table->columns.size(); ++i) {
        const ColumnDef &column = table->columns.at(i);
        const QVariant value = psioRow.value(column.name);
        QString text;
        if (column.type == ColumnType::AutoNumber || column.type == ColumnType::Integer32
            || column.type == ColumnType::Integer16) {
            text = ZeroPad(value.isNull() ? 0 : value.toInt(), 9);
        } else {
            // A "," of a value would split it into two fields for every reader.
            text = Text(value).trimmed().replace(u',', u'，');
        }
        line += u',' + text;
    }
    return line;
}

QString EncodeLine(const QString &lineText)
{
    return Utf8ToBase64(lineText);
}

QStringList DecodeLine(const QString &encodedLine)
{
    static const QRegularExpression base64(u"^[A-Za-z0-9+/]+={0,3}$"_s);
    const QString line = encodedLine.trimmed();
    if (!base64.match(line).hasMatch())
        return {};
    QString text;
    try {
        text = Base64ToUtf8(line);
    } catch (const ConversionError &) {
        return {};
    }
    const QStringList fields = text.split(u',');
    if (fields.size() != FieldCount || !IsWholeNumber(fields.at(FRid)))
        return {};
    return fields;
}

EventStore::EventStore(QSqlDatabase db, const QString &ownStationNo)
    : m_ownStationNo(ownStationNo.trimmed())
    , m_find(PrepareOn(u"select RID from PSIO where IDNO = ? and IOTYPE = ? "
                       "and IODATE = ? and IOTIME = ? and DOOR = ? order by RID"_s,
                       db))
    , m_update(PrepareOn(u"update PSIO set "_s + SignEventColumns().join(u" = ?, "_s)
                             + u" = ? where RID = ?"_s,
                         db))
    , m_insert(db)
{
}

EventStore::Stored EventStore::Store(const QStringList &f)
{
    const SignEventRow row{.IDNO = f.at(FIdno),
                           .IODATE = f.at(FIoDate),
                           .IOTIME = f.at(FIoTime),
                           .IOTYPE = f.at(FIoType),
                           .INDEX_KEY = f.at(FIndexKey),
                           .IOWay = f.at(FIoWay),
                           .DOOR = f.at(FDoor),
                           .NET = f.at(FNet),
                           .Web = f.at(FWeb),
                           .RID2 = StrToIntSafe(f.at(FRid)),
                           .NTP = f.at(FNtp)};
    ExecPrepared(m_find, {f.at(FIdno), f.at(FIoType), f.at(FIoDate), f.at(FIoTime), f.at(FDoor)});
    const bool found = m_find.next();
    const QVariant rid = found ? m_find.value(0) : QVariant();
    m_find.finish();
    if (found) {
        // This station's own event, sent back by another station: ours stays as recorded.
        if (!m_ownStationNo.isEmpty() && f.at(FDoor).trimmed() == m_ownStationNo)
            return Stored::OwnRow;
        ExecPrepared(m_update, SignEventValues(row) << rid);
        return Stored::Updated;
    }
    m_insert.Insert(row);
    return Stored::Added;
}

QString ExportFolder(const QString &pictureDir, const QString &classKey, int courseNoLength)
{
    return JoinPath(pictureDir, ClassNumber(classKey, courseNoLength));
}

ExportResult ExportEvents(QSqlDatabase db, const QString &stationNo, const QString &indexKeyPrefix,
                          const QString &classKey, int courseNoLength, const QString &pictureDir,
                          const QString &snapshotRule)
{
    ExportResult result;
    if (stationNo == u"00"_s) {
        CurrentPrompter().ShowMessage(ExportRefused);
        result.refused = true;
        return result;
    }
    // The exchange file goes under the picture folder, never into a folder of chance.
    if (pictureDir.trimmed().isEmpty())
        throw RolvanError(u"尚未設定影像檔案路徑，無法匯出"_s);

    QSqlQuery rows = RunQuery(u" select * from PSIO where INDEX_KEY LIKE ? order by RID "_s,
                              db, {QString(indexKeyPrefix + u'%')});
    QStringList lines;
    QList<QSqlRecord> records;
    while (rows.next()) {
        records << rows.record();
        lines << EncodeLine(ExportLineText(stationNo, rows.record()));
    }

    // The class's own folder under the picture folder, whatever the snapshot rule.
    const QString classNumber = ClassNumber(classKey, courseNoLength);
    const QString folder = ExportFolder(pictureDir, classKey, courseNoLength);
    const QString tmp = JoinPath(folder, u"Tmp"_s);
    const QString pic = JoinPath(tmp, u"Pic"_s);
    QDir().rmdir(pic); // only when empty
    if (!QDir().mkpath(pic))
        throw RolvanError(u"無法建立資料夾 "_s + QDir::toNativeSeparators(pic));

    result.filePath = JoinPath(tmp, classNumber + u".tmp"_s);
    QByteArray bytes;
    for (const QString &line : std::as_const(lines))
        bytes += line.toUtf8() + "\r\n";
    // Checked, synchronised and renamed: a full disk never leaves an empty file counted as
    // written.
    QString writeError;
    if (!WriteFileAtomically(result.filePath, bytes, &writeError))
        throw RolvanError(writeError);
    result.rows = int(lines.size());

    // The snapshots of the events, when they are kept by class.
    if (snapshotRule == ClassNumberRule) {
        const QString source = JoinPath(folder, u"PIC"_s);
        for (const QSqlRecord &record : std::as_const(records)) {
            const QString name = SignRecorder::SnapshotFileName(classKey, Text(record.value(u"IDNO"_s)),
                Text(record.value(u"IODATE"_s)), Text(record.value(u"IOTIME"_s)),
                Text(record.value(u"IOTYPE"_s)), Text(record.value(u"IOWay"_s)));
            const QString from = JoinPath(source, name);
            const QString to = JoinPath(pic, name);
            if (QFile::exists(from) && !QFile::exists(to) && QFile::copy(from, to))
                ++result.pictures;
        }
    }

    const QFileInfo written(result.filePath);
    CurrentPrompter().ShowMessage(u"匯出檔案"_s
        + QDir::toNativeSeparators(JoinPath(written.path(), written.completeBaseName()))
        + u".tmp 資料筆數:"_s + QString::number(result.rows) + u"\n"_s + u"請記得影像資料也要 COPY"_s);
    return result;
}

ImportResult ImportEvents(QSqlDatabase db, const QString &stationNo, const QString &filePath)
{
    ImportResult result;
    if (stationNo != u"00"_s) {
        CurrentPrompter().ShowMessage(ImportRefused);
        result.refused = true;
        return result;
    }

    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        throw RolvanError(u"無法讀取檔案 "_s + QDir::toNativeSeparators(filePath) + u"："_s
                          + file.errorString());
    }
    const ExchangeLines read = ReadExchangeLines(file.readAll(), filePath);

    // Every line judged before anything is stored.
    QList<QStringList> events;
    result.skipped = read.notText;
    for (const QString &line : read.lines) {
        if (line.trimmed().isEmpty())
            continue;
        const QStringList f = DecodeLine(line);
        if (IsStorableLine(f))
            events << f;
        else
            ++result.skipped;
    }
    // Bytes that are no text and not one event among them: not an exchange file at all.
    if (events.isEmpty() && read.notText > 0)
        throw RolvanError(WhereImported(filePath) + NotTextReason);

    if (!db.transaction())
        throw DatabaseError(u"無法開始交易："_s + db.lastError().text());
    try {
        {
            EventStore store(db, stationNo);
            for (const QStringList &f : std::as_const(events)) {
                if (store.Store(f) == EventStore::Stored::Added)
                    ++result.added;
                ++result.imported;
            }
        } // the statements end before the commit
        if (!db.commit())
            throw DatabaseError(u"無法完成交易："_s + db.lastError().text());
    } catch (...) {
        db.rollback();
        throw;
    }

    QString message = u"總共 匯入筆數："_s + QString::number(result.imported) + u" 筆"_s;
    if (result.skipped > 0)
        message += u"\n略過 無法解讀筆數："_s + QString::number(result.skipped) + u" 筆"_s;
    message += u"\n"_s + u"請記得影像資料要CO進來"_s;
    CurrentPrompter().ShowMessage(message);
    return result;
}

} // namespace SignEventTransfer
