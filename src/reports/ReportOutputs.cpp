#include "reports/ReportOutputs.h"

#include "Fun/CsvExport.h"
#include "core/DbFunctions.h"
#include "Fun/FileFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "reports/ReportDatasets.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// A column of an output: its title and the dataset column it shows.
struct Column
{
    QString title;
    QString field;
};

// The columns of hours are numbers in the workbooks; every other column (codes, identities,
// dates, times, station numbers, names) is text, so "01" and "082521" stay as they are.
bool IsHoursField(const QString &field)
{
    static const QStringList hours{u"Hours"_s, u"TotHours"_s, u"gHours"_s, u"GHour"_s, u"Score"_s};
    return hours.contains(field);
}

CsvTable TableOf(const QList<QSqlRecord> &records, const QList<Column> &columns)
{
    CsvTable table;
    for (const Column &column : columns) {
        table.titles << column.title;
        table.cells << (IsHoursField(column.field) ? WorkbookCell::Number : WorkbookCell::Text);
    }
    for (const QSqlRecord &record : records) {
        QStringList row;
        row.reserve(columns.size());
        for (const Column &column : columns)
            row << FieldText(record, column.field);
        table.rows << row;
    }
    return table;
}

// The grid of the sign events shows the field names as titles, in this order.
QList<Column> SignEventColumns()
{
    QList<Column> columns;
    for (const QString &name :
         {u"DOOR"_s, u"IDNO"_s, u"IODATE"_s, u"IOTYPE"_s, u"IotypeCal"_s, u"IODateCal"_s,
          u"INDEX_KEY"_s, u"IOTIME"_s, u"IOWAYCal"_s, u"IOWay"_s, u"RID"_s, u"NET"_s, u"Web"_s,
          u"SEATS"_s, u"RID2"_s, u"NTP"_s})
        columns.append({name, name});
    return columns;
}

const QStringList &CourseTitles()
{
    static const QStringList titles{
        u"選必修"_s, u"課程代碼"_s, u"上課日期"_s, u"上課時間"_s, u"下課時間"_s,
        u"核定時數"_s, u"午休起時"_s, u"午休迄時"_s, u"晚休起時"_s, u"晚休迄時"_s,
        u"課程名稱"_s, u"點名1"_s, u"點名2"_s, u"點名3"_s, u"課程備註"_s,
    };
    return titles;
}

QList<Column> WithTitles(const QStringList &titles, const QStringList &fields)
{
    QList<Column> columns;
    for (qsizetype i = 0; i < titles.size(); ++i)
        columns.append({titles.at(i), fields.at(i)});
    return columns;
}

} // namespace

ReportOutputs::ReportOutputs(const TDM &dm)
    : m_dm(&dm)
{
}

QSqlDatabase ReportOutputs::Connection() const
{
    return m_dm->Con1();
}

void ReportOutputs::Activate()
{
    m_classKey = G().CurrentClassKey.trimmed();
    m_settings = ReadReportSettings(m_dm->ConSample());
    const int length = m_settings.CourseNoLength > 0 ? m_settings.CourseNoLength : G().CourseNoLength;
    m_classNumber = length > 0 ? m_classKey.left(length) : m_classKey;

    m_values = {};
    QSqlQuery row = RunQuery(u"select Course, DateStart, DateEnd, TotHours, Place, TimeStart, TimeEnd "
                             "from Courses where trim(CourseId) || Echelon = ? "_s,
                             Connection(), {m_classKey});
    if (row.next()) {
        const auto text = [&row](int column) { return row.value(column).toString().trimmed(); };
        m_values.Course = text(0);
        m_values.DateStart = text(1);
        m_values.DateEnd = text(2);
        m_values.TotHours = text(3);
        m_values.Place = text(4);
        m_values.TimeStart = text(5).left(5);
        m_values.TimeEnd = text(6).left(5);
    }

    ComputeDirectories();
    if (!m_classNumber.isEmpty()) {
        // A folder that cannot be made shows up when an output writes into it.
        ForceDirectoryPath(PicDir);
        ForceDirectoryPath(PdfDir);
    }
}

QString ReportOutputs::Caption()
{
    return u"送署查核資料 版本："_s + G().EditionText + G().VersionText;
}

QString ReportOutputs::SubjectLabel() const
{
    return u"科目："_s + m_values.Course;
}

QString ReportOutputs::DateLabel() const
{
    if (m_values.DateStart == m_values.DateEnd)
        return u"日期："_s + m_values.DateStart;
    return u"日期："_s + m_values.DateStart + u"～"_s + m_values.DateEnd;
}

QString ReportOutputs::ExportDirFor(const QString &pictureFolder, const QString &classNumber)
{
    return JoinPath(pictureFolder, classNumber);
}

QString ReportOutputs::PictureFolder()
{
    const QString folder =
        ReadIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, QString(), QString()).trimmed();
    if (!folder.isEmpty())
        return folder;
    return JoinPath(DefaultDataRoot(), u"查核資料檔案"_s);
}

void ReportOutputs::ComputeDirectories()
{
    // The snapshot sub-folder rule ("課程編號" or "年月") does not change where the report files
    // go: the audit package collects the class folder, so they always belong there.
    ExportDir = ExportDirFor(PictureFolder(), m_classNumber);
    PicDir = JoinPath(ExportDir, u"PIC"_s);
    PdfDir = JoinPath(ExportDir, u"PDF"_s);
}

