#include "dialogs/TDialog_Date.h"

#include "Fun/FormGeometryWidget.h"
#include "Fun/SettingKeys.h"
#include "dialogs/ChoiceDialogs.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TDialog_Date::TDialog_Date(const QString &dateText, const QString &pattern, QWidget *parent)
    : QDialog(parent)
    , m_dateText(dateText)
    , m_pattern(pattern)
{
    setObjectName(u"Dialog_Date"_s);
    setWindowTitle(u"日期選擇"_s);

    MonthCalendar1 = new QCalendarWidget(this);
    MonthCalendar1->setObjectName(u"MonthCalendar1"_s);
    MonthCalendar1->setGridVisible(true);
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthCalendar1->setFirstDayOfWeek(Qt::Sunday);

    SpeedButtonYear = new QPushButton(u"年"_s, this);
    SpeedButtonYear->setObjectName(u"SpeedButtonYear"_s);
    SpeedButtonYear->setToolTip(u"往前一年（365天）"_s);
    SpeedButtonYear->setAutoDefault(false);
    SpeedButtonForward = new QPushButton(u"▶"_s, this);
    SpeedButtonForward->setObjectName(u"SpeedButtonForward"_s);
    SpeedButtonForward->setToolTip(u"往後一年（365天）"_s);
    SpeedButtonForward->setAutoDefault(false);
    BitBtnOK = new QPushButton(u"確認"_s, this);
    BitBtnOK->setObjectName(u"BitBtnOK"_s);
    BitBtnOK->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SpeedButtonYear);
    buttons->addWidget(SpeedButtonForward);
    buttons->addStretch();
    buttons->addWidget(BitBtnOK);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(MonthCalendar1, 1);
    layout->addLayout(buttons);

    connect(SpeedButtonYear, &QPushButton::clicked, this, &TDialog_Date::SpeedButtonYearClick);
    connect(SpeedButtonForward, &QPushButton::clicked, this,
            &TDialog_Date::SpeedButtonForwardClick);
    connect(BitBtnOK, &QPushButton::clicked, this, &TDialog_Date::BitBtnOKClick);
    // A double-click on a day (and Enter) confirms it.
    connect(MonthCalendar1, &QCalendarWidget::activated, this,
            &TDialog_Date::MonthCalendar1DblClick);

    // Only the size is remembered: the caller places the dialog over its field.
    const FormSizeDefault::Geometry d = FormSizeDefault::Dialog_Date;
    resize(RestoreFormGeometry(objectName(), d.top, d.left, d.width, d.height).size());
}

void TDialog_Date::setDateText(const QString &dateText, const QString &pattern)
{
    m_dateText = dateText;
    m_pattern = pattern;
}

bool TDialog_Date::Execute(const QPoint &topLeft)
{
    move(topLeft);
    return exec() == QDialog::Accepted;
}

bool TDialog_Date::ChooseDateForField(QLineEdit *field, const QString &pattern)
{
    if (!field)
        return false;
    TDialog_Date dialog(field->text(), pattern, field->window());
    if (!dialog.Execute(field->mapToGlobal(QPoint(0, 0))) || dialog.dateText() == field->text())
        return false;
    field->setText(dialog.dateText());
    return true;
}

void TDialog_Date::showEvent(QShowEvent *event)
{
    const QDate start = DateDialogStartDate(m_dateText, m_pattern);
    MonthCalendar1->setSelectedDate(start);
    MonthCalendar1->setCurrentPage(start.year(), start.month());
    MonthCalendar1->setFocus();
    QDialog::showEvent(event);
}

void TDialog_Date::SpeedButtonYearClick()
{
    const QDate date = MonthCalendar1->selectedDate().addDays(-DateDialogYearStep);
    MonthCalendar1->setSelectedDate(date);
    MonthCalendar1->setCurrentPage(date.year(), date.month());
}

void TDialog_Date::SpeedButtonForwardClick()
{
    const QDate date = MonthCalendar1->selectedDate().addDays(DateDialogYearStep);
    MonthCalendar1->setSelectedDate(date);
    MonthCalendar1->setCurrentPage(date.year(), date.month());
}

void TDialog_Date::BitBtnOKClick()
{
    m_dateText = DateDialogResultText(MonthCalendar1->selectedDate(), m_pattern);
    accept();
}

void TDialog_Date::MonthCalendar1DblClick()
{
    BitBtnOKClick();
}

void TDialog_Date::done(int result)
{
    SaveFormGeometry(this);
    QDialog::done(result);
}
