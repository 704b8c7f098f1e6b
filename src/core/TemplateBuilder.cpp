#include "core/TemplateBuilder.h"

#include "core/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QUuid>
#include <QVariant>

#include <filesystem>
#include <system_error>

using namespace Qt::Literals::StringLiterals;

namespace
{

struct SeedTable
{
    QString fileName;
    const TableDef *table = nullptr;
    QList<const ColumnDef *> columns;
    QList<QVariantList> rows;
};

struct HelpTopic
{
    QString helpId;
    QString jobScreen;
    QString text;
};

void SetError(QString *error, const QString &message)
{
    if (error)
        *error = message;
}

// Reads a whole file as UTF-8 (a leading byte-order mark is dropped).
bool ReadUtf8File(const QString &path, QString *text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, u"無法讀取檔案 %1：%2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString decoded = decoder.decode(file.readAll());
    if (decoder.hasError()) {
        SetError(error, u"檔案 %1 不是 UTF-8 文字檔"_s.arg(QDir::toNativeSeparators(path)));
        return false;
    }
    decoded.replace(u"\r\n"_s, u"\n"_s);
    *text = decoded;
    return true;
}

// Turns one seed cell into the value stored for its column; an empty cell is NULL.
bool ConvertCell(const QString &cell, const ColumnDef &column, QVariant *value, QString *problem)
{
    if (cell.isEmpty()) {
        *value = QVariant();
        return true;
    }
    bool ok = true;
    switch (column.type) {
    case ColumnType::Text:
        if (cell.size() > column.declaredSize()) {
            *problem = u"欄位 %1 最多 %2 個字元"_s.arg(column.name).arg(column.declaredSize());
            return false;
        }
        *value = cell;
        return true;
    case ColumnType::Memo:
        *value = cell;
        return true;
    case ColumnType::AutoNumber:
    case ColumnType::Integer16:
    case ColumnType::Integer32: {
        const int number = cell.trimmed().toInt(&ok);
        if (!ok || (column.type == ColumnType::Integer16 && (number < -32768 || number > 32767))) {
            *problem = u"欄位 %1 須為整數：%2"_s.arg(column.name, cell);
            return false;
        }
        *value = number;
        return true;
    }
    case ColumnType::YesNo: {
        const QString t = cell.trimmed();
        if (t.compare(u"True"_s, Qt::CaseInsensitive) == 0)
            *value = true;
        else if (t.compare(u"False"_s, Qt::CaseInsensitive) == 0)
            *value = false;
        else {
            const int number = t.toInt(&ok);
            if (!ok) {
                *problem = u"欄位 %1 須為 True 或 False：%2"_s.arg(column.name, cell);
                return false;
            }
            *value = number != 0;
        }
        return true;
    }
    case ColumnType::Number: {
        const double number = cell.trimmed().toDouble(&ok);
        if (!ok) {
            *problem = u"欄位 %1 須為數字：%2"_s.arg(column.name, cell);
            return false;
        }
        *value = number;
        return true;
    }
    }
    *value = cell;
    return true;
}

bool ReadSeedFile(const QString &path, SeedTable *seed, QString *error)
{
    const QFileInfo info(path);
    const QString shown = info.fileName();
    const QString tableName = info.fileName().section(u'.', 0, 0);
    seed->fileName = shown;
    seed->table = FindTable(tableName);
    if (!seed->table) {
        SetError(error, u"種子檔 %1：沒有資料表 %2"_s.arg(shown, tableName));
        return false;
    }

    QString text;
    if (!ReadUtf8File(path, &text, error))
        return false;

    const QStringList lines = text.split(u'\n');
    bool haveHeader = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const int lineNo = i + 1;
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList cells = line.split(u'\t');
        if (!haveHeader) {
            for (const QString &name : cells) {
                const ColumnDef *column = seed->table->findColumn(name.trimmed());
                if (!column) {
                    SetError(error, u"種子檔 %1 第 %2 行：資料表 %3 沒有欄位 %4"_s.arg(
                                        shown, QString::number(lineNo), seed->table->name,
                                        name.trimmed()));
                    return false;
                }
                if (column->type == ColumnType::AutoNumber) {
                    SetError(error, u"種子檔 %1 第 %2 行：自動編號欄位 %3 由資料庫給號，不可列出"_s.arg(
                                        shown, QString::number(lineNo), column->name));
                    return false;
                }
                if (seed->columns.contains(column)) {
                    SetError(error, u"種子檔 %1 第 %2 行：欄位 %3 重覆"_s.arg(
                                        shown, QString::number(lineNo), column->name));
                    return false;
                }
                seed->columns.append(column);
            }
            haveHeader = true;
            continue;
        }
        if (cells.size() != seed->columns.size()) {
            SetError(error, u"種子檔 %1 第 %2 行：有 %3 格，標題有 %4 欄"_s.arg(
                                shown, QString::number(lineNo), QString::number(cells.size()),
                                QString::number(seed->columns.size())));
            return false;
        }
        QVariantList row;
        for (int c = 0; c < cells.size(); ++c) {
            QVariant value;
            QString problem;
            if (!ConvertCell(cells.at(c), *seed->columns.at(c), &value, &problem)) {
                SetError(error, u"種子檔 %1 第 %2 行：%3"_s.arg(shown, QString::number(lineNo),
                                                                 problem));
                return false;
            }
            row.append(value);
        }
        seed->rows.append(row);
    }
    if (!haveHeader) {
        SetError(error, u"種子檔 %1 沒有欄位標題列"_s.arg(shown));
        return false;
    }
    return true;
}

