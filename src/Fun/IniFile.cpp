#include "Fun/IniFile.h"

#include "base/AtomicFile.h"
#include "base/RolvanError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

QString nativeLineEnding()
{
#ifdef Q_OS_WIN
    return QStringLiteral("\r\n");
#else
    return QStringLiteral("\n");
#endif
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Trims blanks and tabs only: a full-width space (U+3000) is part of a Chinese value.
QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The Big5 converter maps almost every byte to something; a text with a replacement
// character, a C1 control or a private-use character was not Big5 text after all.
bool looksLikeText(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0xFFFD || (u >= 0x80 && u <= 0x9F) || (u >= 0xE000 && u <= 0xF8FF))
            return false;
    }
    return true;
}

// The number of bytes at the end that start a UTF-8 character without finishing it (a file
// cut in the middle of a character); 0 when the text ends on a whole character.
qsizetype IncompleteUtf8Tail(const QByteArray &bytes)
{
    for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes.at(bytes.size() - back));
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for the lead byte
        const int length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

QString fileLabel(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

QString IniFile::foldName(const QString &name)
{
    return trimBlanks(name).toCaseFolded();
}

IniFile::Line IniFile::parseLine(const QString &text, const QString &ending)
{
    Line line;
    line.text = text;
    line.ending = ending;
    const QString trimmed = trimBlanks(text);
    if (trimmed.isEmpty()) {
        line.kind = Kind::Blank;
    } else if (trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'))) {
        line.kind = Kind::Comment;
    } else if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        if (close > 0) {
            line.kind = Kind::Section;
            line.name = trimmed.mid(1, close - 1);
            line.folded = foldName(line.name);
        }
    } else {
        const qsizetype eq = text.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            const QString name = text.left(eq);
            const QString folded = foldName(name);
            if (!folded.isEmpty()) {
                line.kind = Kind::Key;
                line.name = name;
                line.folded = folded;
            }
        }
    }
    return line;
}

void IniFile::parse(const QString &content)
{
    m_lines.clear();
    m_eol.clear();
    qsizetype pos = 0;
    while (pos < content.size()) {
        const qsizetype nl = content.indexOf(QLatin1Char('\n'), pos);
        QString text;
        QString ending;
        if (nl < 0) {
            text = content.mid(pos);
            pos = content.size();
        } else {
            text = content.mid(pos, nl - pos);
            ending = QStringLiteral("\n");
            if (text.endsWith(QLatin1Char('\r'))) {
                text.chop(1);
                ending = QStringLiteral("\r\n");
            }
            pos = nl + 1;
        }
        if (m_eol.isEmpty() && !ending.isEmpty())
            m_eol = ending;
        m_lines.append(parseLine(text, ending));
    }
    if (m_eol.isEmpty())
        m_eol = nativeLineEnding();
}

bool IniFile::load(const QString &path)
{
    m_path = path;
    m_error.clear();
    m_lines.clear();
    m_eol = nativeLineEnding();
    m_bom = false;
    m_loadFailed = false;
    m_modified = false;

    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("無法讀取設定檔「%1」：%2").arg(fileLabel(path), file.errorString());
        m_loadFailed = true;
        return false;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_error = QStringLiteral("無法讀取設定檔「%1」：%2").arg(fileLabel(path), file.errorString());
        m_loadFailed = true;
        return false;
    }
    file.close();

    // Notepad's "Unicode" is UTF-16; a NUL byte means a binary file, not a text at all.
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        m_error = QStringLiteral("設定檔「%1」是 UTF-16（Unicode）編碼，無法讀取；請以 UTF-8 編碼另存")
                      .arg(fileLabel(path));
        m_loadFailed = true;
        return false;
    }
    if (bytes.contains('\0')) {
        m_error = QStringLiteral("設定檔「%1」不是文字檔，無法讀取").arg(fileLabel(path));
        m_loadFailed = true;
        return false;
    }
    if (bytes.startsWith(kUtf8Bom)) {
        m_bom = true;
        bytes.remove(0, kUtf8Bom.size());
    }

    // A file that ends in the middle of a character keeps those bytes as they are: they are
    // written back unchanged after the last line.
    const qsizetype tail = IncompleteUtf8Tail(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    QString content = utf8.decode(QByteArrayView(bytes).first(bytes.size() - tail));
    QByteArray rawTail = bytes.right(tail);
    if (utf8.hasError()) {
        rawTail.clear();
        // Older stations kept this file in the Traditional Chinese code page. Read it as
        // that when it decodes cleanly; the next save writes it as UTF-8.
        QStringDecoder big5("Big5", QStringDecoder::Flag::Stateless);
        bool legacyOk = false;
        if (!m_bom && big5.isValid()) {
            content = big5.decode(bytes);
            legacyOk = !big5.hasError() && looksLikeText(content);
        }
        if (!legacyOk) {
            m_error = QStringLiteral("設定檔「%1」不是 UTF-8 編碼的文字檔，無法讀取").arg(fileLabel(path));
            m_loadFailed = true;
            return false;
        }
    }
    parse(content);
    if (!rawTail.isEmpty()) {
        if (m_lines.isEmpty() || !m_lines.last().ending.isEmpty())
            m_lines.append(parseLine(QString(), QString()));
        m_lines.last().rawTail = rawTail;
    }
    return true;
}

QByteArray IniFile::toBytes() const
{
    QByteArray bytes;
    if (m_bom)
        bytes += kUtf8Bom;
    for (const Line &line : m_lines)
        bytes += line.text.toUtf8() + line.rawTail + line.ending.toUtf8();
    return bytes;
}

