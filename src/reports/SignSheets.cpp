#include "reports/SignSheets.h"

#include "Fun/IdentityNumber.h"
#include "base/Globals.h"
#include "reports/ReportOutputs.h"

#include <QDir>
#include <QPageSize>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The three groups of a row, by part of the day: object-name prefix, the caption over the group
// and the suffix of the dataset columns ("iTime", "iTime2", "iTime3").
struct Part
{
    const char16_t *prefix;
    const char16_t *caption;
    const char16_t *suffix;
};
constexpr Part Parts[3] = {
    { u"Am", u"上午", u"" },
    { u"Pm", u"下午", u"2" },
    { u"Ev", u"晚上", u"3" },
};
constexpr const char16_t *RollCallHeads[3] = { u"早點影像", u"午點影像", u"晚點影像" };
constexpr const char16_t *RollCallShort[3] = { u"早", u"午", u"晚" };

QString Prefix(int part) { return QString::fromUtf16(Parts[part].prefix); }
QString Suffix(int part) { return QString::fromUtf16(Parts[part].suffix); }

// The width inside the margins of A4 portrait.
qreal PrintableWidth()
{
    return QPageSize(QPageSize::A4).size(QPageSize::Millimeter).width() - 7 - 7;
}

// The narrowest and widest lead cells of each sheet and the width of one group.
struct SheetMeasures
{
    qreal groupWidth;
    qreal leadMin;
    qreal leadMax;
};
SheetMeasures MeasuresOf(SignSheetKind kind)
{
    switch (kind) {
    case SignSheetKind::Photo:
        return { PhotoGroupWidth, 16, 40 };
    case SignSheetKind::Simple:
        return { SimpleGroupWidth, 30, 60 };
    case SignSheetKind::RollCall:
        break;
    }
    return { RollCallColumnWidth, RollCallTimesWidth + 16, RollCallTimesWidth + 40 };
}

// Simple sheet: the identity cell before the name.
constexpr qreal SimpleIdWidth = 17;

constexpr Qt::Alignment Centre = Qt::AlignCenter;
constexpr Qt::Alignment Left = Qt::AlignLeft | Qt::AlignVCenter;

ReportFont Kai(qreal pointSize)
{
    return ReportFont { .family = ReportKaiFamily(), .pointSize = pointSize, .bold = false };
}

ReportObject TextCell(const QString &name, const QRectF &rect, const QString &text, qreal pointSize,
    Qt::Alignment alignment = Centre, ReportFrames frame = FrameAll)
{
    ReportObject o;
    o.name = name;
    o.rect = rect;
    o.text = text;
    o.font = Kai(pointSize);
    o.alignment = alignment;
    o.frame = frame;
    o.shrinkToFit = true;
    return o;
}

ReportObject PictureCell(const QString &name, const QRectF &rect)
{
    ReportObject o;
    o.name = name;
    o.kind = ReportObjectKind::Picture;
    o.rect = rect;
    o.frame = FrameAll;
    return o;
}

ReportObject Box(const QString &name, const QRectF &rect)
{
    ReportObject o;
    o.name = name;
    o.rect = rect;
    o.frame = FrameAll;
    return o;
}