CsvTable ReportOutputs::SignEventsTable() const
{
    return TableOf(OpenADO_PSIO(Connection(), m_classNumber), SignEventColumns());
}

CsvTable ReportOutputs::CoursesTable() const
{
    const QList<QSqlRecord> lessons = OpenADO_Course(Connection(), m_classKey);
    if (!lessons.isEmpty()) {
        return TableOf(lessons,
                       WithTitles(CourseTitles(),
                                  {u"CNo2"_s, u"CNo4"_s, u"DateStart"_s, u"TimeStart"_s, u"TimeEnd"_s,
                                   u"Hours"_s, u"noonRS"_s, u"noonRE"_s, u"nightRS"_s, u"nightRE"_s,
                                   u"Subject"_s, u"R1"_s, u"R2"_s, u"R3"_s, u"CourseContent"_s}));
    }
    // A class without lessons is described by its own row, its echelon standing in the three
    // roll-call columns.
    const QList<QSqlRecord> classRow = OpenADO_Courses(Connection(), m_classKey, m_settings.ClassPeriods);
    if (classRow.isEmpty())
        return {};
    return TableOf(classRow,
                   WithTitles(CourseTitles(),
                              {u"CNo2"_s, u"CNo4"_s, u"DateStart"_s, u"TimeStart"_s, u"TimeEnd"_s,
                               u"TotHours"_s, u"CalNs"_s, u"CalNe"_s, u"Cal9s"_s, u"Cal9e"_s,
                               u"Course"_s, u"Echelon"_s, u"Echelon"_s, u"Echelon"_s,
                               u"CourseContent"_s}));
}

CsvTable ReportOutputs::HoursPerCourseTable() const
{
    return TableOf(OpenADO_SCORE(Connection()),
                   WithTitles({u"講習編號"_s, u"身分證字號"_s, u"課程科目"_s, u"日期"_s, u"開課起時"_s,
                               u"開課迄時"_s, u"開課時數"_s, u"起時"_s, u"迄時"_s, u"時數"_s,
                               u"必選修"_s, u"課程名稱"_s, u"備註"_s},
                              {u"INDEX_KEY"_s, u"IDNO"_s, u"cno4"_s, u"IODATE"_s, u"TimeStart"_s,
                               u"TimeEnd"_s, u"Hours"_s, u"iTimeCal"_s, u"oTimeCal"_s, u"gHours"_s,
                               u"cno2"_s, u"Subject"_s, u"Memo2"_s}));
}

CsvTable ReportOutputs::PermitHoursTable() const
{
    return TableOf(OpenADO_Booking(Connection(), m_classKey),
                   WithTitles({u"講習編號"_s, u"身分證字號"_s, u"姓名"_s, u"時數"_s, u"選修"_s},
                              {u"CalIndex"_s, u"ID"_s, u"NAME"_s, u"GHour"_s, u"Score"_s}));
}

QString ReportOutputs::SignEventsFile() const
{
    return JoinPath(ExportDir, m_classNumber + u".csv"_s);
}

QString ReportOutputs::CoursesFile() const
{
    return JoinPath(ExportDir, m_classNumber + u"_Course.csv"_s);
}

QString ReportOutputs::HoursPerCourseFile() const
{
    return JoinPath(ExportDir, m_classNumber + u"_HoursPerCourse.csv"_s);
}

QString ReportOutputs::PermitHoursFile() const
{
    return JoinPath(ExportDir, m_classNumber + u"_PermitHours.csv"_s);
}

void ReportOutputs::RequireClass() const
{
    if (m_classNumber.isEmpty())
        throw RolvanError(u"尚未選定講習"_s);
}

QString ReportOutputs::Write(const QString &path, const CsvTable &table)
{
    // The class folder may have gone since the window was activated; it is made again.
    ForceDirectoryPath(ExportDir);
    QString error;
    if (!ExportRowsToCsvFile(path, table.titles, table.rows, u',', &error))
        throw RolvanError(error);
    const QString workbook = WorkbookPathFor(path);
    if (!WriteReportWorkbook(workbook, QFileInfo(path).completeBaseName(), table.titles, table.rows,
                             table.cells, &error))
        throw RolvanError(error);
    return path;
}

QString ReportOutputs::SignEventsCsv()
{
    RequireClass();
    return Write(SignEventsFile(), SignEventsTable());
}

QString ReportOutputs::CoursesCsv()
{
    RequireClass();
    const CsvTable table = CoursesTable();
    if (table.titles.isEmpty())
        return {};
    return Write(CoursesFile(), table);
}

void ReportOutputs::RunHours(bool withTotals, const Progress &progress)
{
    RequireClass();
    HoursRun run(Connection(), m_classKey, m_settings);
    if (progress)
        run.SetProgress(progress);
    run.Run();
    if (withTotals)
        run.ComputeTotals();
    ComputeDirectories();
}

QString ReportOutputs::HoursPerCourseCsv(const Progress &progress)
{
    RunHours(false, progress);
    return WriteHoursPerCourse();
}

QString ReportOutputs::PermitHoursCsv(const Progress &progress)
{
    RunHours(true, progress);
    return WritePermitHours();
}

QString ReportOutputs::WriteHoursPerCourse()
{
    RequireClass();
    return Write(HoursPerCourseFile(), HoursPerCourseTable());
}

QString ReportOutputs::WritePermitHours()
{
    RequireClass();
    return Write(PermitHoursFile(), PermitHoursTable());
}
