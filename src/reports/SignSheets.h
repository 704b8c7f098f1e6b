#pragma once

#include "reportengine/ReportEngine.h"
#include "reports/SheetData.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>

#include <array>
#include <functional>

class ReportOutputs;

// The three sign-in sheets of a lesson: with snapshots ("照片"), plain ("簡式") and of the roll
// calls ("點名"). Each template is built in one function from plain values; the sheet's frame
// then fills the header, chooses the page columns and shows or moves the groups of the lesson's
// event kinds, and the row script of the template formats each person's row.
//
// Every text prints in ReportKaiFamily() ("標楷體"), so the PDF files stay searchable. All
// lengths are in millimetres; the paper is A4 portrait with margins of 7 mm left and right and
// 10 mm top and bottom.

enum class SignSheetKind {
    Photo, // "講習課程簽到單(照片)"
    Simple, // "講習課程簽到單(簡式)"
    RollCall // "講習課程簽到單(點名)"
};

// ---- Rules ----------------------------------------------------------------------------------

// Page columns of the photo and simple sheets: six event kinds give 1, four give 2, two give 3,
// any other number of "1" characters in SheetSignType keeps 1.
int SheetPageColumns(const QString &signType);
// Page columns of the roll-call sheet: three ":" in RollCallText (three roll calls) give 2, two
// give 3, one gives 4, anything else keeps 1.
int RollCallPageColumns(const QString &rollCallText);

// "*****" followed by characters 6 to 10 of the identity; "講師" followed by the same five for
// a person whose JOBTYPE is "講師": A123456789 prints as *****56789 or 講師56789.
QString MaskedSheetIdentity(const QString &id, const QString &jobType);

// "HH:MM" from the first four digits of a time text ("085512" prints 08:55); a text of fewer
// than four characters prints empty.
QString SheetClockText(const QString &time);

// The PDF file of a sheet: in pdfDir, the full lesson key with every ":" removed, "_", the
// sheet date, PP and the suffix ("Pic.pdf" for the photo sheet, ".pdf" for the others), for
// example 11300001201A1010900_1130905(四)點名.pdf. A character that would lead out of pdfDir or
// that file systems refuse ("/", "\\", "*", "?", ...) becomes "_".
QString SheetPdfFileName(const QString &pdfDir, const QString &fullKey, const QString &sheetDate,
    const QString &pp, const QString &suffix);
// The suffix of a sheet's PDF file.
QString SheetPdfSuffix(SignSheetKind kind);

// Group widths and the narrowest lead cells (the person columns before the groups).
inline constexpr qreal PhotoGroupWidth = 40; // sign-in picture, times, sign-out picture
inline constexpr qreal SimpleGroupWidth = 32; // late mark, sign-in, sign-out, early mark
inline constexpr qreal RollCallColumnWidth = 16; // one roll-call picture
inline constexpr qreal RollCallTimesWidth = 14; // "點名簽到": the roll-call times
inline constexpr qreal SheetColumnGap = 2; // free space at the right of each page column

// Where the parts of a sheet go in one page column.
struct SignSheetPlan
{
    int pageColumns = 1;
    qreal columnWidth = 0; // the printable width divided by the page columns
    qreal leadWidth = 0; // the person cells before the groups (with the times on the roll call)
    // Photo and simple sheets: morning, afternoon and evening group; roll-call sheet: the
    // morning, afternoon and evening roll-call picture columns.
    std::array<bool, 3> groupVisible {};
    std::array<qreal, 3> groupLeft {}; // from the page column's left edge, for the visible ones
    bool morningSignOutPicture = true; // photo sheet: SheetSignType character 2
};

// The plan of a sheet:
//   - photo and simple sheets: the morning group shows when character 1 of SheetSignType is "1",
//     the afternoon group when character 3 is, the evening group when character 5 is; the page
//     columns come from SheetPageColumns;
//   - roll-call sheet: the roll-call columns show by RollCallMask positions 1 to 3; the page
//     columns come from RollCallPageColumns;
//   - each shown group sits directly right of the previous shown one, the first right of the
//     lead cells, which take the room the groups leave (up to a readable maximum).
// A sign type whose groups would not fit the page column of the rule (for example "101011":
// three groups in two columns) gets fewer page columns, so that no group runs into the next
// column.
SignSheetPlan PlanSignSheet(SignSheetKind kind, const QString &signType,
    const QString &rollCallMask, const QString &rollCallText);