// The title band of every sheet: the title, the organiser and a ruled table of the class and
// lesson values; the roll-call sheet shows its roll-call counts in place of the hours and the
// present and absent counts.
void AddHeader(ReportTemplate &t, SignSheetKind kind)
{
    const bool rollCall = kind == SignSheetKind::RollCall;
    constexpr qreal h = 7; // one table row
    constexpr qreal size = 10; // header texts
    ReportBand &b = t.title;
    b.height = 58;
    b.objects.clear();
    b.add(TextCell(u"Title"_s, { 0, 0, 196, 10 }, SignSheetTitle(kind), 18, Centre, FrameNone));
    b.add(TextCell(u"Organiser"_s, { 0, 10, 196, 6 }, u"主辦單位："_s, size, Left, FrameNone));

    auto pair = [&](const QString &name, const QString &label, qreal x, qreal y, qreal labelWidth,
                    qreal valueWidth, qreal height = 7) {
        b.add(TextCell(name + u"Label"_s, { x, y, labelWidth, height }, label, size));
        ReportObject &value = b.add(
            TextCell(name, { x + labelWidth, y, valueWidth, height }, QString(), size, Left));
        return &value;
    };
    qreal y = 17;
    pair(u"ClassKey"_s, u"講習編號"_s, 0, y, 20, 44);
    pair(u"SheetDate"_s, u"日期"_s, 64, y, 14, 40);
    pair(u"ClassTime"_s, u"時間"_s, 118, y, 14, 64);
    y += h;
    pair(u"Subject"_s, u"課程名稱"_s, 0, y, 20, rollCall ? 176 : 128);
    pair(u"Hours"_s, u"時數"_s, 148, y, 14, 34);
    y += h;
    pair(u"Expected"_s, u"應到"_s, 0, y, 20, rollCall ? 29 : 44);
    pair(u"Present"_s, u"實到"_s, 64, y, 14, 40);
    pair(u"Absent"_s, u"缺席"_s, 118, y, 14, 64);
    pair(u"MorningRollCalls"_s, u"早點"_s, 49, y, 20, 29);
    pair(u"AfternoonRollCalls"_s, u"午點"_s, 98, y, 20, 29);
    pair(u"EveningRollCalls"_s, u"晚點"_s, 147, y, 20, 29);
    y += h;
    pair(u"Place"_s, u"上課地點"_s, 0, y, 20, 98);
    pair(u"RollCallText"_s, u"點名時間"_s, 118, y, 20, 58);
    y += h;
    ReportObject *content = pair(u"CourseContent"_s, u"課程備註"_s, 0, y, 20, 176, 10);
    content->wordWrap = true;
    content->alignment = Qt::AlignLeft | Qt::AlignTop;

    const QStringList photoSimpleOnly { u"Hours"_s, u"Present"_s, u"Absent"_s };
    const QStringList rollCallOnly { u"MorningRollCalls"_s, u"AfternoonRollCalls"_s,
        u"EveningRollCalls"_s };
    for (const QString &name : photoSimpleOnly) {
        t.setVisible(name, !rollCall);
        t.setVisible(name + u"Label"_s, !rollCall);
    }
    for (const QString &name : rollCallOnly) {
        t.setVisible(name, rollCall);
        t.setVisible(name + u"Label"_s, rollCall);
    }
}

void AddFooter(ReportTemplate &t)
{
    t.pageFooter.height = 6;
    t.pageFooter.objects = {
        TextCell(u"PageNo"_s, { 0, 1, 196, 5 }, u"Page: [Page]"_s, 9, Centre, FrameNone),
    };
}

// The person cells of the photo and roll-call sheets: name, masked identity and mobile number
// in three lines of a framed cell.
void AddPersonCells(ReportTemplate &t, qreal width, qreal rowHeight)
{
    const qreal line = rowHeight / 3;
    t.masterData.add(
        TextCell(u"PersonName"_s, { 0, 0, width, line }, QString(), 8, Centre, FrameNone));
    t.masterData.add(
        TextCell(u"PersonId"_s, { 0, line, width, line }, QString(), 7, Centre, FrameNone));
    t.masterData.add(
        TextCell(u"PersonMobile"_s, { 0, 2 * line, width, line }, QString(), 7, Centre, FrameNone));
    t.masterData.add(Box(u"PersonBox"_s, { 0, 0, width, rowHeight }));
}

// "姓名身分證電話" over the person cells, one line for each line of the cells below.
QString PersonHeadText() { return u"姓名\n身分證\n電話"_s; }

// Row script helpers.
void SetPersonTexts(ReportRowContext &row, bool withMobile)
{
    row.setText(u"PersonName"_s, row.text(u"NAME"_s).trimmed());
    row.setText(u"PersonId"_s, MaskedSheetIdentity(row.text(u"ID"_s), row.text(u"JOBTYPE"_s)));
    if (withMobile)
        row.setText(u"PersonMobile"_s, row.text(u"Mobile"_s).trimmed());
}

// A picture cell: the placeholder first, replaced by the snapshot when its time is not empty
// and the file can be read (in the picture folder, else in the second folder).
void ShowSnapshot(
    ReportRowContext &row, const QString &object, const QString &time, const QString &file)
{
    if (!row.object(object).visible)
        return;
    row.setPicture(object, row.variable(u"noSign"_s).toString());
    const QString name = file.trimmed();
    if (time.trimmed().isEmpty() || name.isEmpty())
        return;
    if (row.setPicture(object, row.variable(u"imagePath"_s).toString() + name))
        return;
    const QString second = row.variable(u"imagePath2"_s).toString();
    if (!second.isEmpty())
        row.setPicture(object, second + name);
}

