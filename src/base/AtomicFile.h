#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

// Every file the program writes (settings, CSV, snapshots, PDF sheets, exchange files,
// archives) is written through this one routine, so that a full or read-only disk never
// leaves an empty or half file under the final name:
//   1. the bytes go to a new temporary file in the target's own folder (".<name>.XXXXXX"),
//      written unbuffered so every write reports its own failure;
//   2. every write and the final flush are checked, the data is synchronised to the disk
//      (fsync, on Windows _commit) and the temporary file is renamed over the target;
//   3. on any failure the temporary file is removed and the target stays as it was; the
//      temporary files of writers that were killed are removed at the next write of the
//      same target (those untouched for ten minutes).
// A failure is reported in Chinese with the path and the operating system's reason
// ("磁碟空間不足（No space left on device）"), never as an unknown error.
//
// Use it as a device (begin, write through device(), commit) when the data is produced piece
// by piece, or WriteFileAtomically() for bytes already in memory.
class AtomicFile
{
public:
    explicit AtomicFile(const QString &path);
    ~AtomicFile(); // an uncommitted temporary file is removed

    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the temporary file. The folder must exist. A target that exists but is
    // read-only is refused: it is meant to stay as it is.
    bool begin();
    // The open temporary file; valid between begin() and commit()/cancel().
    QIODevice &device();
    // Writes all bytes or fails (and remembers the reason).
    bool write(const QByteArray &bytes);
    // Flushes, checks, synchronises and renames. After a failure nothing is renamed and the
    // target keeps its old content.
    bool commit();
    // Drops the temporary file; the target stays as it was.
    void cancel();

    // Takes over a file already written completely under a temporary name in the target's
    // folder by someone else (libzip): synchronises it and renames it over the target. The
    // temporary file is removed on failure.
    static bool commitWrittenFile(const QString &temporaryPath, const QString &target,
                                  QString *error);

    QString path() const { return m_path; }
    // "無法寫入檔案「<path>」：<reason>", empty while nothing failed.
    QString errorString() const { return m_error; }
    // The reason alone, for callers that name the file in their own words.
    QString reason() const { return m_reason; }

private:
    bool fail(const QString &reason);
    bool failWithOsError(const QString &action, int osError, const QString &osText);

    QString m_path;
    QString m_error;
    QString m_reason;
    std::unique_ptr<QFile> m_file;
    bool m_failed = false;
};

// Whether a file name is one of the temporary names this writer gives (".<name>.NNNNNN"): a
// file that is never meant to be kept, sent or packed.
bool IsAtomicFileTemporaryName(const QString &fileName);

// Removes from folder (not its sub-folders) the temporary files of writers that were killed:
// files of this writer's temporary names that nobody has written to for ten minutes. Nothing
// else is touched. Returns how many were removed.
int RemoveStaleTemporaryFiles(const QString &folder);

// Writes bytes to path through AtomicFile; false with the message in *error on failure.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// The reason for an operating-system error number in Chinese, followed by the system's own
// text in parentheses; for a failure without a number, the system's text alone.
QString OsErrorReason(int osError, const QString &osText = QString());

// Fault injection for tests: the next write, flush or synchronisation of an AtomicFile fails
// with the given error number (ENOSPC for a full disk) as if the system had refused it.
// Process-wide; reset by passing 0.
enum class AtomicFileStep { Write, Flush, Sync, Rename };
void InjectAtomicFileFault(AtomicFileStep step, int osError);
