#pragma once

#include "reports/HoursRun.h"
#include "reports/ReportWorkbook.h"

#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QStringList>

#include <functional>

class TDM;

// What the reports window knows of its class, and its four CSV outputs.
//
// Activate() reads, for the class of G().CurrentClassKey, the report settings, the class row
// values shown and printed, and the output folders, and creates the folders. The outputs then
// write their files into ExportDir:
//
//   "講習期間所有刷卡記錄"   <ClassNumber>.csv                 every sign event of the class number
//   "講習期間所有課程記錄"   <ClassNumber>_Course.csv          the lessons, or the class row
//   "學員各課程核定時數明細" <ClassNumber>_HoursPerCourse.csv  IO_SCORE00 after the hours run
//   "學員講習核定時數清單"   <ClassNumber>_PermitHours.csv     the enrolment rows with their totals
//
// Files are UTF-8 with a byte-order mark, a line of column titles and one line per row (see
// CsvExport.h). A value holding a comma, a quote or a line break is quoted, so a subject such as
// "消防, 急救" keeps its row in one column each; every other value is written as it stands.
// A file is written under a temporary name and renamed when complete; one that cannot be
// written raises RolvanError naming it.
//
// Beside each CSV file goes an Excel workbook of the same titles and rows, <name>.xlsx (see
// ReportWorkbook.h): the hours columns are numbers, every other value is text as it stands.
// The CSV file is written first; a workbook that cannot be written raises RolvanError too.

// The class row values the window shows and the sheets print.
struct ReportClassValues
{
    QString Course;    // class name
    QString DateStart; // "YYYY/MM/DD"
    QString DateEnd;
    QString TotHours;
    QString Place;
    QString TimeStart; // first five characters, "HH:MM"
    QString TimeEnd;

    // "09:00-16:00".
    QString ClassTimeText() const { return TimeStart + QLatin1Char('-') + TimeEnd; }
};

// One CSV file's content: column titles and rows of texts, and for the workbook beside it the
// kind of cell of each column (numbers for the hours columns).
struct CsvTable
{
    QStringList titles;
    QList<QStringList> rows;
    QList<WorkbookCell> cells;
};

class ReportOutputs
{
public:
    // Done of total while the hours run applies the events.
    using Progress = std::function<void(qsizetype done, qsizetype total)>;

    // Reads and writes on the data module's working connection as it is at each call.
    explicit ReportOutputs(const TDM &dm);

    // Reads everything for the class of G().CurrentClassKey: settings (ReadReportSettings), the
    // class values, the folders; creates PicDir and PdfDir (and with them ExportDir).
    void Activate();

    QString classKey() const { return m_classKey; }
    QString classNumber() const { return m_classNumber; }
    const ReportSettings &settings() const { return m_settings; }
    const ReportClassValues &values() const { return m_values; }

    // The window texts: "送署查核資料 版本：" + edition + version; "科目：" + class name;
    // "日期：" + first day, or "日期：" + first day + "～" + last day for a class of several days.
    static QString Caption();
    QString SubjectLabel() const;
    QString DateLabel() const;

    // Output folders: the class folder under the picture folder, and its PIC and PDF folders.
    QString ExportDir;
    QString PicDir;
    QString PdfDir;

    // The class folder of a class number: the picture folder (INI Base/ImageFileLocationPath)
    // and the class number joined with the platform separator. Both snapshot sub-folder rules
    // ("課程編號" and "年月") give this folder, so the report files always land in the class
    // folder the audit package collects, never at a path beginning with a bare separator.
    static QString ExportDirFor(const QString &pictureFolder, const QString &classNumber);
    // The picture folder as the station uses it: the INI value, or the start-up default
    // (<data root>/查核資料檔案) when the value is empty.
    static QString PictureFolder();
    // Reads the folders anew (ExportDir, PicDir, PdfDir); creates nothing.
    void ComputeDirectories();

    // The rows and columns of each output, read now.
    CsvTable SignEventsTable() const;
    // Empty titles when the class has neither lessons nor a class row (no file then).
    CsvTable CoursesTable() const;
    CsvTable HoursPerCourseTable() const;
    CsvTable PermitHoursTable() const;

    // File names in ExportDir.
    QString SignEventsFile() const;
    QString CoursesFile() const;
    QString HoursPerCourseFile() const;
    QString PermitHoursFile() const;

    // The four outputs. Each returns the CSV file it wrote (its workbook is
    // WorkbookPathFor(file)) (CoursesCsv: empty when there was
    // nothing to write) and raises RolvanError when no class is chosen or the file cannot be
    // written. The two hours outputs run the hours computation first (HoursRun::Run; the list
    // also HoursRun::ComputeTotals), reporting its progress, then read the folders anew.
    QString SignEventsCsv();
    QString CoursesCsv();
    QString HoursPerCourseCsv(const Progress &progress = {});
    QString PermitHoursCsv(const Progress &progress = {});

    // The export halves of the two hours outputs, on the work tables as they are.
    QString WriteHoursPerCourse();
    QString WritePermitHours();

private:
    void RequireClass() const;
    QString Write(const QString &path, const CsvTable &table);
    void RunHours(bool withTotals, const Progress &progress);
    QSqlDatabase Connection() const;

    const TDM *m_dm;
    QString m_classKey;
    QString m_classNumber;
    ReportSettings m_settings;
    ReportClassValues m_values;
};
