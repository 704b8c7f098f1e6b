#pragma once

#include "reports/AttendanceChart.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QChartView;
class QLabel;
class QPushButton;

// The chart page "出勤統計圖表" of a class: per lesson the people present, late, left early and
// absent, and how many people were credited how many hours against the hours required. The
// numbers come from ComputeAttendanceChart; the page shows them and exports both charts as a
// PNG picture and a PDF page beside the sheets.
class TFmAttendanceChart : public QDialog
{
    Q_OBJECT

public:
    // title: the class as the reports window names it ("科目：..."); outputDir and baseName: the
    // export goes to <outputDir>/<baseName>.png and .pdf.
    TFmAttendanceChart(const AttendanceChartData &data, const QString &title,
                       const QString &outputDir, const QString &baseName, QWidget *parent = nullptr);

    // Writes the PNG and the PDF (each through the durable file writer) and returns both paths;
    // a file that cannot be written raises RolvanError naming it.
    QStringList Export();

    QChartView *LessonChart = nullptr;  // present / late / left early / absent per lesson
    QChartView *HoursChart = nullptr;   // people per credited hours
    QLabel *LabelTitle = nullptr;
    QLabel *LabelExport = nullptr;      // "圖表已匯出：<png>、<pdf>"
    QPushButton *BitBtnExport = nullptr; // "匯出 PNG／PDF"
    QPushButton *BitBtnClose = nullptr;  // "結束"

public slots:
    void BitBtnExportClick();

private:
    QString m_outputDir;
    QString m_baseName;
};