// Moves the objects of a group (name prefix) in the column header and the rows so that its
// anchor object starts at left.
void MoveGroup(ReportTemplate &t, const QString &prefix, const QString &anchor, qreal left)
{
    const qreal delta = left - t.object(anchor).rect.left();
    for (ReportBand *band : { &t.columnHeader, &t.masterData }) {
        for (ReportObject &o : band->objects) {
            if (o.name.startsWith(prefix))
                o.rect.translate(delta, 0);
        }
    }
}

void ShowGroup(ReportTemplate &t, const QString &prefix, bool visible)
{
    for (ReportBand *band : { &t.columnHeader, &t.masterData }) {
        for (ReportObject &o : band->objects) {
            if (o.name.startsWith(prefix))
                o.visible = visible;
        }
    }
}

void SetWidth(ReportTemplate &t, const QString &name, qreal width)
{
    t.object(name).rect.setWidth(width);
}

} // namespace

// ---- Rules ----------------------------------------------------------------------------------

int SheetPageColumns(const QString &signType)
{
    switch (signType.count(u'1')) {
    case 6:
        return 1;
    case 4:
        return 2;
    case 2:
        return 3;
    default:
        return 1;
    }
}

int RollCallPageColumns(const QString &rollCallText)
{
    switch (rollCallText.count(u':')) {
    case 3:
        return 2;
    case 2:
        return 3;
    case 1:
        return 4;
    default:
        return 1;
    }
}

QString MaskedSheetIdentity(const QString &id, const QString &jobType)
{
    return jobType.trimmed() == u"講師" ? u"講師"_s + id.mid(5, 5) : MaskedIdentity(id);
}

QString SheetClockText(const QString &time)
{
    const QString t = time.trimmed();
    if (t.size() < 4)
        return QString();
    return t.left(2) + u':' + t.mid(2, 2);
}

QString SheetPdfFileName(const QString &pdfDir, const QString &fullKey, const QString &sheetDate,
    const QString &pp, const QString &suffix)
{
    QString key = fullKey;
    key.remove(u':');
    // Keys come from the training agency's data: a character that separates folders or that file
    // systems refuse becomes "_", so the sheet always lands in pdfDir.
    QString name = key + u'_' + sheetDate + pp + suffix;
    for (QChar &c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<'
            || c == u'>' || c == u'|' || c.unicode() < 0x20)
            c = u'_';
    }
    return JoinPath(pdfDir, name);
}

QString SheetPdfSuffix(SignSheetKind kind)
{
    return kind == SignSheetKind::Photo ? u"Pic.pdf"_s : u".pdf"_s;
}

SignSheetPlan PlanSignSheet(SignSheetKind kind, const QString &signType,
    const QString &rollCallMask, const QString &rollCallText)
{
    const SheetMeasures m = MeasuresOf(kind);
    const bool rollCall = kind == SignSheetKind::RollCall;
    SignSheetPlan plan;
    for (int k = 0; k < 3; ++k) {
        plan.groupVisible[k]
            = rollCall ? rollCallMask.mid(k, 1) == u"1" : signType.mid(2 * k, 1) == u"1";
    }
    plan.morningSignOutPicture = signType.mid(1, 1) == u"1";
    const int shown = int(std::count(plan.groupVisible.begin(), plan.groupVisible.end(), true));

    const qreal width = PrintableWidth();
    int columns = rollCall ? RollCallPageColumns(rollCallText) : SheetPageColumns(signType);
    auto gap = [](int n) { return n > 1 ? SheetColumnGap : 0.0; };
    // Groups that would run into the next page column take fewer, wider columns.
    while (columns > 1 && width / columns - gap(columns) < m.leadMin + shown * m.groupWidth)
        --columns;
    plan.pageColumns = columns;
    plan.columnWidth = width / columns;
    plan.leadWidth
        = std::clamp(plan.columnWidth - gap(columns) - shown * m.groupWidth, m.leadMin, m.leadMax);

    qreal x = plan.leadWidth;
    for (int k = 0; k < 3; ++k) {
        plan.groupLeft[k] = x;
        if (plan.groupVisible[k])
            x += m.groupWidth;
    }
    return plan;
}

