#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Putting a backup in the place of a damaged working database.
//
// The backup is one of ours and passes SQLite's page check, or it is not used. The damaged file
// is never deleted: it is copied aside first as "<stamp>_<name>Damaged.db" in the database's
// folder, and its write-ahead log (if any) goes with it under the same name, so the copy can
// still be opened. The sign events of the damaged file recorded after the backup was made are
// listed for entering again, in "<stamp>_補登簽到退.csv" beside it.
//
// Nobody may have the database open meanwhile: the station closes its own connection first, and
// the command line refuses while a station runs.

struct RestoreResult
{
    QString databasePath;
    QString backupPath;   // the backup put in place
    QDateTime backupTime; // when the backup was made
    QString asidePath;    // the damaged file, kept under this name (empty: there was none)
    QString reentryPath;  // the list of events to enter again (empty: none, or not written)
    QString listError;    // why the list could not be written
    QStringList reentry;  // those events, one line each: date time identity type lesson way station
    bool partial = false; // the damaged file could not be read to its end

    // What the operator reads: what was restored from where, where the damaged file is, and the
    // events to enter again.
    QString message() const;
};

// The backups "<yyyymmddhhmmss>_QuorinBackup.db" of folder, newest first.
QStringList DatabaseBackups(const QString &backupFolder);

// The newest backup in backupFolder that is one of ours and passes the page check; empty when
// there is none (*why says what was wrong with each one tried).
QString NewestSoundBackup(const QString &backupFolder, QString *why = nullptr);

// When a backup was made: the date and time of its name, else the file's last change.
QDateTime BackupTime(const QString &backupPath);

// Restores databasePath from backup (the newest sound one of backupFolder when empty). Raises
// RolvanError, leaving the database as it was, when no backup can be used or a step fails.
// now stamps the names of the files kept aside.
RestoreResult RestoreDatabaseFromBackup(const QString &databasePath, const QString &backupFolder,
                                        const QString &backup, const QDateTime &now);
