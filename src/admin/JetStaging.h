#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What the reading of one table of an old Access file came to.
struct JetTableSummary
{
    QString table;
    qint64 expected = 0; // rows the table's definition counts
    qint64 read = 0; // rows found in the file
    qint64 converted = 0; // rows written to the staging database
    qint64 skipped = 0; // rows found but not written (read - converted)
    QStringList skippedRows; // one line per skipped row: which row and why

    // "Orders：讀取 830 筆，轉入 830 筆，略過 0 筆"
    QString line() const;
};

// Where the reading is: announced when a table starts, now and then within it, and when it ends.
struct JetStagingProgress
{
    QString table;
    int tableNumber = 0; // 1-based
    int tableCount = 0;
    qint64 rowsDone = 0;
    qint64 rowCount = 0; // the table's own count of its rows
};

struct JetStagingOptions
{
    // The code page of Jet 3 text; 0 takes it from the file (JetStaging::Jet3CodePage).
    int jet3CodePage = 0;
};

// Reads an old Access database (Jet 3 or Jet 4 .mdb, through mdbtools' libmdb) into a new SQLite
// database with the same tables and columns, so that the conversion can take it like an older
// database of this system.
//
// The .mdb is opened read-only and never changed. Values keep their kind: text and memo as
// UTF-8 (Jet 4 stores Unicode; Jet 3 stores the text in a code page, see Jet3CodePage), yes/no
// as 0/1 in BOOLEAN columns, whole numbers as INTEGER, single and double as REAL, currency and
// decimal numbers as the exact text libmdb gives (the column affinity keeps them numbers), binary
// and OLE objects as BLOB, and dates as text in the forms this system stores (see DateText). NULL
// stays NULL and an empty text stays empty.
//
// Everything is written in one transaction. A row that cannot be read or whose value cannot be
// converted is not written; it is counted and named in its table's summary. A file that is not an
// Access database, cannot be opened or is cut short is refused with a message and the staging
// file is removed, so nothing half-written is left.
class JetStaging
{
public:
    using ProgressCallback = std::function<void(const JetStagingProgress &)>;

    using Options = JetStagingOptions;

    struct Result
    {
        QString stagingPath;
        int jetVersion = 0; // 3 or 4 (later Access formats give 12 and up)
        QList<JetTableSummary> tables;

        qint64 rowsRead() const;
        qint64 rowsSkipped() const;
        // One line per table and, below, the rows that were skipped.
        QStringList summaryLines() const;
    };

    // Stages mdbPath into a new SQLite file at stagingPath (an existing file of that name is an
    // earlier staging and is replaced). Throws RolvanError with a message for the user; after a
    // throw no staging file is left.
    static Result Stage(const QString &mdbPath, const QString &stagingPath,
        const Options &options = {}, const ProgressCallback &progress = {});

    // A Jet date value (days since 1899/12/30, the fraction the time of day) in this system's
    // forms: "YYYY/MM/DD" when it has no time, "HH:MM:SS" when it has no date (day 0), else
    // "YYYY/MM/DD HH:MM:SS". Empty for a value outside 0100/01/01 .. 9999/12/31.
    static QString DateText(double jetDate);

    // The code page of a Jet 3 file's text: the file's sort order when it is Chinese (Taiwan,
    // Hong Kong, Macau: Big5, 950; China, Singapore: 936), else the code page the file names,
    // else 1252. Jet 3 files written on a Traditional Chinese system carry its sort order.
    static int Jet3CodePage(int fileCodePage, int fileSortOrder);

    // The old database of the data folder waiting to be converted: <dataFolder>/Quorin.mdb when
    // it exists and Quorin.db does not; empty otherwise.
    static QString WaitingJetDatabase(const QString &dataFolder);
    // "發現舊版資料庫 Quorin.mdb，是否轉換？"
    static QString OfferText();
};