bool IniFile::save()
{
    if (m_loadFailed)
        return false; // m_error still tells why the file could not be read
    if (m_path.isEmpty()) {
        m_error = QStringLiteral("設定檔沒有指定檔名，無法寫入");
        return false;
    }
    // A read-only file is refused by AtomicFile: it is meant to stay as it is.
    AtomicFile file(m_path);
    if (!file.begin() || !file.write(toBytes()) || !file.commit()) {
        m_error = QStringLiteral("無法寫入設定檔「%1」：%2").arg(fileLabel(m_path), file.reason());
        return false;
    }
    m_error.clear();
    m_modified = false;
    return true;
}

void IniFile::saveOrThrow()
{
    if (!save())
        throw RolvanError(m_error);
}

int IniFile::findKey(const QString &section, const QString &key) const
{
    const QString foldedSection = foldName(section);
    const QString foldedKey = foldName(key);
    if (foldedSection.isEmpty() || foldedKey.isEmpty())
        return -1;
    bool inSection = false;
    for (int i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines.at(i);
        if (line.kind == Kind::Section)
            inSection = line.folded == foldedSection;
        else if (inSection && line.kind == Kind::Key && line.folded == foldedKey)
            return i;
    }
    return -1;
}

bool IniFile::hasSection(const QString &section) const
{
    const QString folded = foldName(section);
    if (folded.isEmpty())
        return false;
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Section && line.folded == folded)
            return true;
    }
    return false;
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    return findKey(section, key) >= 0;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    const int index = findKey(section, key);
    if (index < 0)
        return std::nullopt;
    const QString &text = m_lines.at(index).text;
    return trimBlanks(text.mid(text.indexOf(QLatin1Char('=')) + 1));
}

QString IniFile::value(const QString &section, const QString &key, const QString &defaultValue) const
{
    return value(section, key).value_or(defaultValue);
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString trimmedSection = trimBlanks(section);
    if (trimmedSection.isEmpty() || section.contains(QLatin1Char(']'))
        || section.contains(QLatin1Char('\n')) || section.contains(QLatin1Char('\r'))) {
        throw RolvanError(QStringLiteral("設定區段名稱「%1」無效").arg(section));
    }
    const QString trimmedKey = trimBlanks(key);
    if (trimmedKey.isEmpty() || key.contains(QLatin1Char('=')) || key.contains(QLatin1Char('\n'))
        || key.contains(QLatin1Char('\r')) || trimmedKey.startsWith(QLatin1Char(';'))
        || trimmedKey.startsWith(QLatin1Char('#')) || trimmedKey.startsWith(QLatin1Char('['))) {
        throw RolvanError(QStringLiteral("設定項目名稱「%1」無效").arg(key));
    }

    // A line break would end the line and turn the rest into a line of its own.
    QString safeValue = value;
    safeValue.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    safeValue.replace(QLatin1Char('\r'), QLatin1Char(' '));
    safeValue.replace(QLatin1Char('\n'), QLatin1Char(' '));

    const int existing = findKey(section, key);
    if (existing >= 0) {
        Line &line = m_lines[existing];
        const qsizetype eq = line.text.indexOf(QLatin1Char('='));
        qsizetype valueStart = eq + 1;
        if (!trimBlanks(line.text.mid(valueStart)).isEmpty()) {
            while (valueStart < line.text.size() && isBlank(line.text.at(valueStart)))
                ++valueStart;
        }
        const QString newText = line.text.left(valueStart) + safeValue;
        if (newText != line.text || !line.rawTail.isEmpty()) {
            // The unreadable end of the old value goes with it.
            line.rawTail.clear();
            line.text = newText;
            m_modified = true;
        }
        return;
    }

    // Where a new key goes: after the last key line of the first section of that name.
    const QString foldedSection = foldName(section);
    int header = -1;
    int lastKey = -1;
    for (int i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines.at(i);
        if (line.kind == Kind::Section) {
            if (header >= 0)
                break;
            if (line.folded == foldedSection)
                header = i;
        } else if (header >= 0 && line.kind == Kind::Key) {
            lastKey = i;
        }
    }

    int insertAt = m_lines.size();
    QList<Line> added;
    if (header >= 0) {
        insertAt = (lastKey >= 0 ? lastKey : header) + 1;
    } else {
        added.append(parseLine(QLatin1Char('[') + section + QLatin1Char(']'), m_eol));
    }
    added.append(parseLine(key + QLatin1Char('=') + safeValue, m_eol));

    // The line before the new ones may be the last line of a file without a final break.
    if (insertAt > 0 && m_lines.at(insertAt - 1).ending.isEmpty())
        m_lines[insertAt - 1].ending = m_eol;
    for (int i = 0; i < added.size(); ++i)
        m_lines.insert(insertAt + i, added.at(i));
    m_modified = true;
}

QStringList IniFile::sectionNames() const
{
    QStringList names;
    QStringList seen;
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Section && !line.folded.isEmpty() && !seen.contains(line.folded)) {
            seen.append(line.folded);
            names.append(trimBlanks(line.name));
        }
    }
    return names;
}

QStringList IniFile::keys(const QString &section) const
{
    const QString foldedSection = foldName(section);
    QStringList names;
    QStringList seen;
    bool inSection = false;
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Section) {
            inSection = !foldedSection.isEmpty() && line.folded == foldedSection;
        } else if (inSection && line.kind == Kind::Key && !seen.contains(line.folded)) {
            seen.append(line.folded);
            names.append(trimBlanks(line.name));
        }
    }
    return names;
}