QString SignSheetTitle(SignSheetKind kind)
{
    switch (kind) {
    case SignSheetKind::Photo:
        return u"講習課程簽到單(照片)"_s;
    case SignSheetKind::Simple:
        return u"講習課程簽到單(簡式)"_s;
    case SignSheetKind::RollCall:
        break;
    }
    return u"講習課程簽到單(點名)"_s;
}

SignSheetHeader SignSheetHeaderValues(
    SignSheetKind kind, const SheetData &d, const QString &organisationName)
{
    const auto text = [](const QSqlRecord &record, const QString &field) {
        const int i = record.indexOf(field);
        return i < 0 ? QString() : record.value(i).toString().trimmed();
    };
    // The chosen lesson when there is one, else the class row.
    const bool lesson = !d.ChosenLesson.isEmpty();
    const QSqlRecord &source = lesson ? d.ChosenLesson : d.ClassRow;

    SignSheetHeader h;
    h.Title = SignSheetTitle(kind);
    h.Organiser = u"主辦單位："_s + organisationName;
    h.ClassKey = d.ClassKey;
    h.SheetDate = d.SheetDate;
    h.ClassTime = text(source, u"TimeStart"_s).left(5) + u'-' + text(source, u"TimeEnd"_s).left(5);
    h.Subject = lesson ? text(source, u"Subject"_s) : text(d.ClassRow, u"Course"_s);
    h.Hours = lesson ? text(source, u"Hours"_s) : text(d.ClassRow, u"TotHours"_s);
    h.Expected = QString::number(d.Expected);
    h.Present = QString::number(d.Present);
    h.Absent = QString::number(d.Absent);
    const auto rollCount = [&d](int k, int count) {
        return d.RollCallMask.mid(k, 1) == u"1" ? QString::number(count) : QString();
    };
    h.MorningRollCalls = rollCount(0, d.MorningRollCalls);
    h.AfternoonRollCalls = rollCount(1, d.AfternoonRollCalls);
    h.EveningRollCalls = rollCount(2, d.EveningRollCalls);
    h.Place = text(d.ClassRow, u"Place"_s);
    h.CourseContent = text(source, u"CourseContent"_s);
    h.RollCallText = d.RollCallText;
    return h;
}

// ---- Templates ------------------------------------------------------------------------------

ReportTemplate PhotoSheetTemplate()
{
    constexpr qreal lead = 18;
    constexpr qreal rowHeight = 12;
    constexpr qreal pic = 14; // a picture cell; a 4:3 snapshot prints 14 x 10.5 mm
    constexpr qreal mid = 12; // marks and times
    ReportTemplate t;
    t.name = SignSheetTitle(SignSheetKind::Photo);
    AddHeader(t, SignSheetKind::Photo);

    t.columnHeader.height = 11;
    t.columnHeader.add(TextCell(u"HeadPerson"_s, { 0, 0, lead, 11 }, PersonHeadText(), 7));
    t.masterData.height = rowHeight;
    AddPersonCells(t, lead, rowHeight);
    for (int k = 0; k < 3; ++k) {
        const QString p = Prefix(k);
        const qreal x = lead + k * PhotoGroupWidth;
        t.columnHeader.objects << TextCell(p + u"HeadPart"_s, { x, 0, PhotoGroupWidth, 4 },
            QString::fromUtf16(Parts[k].caption), 7)
                               << TextCell(p + u"HeadIn"_s, { x, 4, pic, 7 }, u"簽到影像"_s, 7)
                               << TextCell(
                                      p + u"HeadTimes"_s, { x + pic, 4, mid, 7 }, u"簽到退"_s, 7)
                               << TextCell(p + u"HeadOut"_s, { x + pic + mid, 4, pic, 7 },
                                      u"簽退影像"_s, 7);
        const qreal line = rowHeight / 4;
        t.masterData.objects << PictureCell(p + u"PicIn"_s, { x, 0, pic, rowHeight })
                             << TextCell(p + u"Late"_s, { x + pic, 0, mid, line }, QString(), 6.5,
                                    Centre, FrameNone)
                             << TextCell(p + u"In"_s, { x + pic, line, mid, line }, QString(), 7,
                                    Centre, FrameNone)
                             << TextCell(p + u"Out"_s, { x + pic, 2 * line, mid, line }, QString(),
                                    7, Centre, FrameNone)
                             << TextCell(p + u"Early"_s, { x + pic, 3 * line, mid, line },
                                    QString(), 6.5, Centre, FrameNone)
                             << Box(p + u"Box"_s, { x + pic, 0, mid, rowHeight })
                             << PictureCell(p + u"PicOut"_s, { x + pic + mid, 0, pic, rowHeight });
    }
    AddFooter(t);

    t.setVariable(u"imagePath"_s, QString());
    t.setVariable(u"imagePath2"_s, QString());
    t.setVariable(u"noSign"_s, QString());
    t.onRow = [](ReportRowContext &row) {
        SetPersonTexts(row, true);
        for (int k = 0; k < 3; ++k) {
            const QString p = Prefix(k);
            const QString s = Suffix(k);
            const QString in = row.text(u"iTime"_s + s);
            const QString out = row.text(u"oTime"_s + s);
            row.setText(p + u"Late"_s, row.text(u"iStat"_s + s).trimmed());
            row.setText(p + u"In"_s, SheetClockText(in));
            row.setText(p + u"Out"_s, SheetClockText(out));
            row.setText(p + u"Early"_s, row.text(u"oStat"_s + s).trimmed());
            ShowSnapshot(row, p + u"PicIn"_s, in, row.text(u"ipic"_s + s));
            ShowSnapshot(row, p + u"PicOut"_s, out, row.text(u"opic"_s + s));
        }
    };
    return t;
}

