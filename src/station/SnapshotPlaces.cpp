#include "station/SnapshotPlaces.h"

#include "base/AtomicFile.h"
#include "base/Globals.h"
#include "station/SignRecorder.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

#include <QFileInfo>

using namespace Qt::StringLiterals;

QStringList SnapshotSubFolders(const QString &classKey, const QString &rocDate, int courseNoLength,
                               const QString &rule, const QString &currentSubPath)
{
    // The writer's own rule makes each folder, so the readers find what it wrote.
    QStringList folders;
    const auto add = [&folders](const QString &folder) {
        if (!folders.contains(folder))
            folders.append(folder);
    };
    add(SignRecorder::PhotoSubPath(rule, classKey, rocDate, courseNoLength, currentSubPath));
    add(SignRecorder::PhotoSubPath(u"課程編號"_s, classKey, rocDate, courseNoLength, QString()));
    if (rocDate.trimmed().size() >= 5)
        add(SignRecorder::PhotoSubPath(u"年月"_s, classKey, rocDate.trimmed(), courseNoLength, QString()));
    return folders;
}

QStringList SnapshotCandidates(const QString &pictureDir, const SnapshotEvent &event,
                               int courseNoLength, const QString &rule,
                               const QString &currentSubPath)
{
    if (pictureDir.trimmed().isEmpty())
        return {};
    const QString name = SignRecorder::SnapshotFileName(event.classKey, event.saveId, event.ioDate,
                                                        event.ioTime, event.ioType, event.ioWay);
    QStringList paths;
    for (const QString &sub :
         SnapshotSubFolders(event.classKey, event.ioDate, courseNoLength, rule, currentSubPath))
        paths.append(JoinPath(sub.isEmpty() ? pictureDir : JoinPath(pictureDir, sub), name));
    return paths;
}

QString FindSnapshot(const QString &pictureDir, const SnapshotEvent &event, int courseNoLength,
                     const QString &rule, const QString &currentSubPath)
{
    for (const QString &path :
         SnapshotCandidates(pictureDir, event, courseNoLength, rule, currentSubPath)) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QStringList SnapshotFolders(const QString &pictureDir)
{
    if (pictureDir.trimmed().isEmpty())
        return {};
    static const QRegularExpression yearMonth(u"^\\d{5}$"_s);
    const QDir root(pictureDir);
    QStringList folders;
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        // A link may lead anywhere: only folders of the picture folder itself.
        if (QFileInfo(root.filePath(name)).isSymLink())
            continue;
        if (yearMonth.match(name).hasMatch())
            folders << root.filePath(name);
        const QString pic = root.filePath(name + u"/PIC"_s);
        if (QFileInfo(pic).isDir() && !QFileInfo(pic).isSymLink())
            folders << pic;
    }
    return folders;
}

int RemoveStaleSnapshotTemporaries(const QString &pictureDir)
{
    static QSet<QString> swept;
    const QString key = QFileInfo(pictureDir).absoluteFilePath();
    if (pictureDir.trimmed().isEmpty() || swept.contains(key))
        return 0;
    swept.insert(key);
    int removed = 0;
    for (const QString &folder : SnapshotFolders(pictureDir))
        removed += RemoveStaleTemporaryFiles(folder);
    return removed;
}