bool ReadSeeds(const QString &seedDir, QList<SeedTable> *seeds, QString *error)
{
    const QDir dir(seedDir);
    if (seedDir.isEmpty() || !dir.exists()) {
        SetError(error, u"找不到種子資料目錄 %1"_s.arg(QDir::toNativeSeparators(seedDir)));
        return false;
    }
    const QStringList files =
        dir.entryList({u"*.tsv"_s}, QDir::Files | QDir::Readable, QDir::Name);
    if (files.isEmpty()) {
        SetError(error, u"種子資料目錄 %1 沒有 .tsv 檔"_s.arg(QDir::toNativeSeparators(seedDir)));
        return false;
    }
    for (const QString &name : files) {
        SeedTable seed;
        if (!ReadSeedFile(dir.filePath(name), &seed, error))
            return false;
        seeds->append(seed);
    }
    return true;
}

bool ReadHelpTopics(const QString &helpDir, QList<HelpTopic> *topics, QString *error)
{
    if (helpDir.isEmpty())
        return true;
    const QDir dir(helpDir);
    if (!dir.exists()) {
        SetError(error, u"找不到說明文字目錄 %1"_s.arg(QDir::toNativeSeparators(helpDir)));
        return false;
    }
    const int maxKey = DeclaredTextSize(u"SYS_Help"_s, u"JobScreen"_s);
    const QStringList helpIds = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &helpId : helpIds) {
        const QDir topicDir(dir.filePath(helpId));
        const QStringList files =
            topicDir.entryList({u"*.txt"_s}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString &file : files) {
            const QString jobScreen = QFileInfo(file).completeBaseName();
            const QString shown = helpId + u'/' + file;
            if (helpId.size() > maxKey || jobScreen.size() > maxKey) {
                SetError(error, u"說明檔 %1：名稱超過 %2 個字元"_s.arg(shown).arg(maxKey));
                return false;
            }
            QString text;
            if (!ReadUtf8File(topicDir.filePath(file), &text, error))
                return false;
            text = text.trimmed();
            if (text.isEmpty()) {
                SetError(error, u"說明檔 %1 是空的"_s.arg(shown));
                return false;
            }
            topics->append({helpId, jobScreen, text});
        }
    }
    return true;
}

bool Exec(QSqlQuery &query, const QString &sql, QString *error)
{
    if (query.exec(sql))
        return true;
    SetError(error, sql + u"\n執行失敗：%1"_s.arg(query.lastError().text()));
    return false;
}

