#include "reports/TFmAttendanceChart.h"

#include "Fun/FormHelpers.h"
#include "base/AtomicFile.h"
#include "base/RolvanError.h"
#include "platform/ErrorReport.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QChartView *MakeView(QChart *chart, QWidget *parent, const QString &name)
{
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setAnimationOptions(QChart::NoAnimation);
    auto *view = new QChartView(chart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(760, 300);
    return view;
}

// A whole-number axis from 0 that fits the largest value, with at most five steps so that its
// labels keep room to show.
QValueAxis *CountAxis(int largest, const QString &title)
{
    const int steps = std::clamp(largest, 1, 5);
    const int step = std::max(1, (largest + steps - 1) / steps);
    auto *axis = new QValueAxis;
    axis->setRange(0, step * steps);
    axis->setTickCount(steps + 1);
    axis->setLabelFormat(u"%d"_s);
    axis->setTitleText(title);
    return axis;
}

// Each bar carries its number, at its end.
void ShowValues(QAbstractBarSeries *series)
{
    series->setLabelsVisible(true);
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    series->setLabelsFormat(u"@value"_s);
    for (QBarSet *set : series->barSets())
        set->setLabelColor(Qt::black);
}

QChart *LessonChartOf(const AttendanceChartData &data)
{
    auto *chart = new QChart;
    chart->setTitle(u"各課程出缺勤人數（報名 %1 人）"_s.arg(data.Enrolled));
    auto *present = new QBarSet(u"出席"_s);
    auto *late = new QBarSet(u"遲到"_s);
    auto *early = new QBarSet(u"早退"_s);
    auto *absent = new QBarSet(u"缺席"_s);
    present->setColor(QColor(0x2e, 0x7d, 0x32));
    late->setColor(QColor(0xf9, 0xa8, 0x25));
    early->setColor(QColor(0xef, 0x6c, 0x00));
    absent->setColor(QColor(0xc6, 0x28, 0x28));
    QStringList categories;
    int largest = 0;
    for (const LessonAttendance &lesson : data.lessons) {
        *present << lesson.Present;
        *late << lesson.Late;
        *early << lesson.LeftEarly;
        *absent << lesson.Absent;
        categories << lesson.Caption();
        largest = std::max({largest, lesson.Present, lesson.Absent});
    }
    auto *series = new QBarSeries;
    series->append({present, late, early, absent});
    ShowValues(series);
    chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis;
    axisX->append(categories);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    QValueAxis *axisY = CountAxis(largest, u"人數"_s);
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    return chart;
}

QChart *HoursChartOf(const AttendanceChartData &data)
{
    auto *chart = new QChart;
    chart->setTitle(u"核定時數分布（應修 %1 小時）"_s.arg(data.RequiredHours));
    auto *below = new QBarSet(u"未達應修時數"_s);
    auto *reached = new QBarSet(u"達應修時數"_s);
    below->setColor(QColor(0xc6, 0x28, 0x28));
    reached->setColor(QColor(0x2e, 0x7d, 0x32));
    QStringList categories;
    int largest = 0;
    for (qsizetype h = 0; h < data.PeopleByCreditedHours.size(); ++h) {
        const int people = data.PeopleByCreditedHours.at(h);
        const bool enough = h >= data.RequiredHours;
        *below << (enough ? 0 : people);
        *reached << (enough ? people : 0);
        categories << QString::number(h);
        largest = std::max(largest, people);
    }
    auto *series = new QStackedBarSeries;
    series->append({below, reached});
    series->setLabelsVisible(true);
    series->setLabelsFormat(u"@value"_s);
    chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis;
    axisX->append(categories);
    axisX->setTitleText(u"核定時數（小時）"_s);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    QValueAxis *axisY = CountAxis(largest, u"人數"_s);
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    return chart;
}

} // namespace

TFmAttendanceChart::TFmAttendanceChart(const AttendanceChartData &data, const QString &title,
                                       const QString &outputDir, const QString &baseName,
                                       QWidget *parent)
    : QDialog(parent), m_outputDir(outputDir), m_baseName(baseName)
{
    setObjectName(u"FmAttendanceChart"_s);
    setWindowTitle(u"出勤統計圖表"_s);
    LabelTitle = new QLabel(title, this);
    LabelTitle->setObjectName(u"LabelTitle"_s);
    QFont titleFont = LabelTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    LabelTitle->setFont(titleFont);
    LessonChart = MakeView(LessonChartOf(data), this, u"LessonChart"_s);
    HoursChart = MakeView(HoursChartOf(data), this, u"HoursChart"_s);
    LabelExport = new QLabel(this);
    LabelExport->setObjectName(u"LabelExport"_s);
    LabelExport->setWordWrap(true);
    LabelExport->setTextInteractionFlags(Qt::TextSelectableByMouse);
    BitBtnExport = MakeButton(this, u"BitBtnExport"_s, u"匯出 PNG／PDF"_s);
    BitBtnClose = MakeButton(this, u"BitBtnClose"_s, u"結束"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LabelTitle);
    layout->addWidget(LessonChart, 3);
    layout->addWidget(HoursChart, 2);
    layout->addWidget(LabelExport);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BitBtnExport);
    bottom->addStretch();
    bottom->addWidget(BitBtnClose);
    layout->addLayout(bottom);
    resize(900, 760);

    connect(BitBtnExport, &QPushButton::clicked, this, &TFmAttendanceChart::BitBtnExportClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);
}

QStringList TFmAttendanceChart::Export()
{
    const QString png = QDir(m_outputDir).filePath(m_baseName + u".png"_s);
    const QString pdf = QDir(m_outputDir).filePath(m_baseName + u".pdf"_s);
    const QSize size(1200, 1000);
    const int split = size.height() * 3 / 5;
    const auto paint = [&](QPainter &painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font = LabelTitle->font();
        font.setPixelSize(24);
        painter.setFont(font);
        painter.drawText(QRect(16, 0, size.width() - 32, 48), Qt::AlignVCenter, LabelTitle->text());
        LessonChart->render(&painter, QRectF(0, 48, size.width(), split - 48));
        HoursChart->render(&painter, QRectF(0, split, size.width(), size.height() - split));
    };

    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paint(painter);
    }
    QByteArray pngBytes;
    {
        QBuffer buffer(&pngBytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }

    QByteArray pdfBytes;
    {
        QBuffer buffer(&pdfBytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setTitle(windowTitle());
        writer.setCreator(u"Rolvan"_s);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        QPainter painter(&writer);
        const QRect page = painter.viewport();
        const double scale = std::min(double(page.width()) / size.width(),
                                      double(page.height()) / size.height());
        painter.scale(scale, scale);
        paint(painter);
    }

    for (const auto &[path, bytes] : {std::pair{png, pngBytes}, std::pair{pdf, pdfBytes}}) {
        QString error;
        if (bytes.isEmpty() || !WriteFileAtomically(path, bytes, &error))
            throw RolvanError(u"無法寫入圖表檔「%1」：%2"_s.arg(QDir::toNativeSeparators(path), error));
    }
    LabelExport->setText(u"圖表已匯出：%1、%2"_s.arg(QDir::toNativeSeparators(png),
                                                        QDir::toNativeSeparators(pdf)));
    return {png, pdf};
}

void TFmAttendanceChart::BitBtnExportClick()
{
    GuardAction([this] { Export(); });
}
