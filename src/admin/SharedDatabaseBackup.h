#pragma once

#include "core/NetDatabase.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// The backup of the shared database (useNetDB): PostgreSQL's own pg_dump writes the whole
// database in its custom format (restored with pg_restore) into the backup folder.
//
// pg_dump gets the host, port, user and database as one quoted connection text and the password
// only in its own environment (PGPASSWORD), never on its command line, where every user of the
// computer could read it. It writes to a temporary name in the backup folder; the file takes
// its final name only when pg_dump ended with 0 and the file is a complete dump. A dump that
// fails, runs out of time or is stopped leaves no file under the final name, and the temporary
// file it wrote is removed (only that one).
class SharedDatabaseBackup
{
public:
    // Bytes written so far, while the dump runs.
    using ProgressCallback = std::function<void(qint64 bytesWritten)>;

    struct Options
    {
        NetDbSettings settings;
        QString backupFolder;   // created when missing
        QString backupFileName; // a bare file name, "<yyyymmddhhmmss>_QuorinBackup.pgdump"
        QStringList searchPath = DefaultSearchPath(); // folders searched for pg_dump, in order
        int timeoutSeconds = 30 * 60;
    };

    // "<yyyymmddhhmmss>_QuorinBackup.pgdump" of the given moment.
    static QString BackupFileName(const QDateTime &at);

    // Where pg_dump is looked for: the folders of PATH, then the PostgreSQL installations
    // (/usr/lib/postgresql/<version>/bin on Linux, C:\Program Files\PostgreSQL\<version>\bin
    // on Windows), newest version first: a newer pg_dump reads older servers, not the reverse.
    static QStringList DefaultSearchPath();
    // The first pg_dump program in the folders, or an empty text.
    static QString FindPgDump(const QStringList &searchPath);
    // The refusal when there is none.
    static QString PgDumpMissingMessage();

    // The connection text given to pg_dump: host, port, user and database quoted, TLS when
    // the server offers it, a connect time-out; never the password.
    static QString ConnectionText(const NetDbSettings &settings);

    // Makes the backup and returns its path. Throws RolvanError with a message for the user:
    // pg_dump missing, settings incomplete, the folder not writable, pg_dump failing (with its
    // own words and what to check) or running out of time.
    static QString Run(const Options &options, const ProgressCallback &progress = {});
};
