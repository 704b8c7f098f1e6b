#pragma once

// Reads back the first sheet of a workbook written by the reports: the archive's parts are
// taken out with `unzip -p`, and the cells of xl/worksheets/sheet1.xml are resolved against
// xl/sharedStrings.xml.

#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

struct WorkbookCellRead
{
    QString type;  // "s" for a shared text, "n" for a number, "inlineStr", "str" (formula result)
    QString value; // the text, or the number as written
    bool formula = false;
};

struct WorkbookRead
{
    bool ok = false;
    QByteArray sheetXml;
    QHash<QString, WorkbookCellRead> cells; // by reference, "A1"
};

inline QByteArray WorkbookPart(const QString &path, const QString &part)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, part});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

inline WorkbookRead ReadWorkbook(const QString &path)
{
    WorkbookRead result;
    QStringList shared;
    {
        QXmlStreamReader xml(WorkbookPart(path, QStringLiteral("xl/sharedStrings.xml")));
        QString current;
        bool inItem = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"si") {
                inItem = true;
                current.clear();
            } else if (xml.isStartElement() && xml.name() == u"t" && inItem) {
                current += xml.readElementText();
            } else if (xml.isEndElement() && xml.name() == u"si") {
                shared << current;
                inItem = false;
            }
        }
    }
    result.sheetXml = WorkbookPart(path, QStringLiteral("xl/worksheets/sheet1.xml"));
    if (result.sheetXml.isEmpty())
        return result;
    QXmlStreamReader xml(result.sheetXml);
    QString ref;
    WorkbookCellRead cell;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"c") {
            ref = xml.attributes().value(QLatin1StringView("r")).toString();
            cell = {};
            cell.type = xml.attributes().value(QLatin1StringView("t")).toString();
            if (cell.type.isEmpty())
                cell.type = QStringLiteral("n");
        } else if (xml.isStartElement() && xml.name() == u"f") {
            cell.formula = true;
        } else if (xml.isStartElement() && (xml.name() == u"v" || xml.name() == u"t")) {
            cell.value = xml.readElementText();
            if (cell.type == u"s")
                cell.value = shared.value(cell.value.toInt());
        } else if (xml.isEndElement() && xml.name() == u"c") {
            result.cells.insert(ref, cell);
        }
    }
    result.ok = !xml.hasError();
    return result;
}
