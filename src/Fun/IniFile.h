#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A station settings file in the INI layout: "[section]" header lines followed by
// "key=value" lines. Our own reader and writer, made to change one key at a time and
// leave everything else in the file exactly as it was.
//
// Reading
//   - The file is UTF-8, with or without a byte-order mark. A file that is not valid UTF-8
//     but reads cleanly as Big5 (the Traditional Chinese code page of older stations) is
//     taken as Big5 and written back as UTF-8 on the next save. A file that ends inside a
//     character keeps those last bytes: they are written back as they were. Anything else
//     is refused: load() fails and save() will not overwrite it.
//   - A missing file reads as empty; load() succeeds.
//   - Lines are: blank; comments (first non-blank character ";" or "#"); section headers
//     ("[" name "]", anything after the "]" is ignored); key lines (a non-empty name, "=",
//     value); and anything else (for example a line without "="), which is kept but means
//     nothing. Key lines before the first section header belong to no section.
//   - Section and key names are compared after trimming blanks and tabs at both ends and
//     with Unicode case folding: "FmSetup_width" is found as "FmSetup_Width", "BASE" as
//     "Base", and a hand-edited "Company Name = x" as "Company Name". Chinese names are
//     compared as they are. So the key "DB Version " (with its trailing blank) and
//     "DB Version" are the same key here.
//   - A value is the text after the first "=", trimmed of blanks and tabs at both ends, as
//     the Windows profile functions do. Quotes are not removed and ";" inside a value is
//     part of it.
//   - When a section name or a key occurs more than once, the first occurrence counts,
//     for reading and for writing.
//
// Writing
//   - setValue() of a key that exists replaces the value of its first occurrence in place;
//     the key's own spelling and the blanks around "=" on that line are kept.
//   - A new key is written exactly as given (the program writes "DB Version " with its
//     blank), as "key=value", right after the last key line of the first section of that
//     name (after the header when the section has no key yet), so the blank lines and
//     comments that end the section stay behind it. A new section goes at the end of the
//     file.
//   - Every other line keeps its exact text and its own line ending. Added lines use the
//     line ending of the file (CRLF when its first line ends in CRLF, else LF); a new file
//     uses the platform's (CRLF on Windows, LF elsewhere). A byte-order mark is written
//     back exactly when the file had one; a new file has none.
//   - A line break inside a value would split the line, so each one (CRLF, CR or LF) is
//     written as one blank. Names that cannot be stored (empty, with a line break, a key
//     with "=" or starting with ";", "#" or "[", a section with "]") raise RolvanError:
//     they are faults of the caller, and nothing is changed.
//   - save() writes the whole file through AtomicFile (temporary name in the same folder,
//     every write checked, synchronised to the disk, renamed), so a failed save - a full
//     disk included - leaves the old file untouched. A file
//     that exists but is not writable is not replaced. The folder must exist.
class IniFile
{
public:
    IniFile() = default;

    // Reads the file at path (missing = empty). Returns false, with errorString(), when the
    // file exists but cannot be read or decoded; the object is then empty and save() fails.
    bool load(const QString &path);

    // Writes the file back to the path given to load(). Returns false, with errorString()
    // (a Chinese message naming the file), when it cannot; the old file is then unchanged.
    bool save();
    // save() that raises RolvanError with errorString() on failure.
    void saveOrThrow();

    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    // True after setValue() changed the content since load() or save().
    bool isModified() const { return m_modified; }
    bool hasByteOrderMark() const { return m_bom; }
    bool usesCrLf() const { return m_eol == QStringLiteral("\r\n"); }

    bool hasSection(const QString &section) const;
    bool contains(const QString &section, const QString &key) const;
    // The trimmed value of the key; no value when the section or the key is missing.
    // A key with nothing after "=" gives an empty text, not "no value".
    std::optional<QString> value(const QString &section, const QString &key) const;
    QString value(const QString &section, const QString &key, const QString &defaultValue) const;
    void setValue(const QString &section, const QString &key, const QString &value);

    // Names as they are spelled in the file, trimmed (first occurrence of each), in file order.
    QStringList sectionNames() const;
    QStringList keys(const QString &section) const;

    // The bytes save() writes.
    QByteArray toBytes() const;

private:
    enum class Kind
    {
        Blank,
        Comment,
        Section,
        Key,
        Other
    };

    struct Line
    {
        Kind kind = Kind::Other;
        QString text;       // the line without its ending
        QString ending;     // "\r\n", "\n" or empty (last line of a file without a final break)
        QByteArray rawTail; // bytes after the text that are not whole UTF-8 characters (the
                            // end of a file cut inside a character), written back unchanged
        QString name;       // Section, Key: the name as spelled (key: text before "=")
        QString folded;     // Section, Key: trimmed and case-folded name for matching
    };

    static Line parseLine(const QString &text, const QString &ending);
    static QString foldName(const QString &name);
    void parse(const QString &content);
    int findKey(const QString &section, const QString &key) const;

    QString m_path;
    QString m_error;
    QList<Line> m_lines;
    QString m_eol = QStringLiteral("\n");
    bool m_bom = false;
    bool m_loadFailed = false;
    bool m_modified = false;
};
