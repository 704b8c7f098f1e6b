#include "station/StationWidgets.h"

#include "platform/CameraSource.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

VideoPaintBox::VideoPaintBox(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoPaintBox::SetCamera(const CameraSource *camera)
{
    m_camera = camera;
    update();
}

void VideoPaintBox::FrameArrived()
{
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void VideoPaintBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QImage frame = m_camera ? m_camera->LatestFrame() : QImage();
    if (frame.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), frame);
}

void VideoPaintBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit doubleClicked();
    event->accept();
}

void LessonBox::showPopup()
{
    emit aboutToShowPopup();
    QComboBox::showPopup();
}

ClockNoticePanel::ClockNoticePanel(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("ClockNotice"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QFrame#ClockNotice { background:#fff4c2; border:2px solid #c08000; }"));
    setFocusPolicy(Qt::NoFocus);
    Text = new QLabel(this);
    Text->setObjectName(QStringLiteral("LabelClockNotice"));
    Text->setWordWrap(true);
    Text->setStyleSheet(QStringLiteral("color:#5a3a00;"));
    QFont bold = Text->font();
    bold.setBold(true);
    Text->setFont(bold);
    Understood = new QPushButton(QStringLiteral("知道了!"), this);
    Understood->setObjectName(QStringLiteral("ButtonClockUnderstood"));
    Silence = new QPushButton(QStringLiteral("別再提了"), this);
    Silence->setObjectName(QStringLiteral("ButtonClockSilence"));
    // Clicked with the mouse only: the keyboard stays with the identity field, and Enter never
    // answers the notice.
    for (QPushButton *button : { Understood, Silence }) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Understood);
    buttons->addWidget(Silence);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->addWidget(Text);
    layout->addLayout(buttons);
    connect(Understood, &QPushButton::clicked, this, [this] {
        const bool reminder = m_reminder;
        Clear();
        if (reminder)
            emit answered(true);
    });
    connect(Silence, &QPushButton::clicked, this, [this] {
        Clear();
        emit answered(false);
    });
    hide();
}

void ClockNoticePanel::AddReminder(const QString &text)
{
    m_reminder = true;
    m_reminderText = text;
    Refresh();
}

void ClockNoticePanel::AddWarning(const QString &text)
{
    if (!m_warnings.contains(text))
        m_warnings << text;
    Refresh();
}

void ClockNoticePanel::Clear()
{
    m_warnings.clear();
    m_reminderText.clear();
    m_reminder = false;
    hide();
}

void ClockNoticePanel::Refresh()
{
    QStringList lines = m_warnings;
    if (m_reminder)
        lines << m_reminderText.trimmed();
    Text->setText(lines.join(QLatin1Char('\n')));
    Silence->setVisible(m_reminder);
}