// Runs the schema and inserts every seed row and help text in one transaction.
bool Populate(QSqlDatabase &db, const QList<SeedTable> &seeds, const QList<HelpTopic> &topics,
              QString *error)
{
    {
        QSqlQuery query(db);
        // One self-contained file, safe to copy as it is.
        if (!Exec(query, u"PRAGMA journal_mode=DELETE"_s, error))
            return false;
        for (const QString &statement : SqliteSchemaStatements()) {
            if (!Exec(query, statement, error))
                return false;
        }
    }

    if (!db.transaction()) {
        SetError(error, u"無法開始交易：%1"_s.arg(db.lastError().text()));
        return false;
    }
    bool ok = true;
    {
        for (const SeedTable &seed : seeds) {
            if (seed.rows.isEmpty())
                continue;
            QStringList names;
            QStringList marks;
            for (const ColumnDef *column : seed.columns) {
                names.append(column->name);
                marks.append(u"?"_s);
            }
            const QString sql = u"INSERT INTO "_s + seed.table->name + u" ("_s
                + names.join(u", "_s) + u") VALUES ("_s + marks.join(u", "_s) + u')';
            QSqlQuery insert(db);
            if (!insert.prepare(sql)) {
                SetError(error, sql + u"\n執行失敗：%1"_s.arg(insert.lastError().text()));
                ok = false;
                break;
            }
            for (const QVariantList &row : seed.rows) {
                for (int c = 0; c < row.size(); ++c)
                    insert.bindValue(c, row.at(c));
                if (!insert.exec()) {
                    SetError(error, u"種子檔 %1：%2"_s.arg(seed.fileName,
                                                           insert.lastError().text()));
                    ok = false;
                    break;
                }
            }
            if (!ok)
                break;
        }
        if (ok && !topics.isEmpty()) {
            QSqlQuery insert(db);
            ok = insert.prepare(
                u"INSERT INTO SYS_Help (helpID, JobScreen, HelpText) VALUES (?, ?, ?)"_s);
            for (const HelpTopic &topic : topics) {
                if (!ok)
                    break;
                insert.bindValue(0, topic.helpId);
                insert.bindValue(1, topic.jobScreen);
                insert.bindValue(2, topic.text);
                ok = insert.exec();
            }
            if (!ok)
                SetError(error, u"說明文字寫入失敗：%1"_s.arg(insert.lastError().text()));
        }
    }
    if (!ok) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        SetError(error, u"無法完成交易：%1"_s.arg(db.lastError().text()));
        db.rollback();
        return false;
    }
    return true;
}

std::filesystem::path FsPath(const QString &path)
{
    return std::filesystem::path(path.toStdU16String());
}

void RemoveTemporary(const QString &tmpPath)
{
    QFile::remove(tmpPath);
    QFile::remove(tmpPath + u"-journal"_s);
}

} // namespace

bool BuildTemplateDatabase(const QString &path, const QString &seedDir, QString *error)
{
    QString helpDir = QDir::cleanPath(QDir(seedDir).absoluteFilePath(u"../help"_s));
    if (!QFileInfo(helpDir).isDir())
        helpDir.clear();
    return BuildTemplateDatabaseFrom(path, seedDir, helpDir, error);
}

bool BuildTemplateDatabaseFrom(const QString &path, const QString &seedDir, const QString &helpDir,
                               QString *error)
{
    if (path.trimmed().isEmpty()) {
        SetError(error, u"未指定範本資料庫檔名"_s);
        return false;
    }

    // Everything is read and checked before a file is touched.
    QList<SeedTable> seeds;
    if (!ReadSeeds(seedDir, &seeds, error))
        return false;
    QList<HelpTopic> topics;
    if (!ReadHelpTopics(helpDir, &topics, error))
        return false;

    const QFileInfo target(path);
    QDir folder = target.absoluteDir();
    if (!folder.exists() && !folder.mkpath(u"."_s)) {
        SetError(error, u"無法建立目錄 %1"_s.arg(QDir::toNativeSeparators(folder.path())));
        return false;
    }
    if (target.isDir()) {
        SetError(error, u"%1 是目錄，不能做為範本資料庫"_s.arg(QDir::toNativeSeparators(path)));
        return false;
    }

    const QString unique = QUuid::createUuid().toString(QUuid::Id128);
    const QString tmpPath =
        folder.filePath(u"."_s + target.fileName() + u'.' + unique + u".tmp"_s);
    const QString connectionName = u"rolvan_template_builder_"_s + unique;

    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connectionName);
        db.setDatabaseName(tmpPath);
        if (!db.open()) {
            SetError(error, u"無法建立資料庫 %1：%2"_s.arg(QDir::toNativeSeparators(tmpPath),
                                                         db.lastError().text()));
        } else {
            ok = Populate(db, seeds, topics, error);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);

    if (!ok) {
        RemoveTemporary(tmpPath);
        return false;
    }

    // Replaces an existing template in one step.
    std::error_code ec;
    std::filesystem::rename(FsPath(tmpPath), FsPath(target.absoluteFilePath()), ec);
    if (ec) {
        SetError(error, u"無法將 %1 改名為 %2：%3"_s.arg(QDir::toNativeSeparators(tmpPath),
                                                      QDir::toNativeSeparators(path),
                                                      QString::fromLocal8Bit(ec.message())));
        RemoveTemporary(tmpPath);
        return false;
    }
    return true;
}
