#include "station/VideoPreview.h"

#include "platform/Prompter.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>

VideoPreview::VideoPreview(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoPreview::DrawFrame(const QImage &bitmap)
{
    m_frame = bitmap;
    update();
}

void VideoPreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_frame.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        DrawStretched(painter, rect(), m_frame);
}

void VideoPreview::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    emit doubleClicked();
}

void DrawStretched(QPainter &painter, const QRect &target, const QImage &bitmap)
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, bitmap);
}

void ShowProperty(TVideoImage &camera, QWidget *parent)
{
    const QList<VideoControl> controls = camera.GetVideoPropertySettings();
    if (controls.isEmpty()) {
        CurrentPrompter().ShowMessage(QStringLiteral("攝影機沒有可調整的影像屬性"));
        return;
    }
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("VideoProperty"));
    dialog.setWindowTitle(QStringLiteral("攝影機影像屬性"));
    auto *grid = new QGridLayout;
    int row = 0;
    for (const VideoControl &control : controls) {
        auto *caption = new QLabel(VideoPropertyName(control.number), &dialog);
        auto *slider = new QSlider(Qt::Horizontal, &dialog);
        slider->setObjectName(QStringLiteral("Property%1").arg(control.number));
        slider->setRange(control.minimum, control.maximum);
        slider->setSingleStep(qMax(1, control.step));
        slider->setValue(control.value);
        slider->setMinimumWidth(200);
        auto *value = new QLabel(QString::number(control.value), &dialog);
        value->setMinimumWidth(40);
        grid->addWidget(caption, row, 0);
        grid->addWidget(slider, row, 1);
        grid->addWidget(value, row, 2);
        QCheckBox *automatic = nullptr;
        if (control.autoAvailable) {
            automatic = new QCheckBox(QStringLiteral("自動"), &dialog);
            automatic->setChecked(control.automatic);
            slider->setEnabled(!control.automatic);
            grid->addWidget(automatic, row, 3);
            QObject::connect(automatic, &QCheckBox::toggled, &dialog, [&camera, control, slider](bool on) {
                camera.SetVideoPropertySettings(control.number, slider->value(), on);
                slider->setEnabled(!on);
            });
        }
        QObject::connect(slider, &QSlider::valueChanged, &dialog, [&camera, control, value, automatic](int v) {
            value->setText(QString::number(v));
            camera.SetVideoPropertySettings(control.number, v, automatic && automatic->isChecked());
        });
        ++row;
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("關閉"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    dialog.exec();
}
