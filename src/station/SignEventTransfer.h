#pragma once

#include "core/SignEventRow.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

class QSqlRecord;

// Sign events carried between the stations of one class by hand. A station other than "00"
// exports the events of a class into an exchange file; station "00" imports such files into its
// own database.
//
// The exchange file is UTF-8 text, one line per event and no header line. Each line is the
// Base64 form (of the line's UTF-8 bytes; for plain ASCII text the same as the one-byte form)
// of thirteen fields joined by ",": the exporting station's number, then the PSIO columns after
// DOOR in table order — IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, SEATS, RID,
// RID2, NTP. Text is trimmed and NULL written empty; RID and RID2 are nine digits (NULL as
// 000000000). A "," inside a value is written as "，" so that every line keeps its thirteen
// fields. The file is <picture folder>/<class number>/Tmp/<class number>.tmp, and with the
// "課程編號" snapshot rule the events' snapshots are copied beside it into Tmp/Pic.
//
// Importing matches each line's event by person, type, date, time and station: the row found
// is updated (never a row this station recorded itself), otherwise one is added, and RID2 keeps
// the exporting station's row number, so importing the same file twice leaves the same rows. A
// line that is no text (a NUL, bytes that are not UTF-8), cannot be decoded, does not have the
// thirteen fields or could not be stored as it is (see IsStorableLine) is skipped and counted
// as damaged; a file of which no line is an event and some lines are no text is refused as no
// text. The file may also be UTF-16 (as an editor saves "Unicode") and its lines may end in
// CR LF, LF or CR alone. All lines are applied in one transaction: an error leaves the database
// as it was.
namespace SignEventTransfer {

inline const QString ExportRefused = QStringLiteral("資料匯出電腦編號不得為00");
inline const QString ImportRefused = QStringLiteral("資料匯入電腦編號必須為00");
inline constexpr int FieldCount = 13;

// The fields of one event as exported (not yet encoded).
QString ExportLineText(const QString &stationNo, const QSqlRecord &psioRow);
// The encoded line of the file.
QString EncodeLine(const QString &lineText);

// The fields of an encoded line; empty when the line is not Base64, or does not have the
// thirteen fields, or its row number (field 10) is not a whole number.
QStringList DecodeLine(const QString &encodedLine);

// Whether the fields of a decoded line make an event this station stores: thirteen fields, none
// holding a control character or longer than its column, a non-blank identity, a ROC date
// "YYYMMDD" that exists, a time "HHMMSS", a known type ("0" .. "5", "9", "A", "D"), a known
// way ("SR", "KB", "SC", "IT") and a lesson key that is not blank and holds no "%".
bool IsStorableLine(const QStringList &fields);

// Stores sign events received from another station, inside the caller's transaction on db. The
// row of the same person, type, date, time and station (DOOR) is updated, otherwise one is
// added; the class is no part of the match. RID2 takes the sending station's row number (field
// 10), so storing the same events twice leaves the same rows. A row recorded by this station
// itself (its DOOR is ownStationNo) is never changed: a package of another station carries this
// station's events back with that station's row numbers, which are nothing to this station's
// own rows. Every value is bound; a statement the database refuses raises DatabaseError. Used
// by the exchange file and the class packages the training service hands out.
class EventStore
{
public:
    EventStore(QSqlDatabase db, const QString &ownStationNo);

    enum class Stored {
        Added,   // a new row
        Updated, // the row received before, overwritten
        OwnRow,  // this station's own row of the event, left as it is
    };
    // Stores one event whose fields passed IsStorableLine.
    Stored Store(const QStringList &fields);

private:
    QString m_ownStationNo;
    QSqlQuery m_find;
    QSqlQuery m_update;
    SignEventInserter m_insert;
};

// The folder of a class's exchange file: <picture folder>/<class number>.
QString ExportFolder(const QString &pictureDir, const QString &classKey, int courseNoLength);

struct ExportResult
{
    bool refused = false;
    QString filePath;   // the exchange file written
    int rows = 0;       // events written
    int pictures = 0;   // snapshots copied into Tmp/Pic
};

// Exports the events whose INDEX_KEY starts with indexKeyPrefix (the class number of the search
// input) on db, and shows "匯出檔案<file without extension>.tmp 資料筆數:<n>"
// followed by "請記得影像資料也要 COPY". Station "00" is refused with ExportRefused. snapshotRule
// is the sign-in screen's "影像子目錄分類依據". A file that cannot be written raises RolvanError.
ExportResult ExportEvents(QSqlDatabase db, const QString &stationNo, const QString &indexKeyPrefix,
                          const QString &classKey, int courseNoLength, const QString &pictureDir,
                          const QString &snapshotRule);

struct ImportResult
{
    bool refused = false;
    int imported = 0;   // lines applied (a row updated or added)
    int added = 0;      // of which rows added
    int skipped = 0;    // lines that could not be read
};

// Imports an exchange file on db and shows
// "總共 匯入筆數：<n> 筆" (then "略過 無法解讀筆數：<k> 筆" when lines were skipped) and
// "請記得影像資料要CO進來". Any station but "00" is refused with ImportRefused. A file that
// cannot be read, is no text (no event among lines that are no text, broken UTF-16) or a
// database error raises RolvanError with nothing changed.
ImportResult ImportEvents(QSqlDatabase db, const QString &stationNo, const QString &filePath);

} // namespace SignEventTransfer