ReportTemplate SimpleSheetTemplate()
{
    constexpr qreal lead = 33;
    constexpr qreal rowHeight = 7;
    constexpr qreal mark = 7;
    constexpr qreal time = 9;
    ReportTemplate t;
    t.name = SignSheetTitle(SignSheetKind::Simple);
    AddHeader(t, SignSheetKind::Simple);

    t.columnHeader.height = 10;
    t.columnHeader.objects << TextCell(u"HeadId"_s, { 0, 0, SimpleIdWidth, 10 }, u"身分證"_s,
        9) << TextCell(u"HeadName"_s, { SimpleIdWidth, 0, lead - SimpleIdWidth, 10 }, u"姓名"_s, 9);
    t.masterData.height = rowHeight;
    t.masterData.objects << TextCell(
        u"PersonId"_s, { 0, 0, SimpleIdWidth, rowHeight }, QString(), 8)
                         << TextCell(u"PersonName"_s,
                                { SimpleIdWidth, 0, lead - SimpleIdWidth, rowHeight }, QString(),
                                9);
    for (int k = 0; k < 3; ++k) {
        const QString p = Prefix(k);
        const qreal x = lead + k * SimpleGroupWidth;
        const qreal half = SimpleGroupWidth / 2;
        t.columnHeader.objects << TextCell(p + u"HeadPart"_s, { x, 0, SimpleGroupWidth, 4 },
            QString::fromUtf16(Parts[k].caption), 7)
                               << TextCell(p + u"HeadIn"_s, { x, 4, half, 6 }, u"簽到"_s, 9)
                               << TextCell(
                                      p + u"HeadOut"_s, { x + half, 4, half, 6 }, u"簽退"_s, 9);
        t.masterData.objects << TextCell(
            p + u"Late"_s, { x, 0, mark, rowHeight }, QString(), 7, Centre, FrameNone)
                             << TextCell(p + u"In"_s, { x + mark, 0, time, rowHeight }, QString(),
                                    8, Centre, FrameNone)
                             << Box(p + u"InBox"_s, { x, 0, half, rowHeight })
                             << TextCell(p + u"Out"_s, { x + half, 0, time, rowHeight }, QString(),
                                    8, Centre, FrameNone)
                             << TextCell(p + u"Early"_s, { x + half + time, 0, mark, rowHeight },
                                    QString(), 7, Centre, FrameNone)
                             << Box(p + u"OutBox"_s, { x + half, 0, half, rowHeight });
    }
    AddFooter(t);

    t.onRow = [](ReportRowContext &row) {
        SetPersonTexts(row, false);
        for (int k = 0; k < 3; ++k) {
            const QString p = Prefix(k);
            const QString s = Suffix(k);
            row.setText(p + u"Late"_s, row.text(u"iStat"_s + s).trimmed());
            row.setText(p + u"In"_s, SheetClockText(row.text(u"iTime"_s + s)));
            row.setText(p + u"Out"_s, SheetClockText(row.text(u"oTime"_s + s)));
            row.setText(p + u"Early"_s, row.text(u"oStat"_s + s).trimmed());
        }
    };
    return t;
}

