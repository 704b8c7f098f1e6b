#include "Fun/VersionInfo.h"

#include "base/RolvanError.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <optional>

#ifndef ROLVAN_VERSION_TEXT
#error "ROLVAN_VERSION_TEXT must be defined by the build"
#endif

#if defined(__GNUC__) || defined(__clang__)
#define ROLVAN_KEEP [[gnu::used]]
#else
#define ROLVAN_KEEP
#endif

namespace {

// The marker. It must survive into the executable: it is referenced below (GetFileVersionText
// takes its search text from it) and marked used so that no compiler drops it.
ROLVAN_KEEP const char kVersionMarker[] = "@(#)ROLVAN-FILE-VERSION:" ROLVAN_VERSION_TEXT;

// Length of "@(#)ROLVAN-FILE-VERSION:". The search text is cut from the marker itself so that
// the program holds no second copy of it (a bare copy would be a marker without a version).
constexpr qsizetype kPrefixLength = 24;
static_assert(sizeof(kVersionMarker) > kPrefixLength);

// Longest run of digits and dots taken after the prefix ("65535.65535.65535.65535" is 23).
constexpr qsizetype kMaxVersionRun = 32;

constexpr qint64 kChunkSize = 1 << 20;

QByteArray MarkerPrefix()
{
    // Read through a volatile pointer so the optimiser keeps the marker in the image.
    const char *volatile marker = kVersionMarker;
    return QByteArray(marker, kPrefixLength);
}

RolvanError NoVersion() { return RolvanError(QStringLiteral("找不到版本資訊")); }

RolvanError IncompleteVersion() { return RolvanError(QStringLiteral("檔案資訊不完整")); }

bool IsVersionChar(char c) { return (c >= '0' && c <= '9') || c == '.'; }

// The version text that starts at data[0]: four dotted numbers of 0 to 65535, followed by a
// character that is neither a digit nor a dot (or by the end of the file).
std::optional<QString> ParseVersionRun(QByteArrayView data)
{
    qsizetype n = 0;
    while (n < data.size() && n <= kMaxVersionRun && IsVersionChar(data.at(n)))
        ++n;
    if (n > kMaxVersionRun)
        return std::nullopt;
    const QList<QByteArray> parts = data.first(n).toByteArray().split('.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (parts[i].isEmpty() || parts[i].size() > 5)
            return std::nullopt;
        bool ok = false;
        const uint value = parts[i].toUInt(&ok);
        if (!ok || value > 0xFFFF)
            return std::nullopt;
        numbers[i] = value;
    }
    return FormatVersionNumber((numbers[0] << 16) | numbers[1], (numbers[2] << 16) | numbers[3]);
}

} // namespace

QString FormatVersionNumber(quint32 ms, quint32 ls)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ms >> 16)
        .arg(ms & 0xFFFF)
        .arg(ls >> 16)
        .arg(ls & 0xFFFF);
}

QString GetFileVersionText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw NoVersion();

    const QByteArray prefix = MarkerPrefix();
    QByteArray buffer;
    qsizetype searchFrom = 0;
    bool sawMarker = false;
    bool atEnd = false;

    // Executables are large: read in chunks and keep the tail of the last one so that a marker
    // (with its version) that straddles two chunks is still found.
    while (!atEnd) {
        const QByteArray chunk = file.read(kChunkSize);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError)
                throw NoVersion();
            atEnd = true;
        }
        buffer += chunk;

        qsizetype found = -1;
        while ((found = buffer.indexOf(prefix, searchFrom)) >= 0) {
            const qsizetype versionStart = found + prefix.size();
            if (!atEnd && buffer.size() - versionStart <= kMaxVersionRun)
                break; // the version may go on in the next chunk
            sawMarker = true;
            if (const auto version = ParseVersionRun(QByteArrayView(buffer).sliced(versionStart)))
                return *version;
            searchFrom = found + 1;
        }
        if (atEnd)
            break;

        qsizetype keepFrom
            = found >= 0 ? found : qMax(searchFrom, buffer.size() - prefix.size() + 1);
        keepFrom = qBound<qsizetype>(0, keepFrom, buffer.size());
        buffer.remove(0, keepFrom);
        searchFrom = 0;
    }
    if (sawMarker)
        throw IncompleteVersion();
    throw NoVersion();
}

QString GetOwnVersionText()
{
    const QByteArray marker(kVersionMarker);
    if (const auto version = ParseVersionRun(QByteArrayView(marker).sliced(kPrefixLength)))
        return *version;
    return QString::fromLatin1(marker.mid(kPrefixLength));
}
