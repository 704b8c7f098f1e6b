#pragma once

// A sheet-like report for the engine's tests: a photo sign-in sheet with a ruled header table,
// two page columns of persons with their sign-in and sign-out snapshots, and camera-sized
// JPEG files made for the occasion.

#include "reportengine/ReportEngine.h"

#include <QColor>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>

namespace SampleSheet {

using namespace Qt::Literals::StringLiterals;

// A 640x480 snapshot: a coloured background, a head and a caption, saved as JPEG.
inline bool WriteSnapshot(const QString &fileName, const QColor &background, const QString &caption)
{
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(240, 200, 170));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(320, 200), 110, 140);
    p.setBrush(QColor(40, 40, 60));
    p.drawEllipse(QPointF(280, 180), 14, 10);
    p.drawEllipse(QPointF(360, 180), 14, 10);
    p.setPen(Qt::white);
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPixelSize(48);
    p.setFont(font);
    p.drawText(QRect(0, 380, 640, 90), Qt::AlignCenter, caption);
    p.end();
    return image.save(fileName, "JPEG", 85);
}

struct Person
{
    QString name;
    QString id;
    QString mobile;
    QString timeIn; // "HHMMSS" or empty
    QString timeOut;
};

inline QList<Person> People(int count)
{
    static const QStringList names { u"王小明"_s, u"李大華"_s, u"陳美玲"_s, u"林志偉"_s,
        u"張雅婷"_s, u"黃國強"_s, u"吳淑芬"_s, u"劉建宏"_s, u"蔡佩君"_s, u"鄭家豪"_s };
    QList<Person> people;
    for (int i = 0; i < count; ++i) {
        Person p;
        p.name = names.at(i % names.size());
        p.id = u"A1234%1"_s.arg(56000 + i * 37, 5, 10, QLatin1Char('0'));
        p.mobile = u"0912%1"_s.arg(345000 + i, 6, 10, QLatin1Char('0'));
        p.timeIn = i % 7 == 3 ? QString() : u"08%1%2"_s.arg(35 + i % 25).arg(u"00"_s);
        p.timeOut = i % 5 == 4 ? QString() : u"1205%1"_s.arg(10 + i % 40);
        people.append(p);
    }
    return people;
}

// Rows as the sheets get them from the enrolment query, with the picture file names.
inline ReportDataset Rows(const QList<Person> &people)
{
    ReportDataset data(
        { u"NAME"_s, u"ID"_s, u"MOBILE"_s, u"JOBTYPE"_s, u"T1"_s, u"T2"_s, u"P1"_s, u"P2"_s });
    for (int i = 0; i < people.size(); ++i) {
        const Person &p = people.at(i);
        data.addRow({ p.name, p.id, p.mobile, i == 0 ? u"講師"_s : u"學員"_s, p.timeIn, p.timeOut,
            u"%1_in.jpg"_s.arg(p.id), u"%1_out.jpg"_s.arg(p.id) });
    }
    return data;
}

// Snapshots of every time that is not empty, and the placeholder, in folder.
inline bool WritePictures(const QString &folder, const QList<Person> &people)
{
    bool ok = WriteSnapshot(folder + u"/NoSign.jpg"_s, QColor(200, 200, 200), u"未簽"_s);
    for (int i = 0; i < people.size(); ++i) {
        const Person &p = people.at(i);
        const QColor colour = QColor::fromHsv((i * 47) % 360, 120, 170);
        if (!p.timeIn.isEmpty())
            ok = WriteSnapshot(
                     folder + u"/%1_in.jpg"_s.arg(p.id), colour, u"簽到 "_s + p.timeIn.left(4))
                && ok;
        if (!p.timeOut.isEmpty())
            ok = WriteSnapshot(folder + u"/%1_out.jpg"_s.arg(p.id), colour.darker(130),
                     u"簽退 "_s + p.timeOut.left(4))
                && ok;
    }
    return ok;
}

inline QString Clock(const QString &hhmmss)
{
    return hhmmss.size() < 4 ? QString() : hhmmss.left(2) % u':' % hhmmss.mid(2, 2);
}