ReportTemplate RollCallSheetTemplate()
{
    constexpr qreal person = 19;
    constexpr qreal rowHeight = 12;
    ReportTemplate t;
    t.name = SignSheetTitle(SignSheetKind::RollCall);
    AddHeader(t, SignSheetKind::RollCall);

    constexpr qreal headHeight = 10;
    t.columnHeader.height = headHeight;
    t.columnHeader.add(
        TextCell(u"HeadPerson"_s, { 0, 0, person, headHeight }, PersonHeadText(), 7));
    t.columnHeader.add(
        TextCell(u"HeadTimes"_s, { person, 0, RollCallTimesWidth, headHeight }, u"點名簽到"_s, 7));
    t.masterData.height = rowHeight;
    AddPersonCells(t, person, rowHeight);
    const qreal line = rowHeight / 3;
    for (int k = 0; k < 3; ++k) {
        t.masterData.add(TextCell(u"RollTime%1"_s.arg(k + 1),
            { person, k * line, RollCallTimesWidth, line }, QString(), 7, Centre, FrameNone));
    }
    t.masterData.add(Box(u"TimesBox"_s, { person, 0, RollCallTimesWidth, rowHeight }));
    const qreal lead = person + RollCallTimesWidth;
    for (int k = 0; k < 3; ++k) {
        const QString p = Prefix(k);
        const qreal x = lead + k * RollCallColumnWidth;
        ReportObject &h = t.columnHeader.add(TextCell(p + u"RollHead"_s,
            { x, 0, RollCallColumnWidth, headHeight }, QString::fromUtf16(RollCallHeads[k]), 7));
        h.wordWrap = true;
        t.masterData.add(PictureCell(p + u"RollPic"_s, { x, 0, RollCallColumnWidth, rowHeight }));
    }
    AddFooter(t);

    t.setVariable(u"imagePath"_s, QString());
    t.setVariable(u"imagePath2"_s, QString());
    t.setVariable(u"noSign"_s, QString());
    t.onRow = [](ReportRowContext &row) {
        SetPersonTexts(row, true);
        for (int k = 0; k < 3; ++k) {
            const QString n = QString::number(k + 1);
            const QString time = row.text(u"pTime"_s + n);
            const QString clock = SheetClockText(time);
            row.setText(u"RollTime"_s + n,
                clock.isEmpty() ? QString() : QString::fromUtf16(RollCallShort[k]) + u' ' + clock);
            ShowSnapshot(row, Prefix(k) + u"RollPic"_s, time, row.text(u"ppic"_s + n));
        }
    };
    return t;
}

ReportTemplate SignSheetTemplate(SignSheetKind kind)
{
    switch (kind) {
    case SignSheetKind::Photo:
        return PhotoSheetTemplate();
    case SignSheetKind::Simple:
        return SimpleSheetTemplate();
    case SignSheetKind::RollCall:
        break;
    }
    return RollCallSheetTemplate();
}

void ApplySignSheetHeader(ReportTemplate &t, SignSheetKind kind, const SignSheetHeader &h)
{
    t.name = h.Title;
    t.setText(u"Title"_s, h.Title);
    t.setText(u"Organiser"_s, h.Organiser);
    t.setText(u"ClassKey"_s, h.ClassKey);
    t.setText(u"SheetDate"_s, h.SheetDate);
    t.setText(u"ClassTime"_s, h.ClassTime);
    t.setText(u"Subject"_s, h.Subject);
    t.setText(u"Expected"_s, h.Expected);
    t.setText(u"Place"_s, h.Place);
    t.setText(u"CourseContent"_s, h.CourseContent);
    t.setText(u"RollCallText"_s, h.RollCallText);
    if (kind == SignSheetKind::RollCall) {
        t.setText(u"MorningRollCalls"_s, h.MorningRollCalls);
        t.setText(u"AfternoonRollCalls"_s, h.AfternoonRollCalls);
        t.setText(u"EveningRollCalls"_s, h.EveningRollCalls);
    } else {
        t.setText(u"Hours"_s, h.Hours);
        t.setText(u"Present"_s, h.Present);
        t.setText(u"Absent"_s, h.Absent);
    }
}