// The header texts of a sheet (the values only; the labels belong to the template).
struct SignSheetHeader
{
    QString Title; // "講習課程簽到單(照片)", ...
    QString Organiser; // "主辦單位：" + OrganisationName
    QString ClassKey; // 講習編號
    QString SheetDate; // 日期
    QString ClassTime; // 時間: start "-" end of the chosen lesson, or of the class row
    QString Subject; // 課程名稱: lesson Subject, or the class name
    QString Hours; // 時數: lesson Hours, or TotHours (not on the roll-call sheet)
    QString Expected; // 應到
    QString Present; // 實到 (not on the roll-call sheet)
    QString Absent; // 缺席 (not on the roll-call sheet)
    // 早點, 午點, 晚點 (roll-call sheet only): each filled only when the lesson has that roll call.
    QString MorningRollCalls;
    QString AfternoonRollCalls;
    QString EveningRollCalls;
    QString Place; // 上課地點: the class's Place
    QString CourseContent; // 課程備註: CourseContent of the lesson, or of the class row
    QString RollCallText; // 點名時間
};
QString SignSheetTitle(SignSheetKind kind);
SignSheetHeader SignSheetHeaderValues(
    SignSheetKind kind, const SheetData &data, const QString &organisationName);

// ---- Templates ------------------------------------------------------------------------------

// The templates with every group shown in its first position and one page column. Header
// objects: Title, Organiser, ClassKey, SheetDate, ClassTime, Subject, Hours, Expected, Present,
// Absent, MorningRollCalls, AfternoonRollCalls, EveningRollCalls, Place, CourseContent,
// RollCallText (each with a label object named <name>Label). Script variables: "imagePath"
// (the picture folder with a trailing separator), "imagePath2" (a second folder looked in when
// the first does not hold a snapshot; may be empty) and "noSign" (the placeholder picture).
ReportTemplate PhotoSheetTemplate();
ReportTemplate SimpleSheetTemplate();
ReportTemplate RollCallSheetTemplate();
ReportTemplate SignSheetTemplate(SignSheetKind kind);

// Sets the header texts, page columns, lead width and the visibility and left positions of the
// groups of a template made by SignSheetTemplate(kind).
void ApplySignSheetHeader(ReportTemplate &sheet, SignSheetKind kind, const SignSheetHeader &header);
void ApplySignSheetPlan(ReportTemplate &sheet, SignSheetKind kind, const SignSheetPlan &plan);

// ---- The sheet after the course choice ------------------------------------------------------

// A sheet ready to preview and export, or the message that stops it.
struct SignSheetOutput
{
    QString Message; // not empty: the sheet stops here with this message (no preview, no PDF)
    SheetData Data;
    ReportTemplate Template;
    ReportLayout Layout;
    QString PdfFileName;
};

// Where a sheet reads its pictures and writes its PDF.
struct SignSheetPlaces
{
    QString PicDir; // the class's picture folder; imagePath is it with a separator
    QString PdfDir;
    QString YearMonthDir; // where the station keeps snapshots by ROC year and month (may be empty)
    QString NoSignFile; // the placeholder picture (programDir() + "NoSign.jpg")
    QString OrganisationName;
};
// The places of the reports window's class: its PicDir and PdfDir, the year-and-month folder of
// a date (ROC "YYYMMDD") under the picture folder, NoSign.jpg in G().programDir() and
// G().OrganisationName.
SignSheetPlaces SignSheetPlacesOf(const ReportOutputs &outputs, const QString &rocDate);

// Builds the sheet data of the class on db (BuildSheetData: a cancelled choice throws SilentAbort),
// stops a roll-call sheet of a class without lessons with "點名作業 需有設定課程明細", reads
// the rows (OpenADOBooking), fills the template and lays it out. pp is appended to the PDF name.
SignSheetOutput PrepareSignSheet(QSqlDatabase db, SignSheetKind kind, const QString &classKey,
    const SheetChoice &choice, const ReportSettings &settings, bool photoOn,
    const std::function<SignSheetPlaces(const SheetData &)> &places, const QString &pp,
    const std::function<void(qsizetype, qsizetype)> &progress = {});

// The message of a roll-call sheet for a class without lessons.
QString RollCallNeedsLessonsMessage();