// The template, built from plain values in one place. Two groups (morning and afternoon) of
// 40 mm beside a name column fill one of two page columns.
inline ReportTemplate Template(const QString &noSignFile)
{
    const ReportFont kai { .pointSize = 10 };
    const ReportFont small { .pointSize = 7 };
    const Qt::Alignment centre = Qt::AlignCenter;
    ReportTemplate t;
    t.name = u"講習課程簽到單(照片)"_s;
    t.columns = 2;

    t.title.height = 44;
    auto cell = [&](const QString &name, qreal x, qreal y, qreal w, const QString &text) {
        return ReportObject { .name = name,
            .rect = { x, y, w, 7 },
            .text = text,
            .font = kai,
            .alignment = Qt::AlignLeft | Qt::AlignVCenter,
            .frame = FrameAll };
    };
    t.title.objects = {
        { .name = u"Title"_s,
            .rect = { 0, 0, 196, 10 },
            .text = t.name,
            .font = { .pointSize = 18 },
            .alignment = centre },
        { .name = u"Organiser"_s,
            .rect = { 0, 10, 196, 6 },
            .text = u"主辦單位：臺北市職業訓練中心"_s,
            .font = kai,
            .alignment = Qt::AlignRight | Qt::AlignVCenter },
        cell(u"ClassKeyLabel"_s, 0, 16, 22, u"講習編號"_s),
        cell(u"ClassKey"_s, 22, 16, 46, u"1130000120101"_s),
        cell(u"DateLabel"_s, 68, 16, 16, u"日期"_s),
        cell(u"SheetDate"_s, 84, 16, 40, u"1130905(四)"_s),
        cell(u"TimeLabel"_s, 124, 16, 16, u"時間"_s),
        cell(u"ClassTime"_s, 140, 16, 56, u"09:00-12:00"_s),
        cell(u"SubjectLabel"_s, 0, 23, 22, u"課程名稱"_s),
        cell(u"Subject"_s, 22, 23, 102, u"職業安全衛生教育訓練（一般勞工）"_s),
        cell(u"HoursLabel"_s, 124, 23, 16, u"時數"_s),
        cell(u"Hours"_s, 140, 23, 56, u"3"_s),
        cell(u"CountLabel"_s, 0, 30, 22, u"應到"_s),
        cell(u"Expected"_s, 22, 30, 46, u"40"_s),
        cell(u"PresentLabel"_s, 68, 30, 16, u"實到"_s),
        cell(u"Present"_s, 84, 30, 40, u"36"_s),
        cell(u"AbsentLabel"_s, 124, 30, 16, u"缺席"_s),
        cell(u"Absent"_s, 140, 30, 56, u"4"_s),
        cell(u"PlaceLabel"_s, 0, 37, 22, u"上課地點"_s),
        cell(u"Place"_s, 22, 37, 174, u"臺北市中正區延平南路 1 號 3 樓第二教室"_s),
    };

    t.columnHeader.height = 8;
    t.columnHeader.objects = {
        { .name = u"HeadPerson"_s,
            .rect = { 0, 0, 18, 8 },
            .text = u"姓名身分證電話"_s,
            .font = small,
            .alignment = centre,
            .frame = FrameAll,
            .wordWrap = true },
    };
    t.masterData.height = 12;
    t.masterData.objects = {
        { .name = u"Person"_s,
            .rect = { 0, 0, 18, 12 },
            .font = small,
            .alignment = centre,
            .frame = FrameAll,
            .wordWrap = true },
    };
    const QStringList groups { u"Morning"_s, u"Noon"_s };
    for (int g = 0; g < groups.size(); ++g) {
        const qreal x = 18 + 40 * g;
        const QString n = groups.at(g);
        t.columnHeader.objects.append(QList<ReportObject> {
            { .name = n + u"HeadIn"_s,
                .rect = { x, 0, 13, 8 },
                .text = u"簽到影像"_s,
                .font = small,
                .alignment = centre,
                .frame = FrameAll,
                .wordWrap = true },
            { .name = n + u"HeadTimes"_s,
                .rect = { x + 13, 0, 14, 8 },
                .text = u"簽到退"_s,
                .font = small,
                .alignment = centre,
                .frame = FrameAll },
            { .name = n + u"HeadOut"_s,
                .rect = { x + 27, 0, 13, 8 },
                .text = u"簽退影像"_s,
                .font = small,
                .alignment = centre,
                .frame = FrameAll,
                .wordWrap = true },
        });
        t.masterData.objects.append(QList<ReportObject> {
            { .name = n + u"PicIn"_s,
                .kind = ReportObjectKind::Picture,
                .rect = { x, 0, 13, 12 },
                .frame = FrameAll },
            { .name = n + u"Late"_s,
                .rect = { x + 13, 0, 14, 3 },
                .text = u"遲到"_s,
                .font = small,
                .alignment = centre },
            { .name = n + u"In"_s,
                .rect = { x + 13, 3, 14, 3 },
                .font = small,
                .alignment = centre },
            { .name = n + u"Out"_s,
                .rect = { x + 13, 6, 14, 3 },
                .font = small,
                .alignment = centre },
            { .name = n + u"Early"_s,
                .rect = { x + 13, 9, 14, 3 },
                .text = u"早退"_s,
                .font = small,
                .alignment = centre },
            { .name = n + u"Box"_s, .rect = { x + 13, 0, 14, 12 }, .frame = FrameAll },
            { .name = n + u"PicOut"_s,
                .kind = ReportObjectKind::Picture,
                .rect = { x + 27, 0, 13, 12 },
                .frame = FrameAll },
        });
    }
    t.pageFooter.height = 6;
    t.pageFooter.objects = {
        { .name = u"PageNo"_s,
            .rect = { 0, 1, 196, 5 },
            .text = u"Page: [Page]"_s,
            .font = { .pointSize = 9 },
            .alignment = centre },
    };

    t.setVariable(u"noSign"_s, noSignFile);
    t.onRow = [groups](ReportRowContext &row) {
        const QString id = row.text(u"ID"_s);
        const QString masked
            = (row.text(u"JOBTYPE"_s) == u"講師"_s ? u"講師"_s : u"*****"_s) + id.mid(5, 5);
        row.setText(
            u"Person"_s, row.text(u"NAME"_s) % u'\n' % masked % u'\n' % row.text(u"MOBILE"_s));
        const QString path = row.variable(u"imagePath"_s).toString();
        const QString noSign = row.variable(u"noSign"_s).toString();
        for (const QString &n : groups) {
            const QString in = row.text(u"T1"_s);
            const QString out = row.text(u"T2"_s);
            row.setText(n + u"In"_s, Clock(in));
            row.setText(n + u"Out"_s, Clock(out));
            row.setVisible(n + u"Late"_s, !in.isEmpty() && in > u"080000"_s && n == u"Morning"_s);
            row.setVisible(n + u"Early"_s, out.isEmpty());
            row.setPicture(n + u"PicIn"_s, noSign);
            row.setPicture(n + u"PicOut"_s, noSign);
            if (!in.isEmpty())
                row.setPicture(n + u"PicIn"_s, path + row.text(u"P1"_s));
            if (!out.isEmpty())
                row.setPicture(n + u"PicOut"_s, path + row.text(u"P2"_s));
        }
    };
    return t;
}

} // namespace SampleSheet