void ApplySignSheetPlan(ReportTemplate &t, SignSheetKind kind, const SignSheetPlan &plan)
{
    t.columns = plan.pageColumns;
    switch (kind) {
    case SignSheetKind::Photo:
        for (const QString &name :
            { u"HeadPerson"_s, u"PersonName"_s, u"PersonId"_s, u"PersonMobile"_s, u"PersonBox"_s })
            SetWidth(t, name, plan.leadWidth);
        break;
    case SignSheetKind::Simple:
        SetWidth(t, u"HeadName"_s, plan.leadWidth - SimpleIdWidth);
        SetWidth(t, u"PersonName"_s, plan.leadWidth - SimpleIdWidth);
        break;
    case SignSheetKind::RollCall: {
        const qreal person = plan.leadWidth - RollCallTimesWidth;
        for (const QString &name :
            { u"HeadPerson"_s, u"PersonName"_s, u"PersonId"_s, u"PersonMobile"_s, u"PersonBox"_s })
            SetWidth(t, name, person);
        for (const QString &name :
            { u"HeadTimes"_s, u"RollTime1"_s, u"RollTime2"_s, u"RollTime3"_s, u"TimesBox"_s })
            t.setLeft(name, person);
        break;
    }
    }
    for (int k = 0; k < 3; ++k) {
        const QString p = Prefix(k);
        const QString anchor
            = p + (kind == SignSheetKind::RollCall ? u"RollHead"_s : u"HeadPart"_s);
        ShowGroup(t, p, plan.groupVisible[k]);
        if (plan.groupVisible[k])
            MoveGroup(t, p, anchor, plan.groupLeft[k]);
    }
    if (kind == SignSheetKind::Photo && plan.groupVisible[0] && !plan.morningSignOutPicture) {
        t.setVisible(u"AmPicOut"_s, false);
        t.setVisible(u"AmHeadOut"_s, false);
    }
}

// ---- The sheet after the course choice ------------------------------------------------------

QString RollCallNeedsLessonsMessage() { return u"點名作業 需有設定課程明細"_s; }

SignSheetPlaces SignSheetPlacesOf(const ReportOutputs &outputs, const QString &rocDate)
{
    SignSheetPlaces places;
    places.PicDir = outputs.PicDir;
    places.PdfDir = outputs.PdfDir;
    if (rocDate.size() >= 5)
        places.YearMonthDir = JoinPath(ReportOutputs::PictureFolder(), rocDate.left(5));
    places.NoSignFile = G().programDir() + u"NoSign.jpg"_s;
    places.OrganisationName = G().OrganisationName;
    return places;
}

SignSheetOutput PrepareSignSheet(QSqlDatabase db, SignSheetKind kind, const QString &classKey,
    const SheetChoice &choice, const ReportSettings &settings, bool photoOn,
    const std::function<SignSheetPlaces(const SheetData &)> &placesOf, const QString &pp,
    const std::function<void(qsizetype, qsizetype)> &progress)
{
    SignSheetOutput out;
    out.Data = BuildSheetData(db, classKey, choice, settings, photoOn, progress);
    const SheetData &d = out.Data;
    if (kind == SignSheetKind::RollCall && !d.HasLessons) {
        out.Message = RollCallNeedsLessonsMessage();
        return out;
    }
    const SignSheetPlaces places = placesOf ? placesOf(d) : SignSheetPlaces();
    const QList<QSqlRecord> rows = OpenADOBooking(db, classKey, d.TeacherID, d.LecturerIds);

    out.Template = SignSheetTemplate(kind);
    ApplySignSheetHeader(
        out.Template, kind, SignSheetHeaderValues(kind, d, places.OrganisationName));
    ApplySignSheetPlan(
        out.Template, kind, PlanSignSheet(kind, d.SheetSignType, d.RollCallMask, d.RollCallText));
    const auto folder = [](const QString &dir) -> QString {
        return dir.isEmpty() || dir.endsWith(u'/') || dir.endsWith(QDir::separator())
            ? dir
            : dir + QDir::separator();
    };
    out.Template.setVariable(u"imagePath"_s, folder(places.PicDir));
    out.Template.setVariable(u"imagePath2"_s, folder(places.YearMonthDir));
    out.Template.setVariable(u"noSign"_s, places.NoSignFile);
    out.Layout = LayoutReport(out.Template, ReportDataset::FromRecords(rows));
    out.PdfFileName
        = SheetPdfFileName(places.PdfDir, d.FullKey, d.SheetDate, pp, SheetPdfSuffix(kind));
    return out;
}
