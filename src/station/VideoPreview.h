#pragma once

#include "station/TVideoImage.h"

#include <QImage>
#include <QWidget>

class QPainter;

// The camera preview (the paint box VideoCap1): the newest frame stretched over the whole
// widget, black before the first frame. A double click is passed on to the window, which
// shows or hides its video-size box.
class VideoPreview final : public QWidget, public VideoCanvas
{
    Q_OBJECT

public:
    explicit VideoPreview(QWidget *parent = nullptr);

    void DrawFrame(const QImage &bitmap) override;
    QImage Frame() const { return m_frame; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QImage m_frame;
};

// Draws bitmap stretched over target, as the preview does.
void DrawStretched(QPainter &painter, const QRect &target, const QImage &bitmap);

// The device's picture properties (brightness and the like) in a small modal dialog whose
// sliders act at once; "攝影機沒有可調整的影像屬性" when the device has none or none runs.
void ShowProperty(TVideoImage &camera, QWidget *parent);
