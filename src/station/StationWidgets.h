#pragma once

#include <QComboBox>
#include <QWidget>

class CameraSource;

// The camera preview of the sign-in screen (the paint box VideoCap1): the newest frame of the
// camera, stretched to the box. A new frame asks for a repaint through the event queue, so a
// camera that delivers on another thread never paints from there.
class VideoPaintBox : public QWidget
{
    Q_OBJECT
public:
    explicit VideoPaintBox(QWidget *parent = nullptr);

    // The camera shown; none shows a black box.
    void SetCamera(const CameraSource *camera);
    // A new frame is there (any thread).
    void FrameArrived();

signals:
    // A double click on the preview (toggles the video-size box).
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    const CameraSource *m_camera = nullptr;
};

// The lesson box ComboBox1: tells the window when its list is about to open, so that the list
// is refilled with today's lessons first.
class LessonBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void aboutToShowPopup();
};
