#include "station/StationWidgets.h"

#include "platform/CameraSource.h"

#include <QMouseEvent>
#include <QPainter>

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
