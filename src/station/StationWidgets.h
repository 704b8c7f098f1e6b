#pragma once

#include <QComboBox>
#include <QFrame>
#include <QWidget>

class CameraSource;
class QLabel;
class QPushButton;

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

// A notice of the clock synchronisation on the sign-in screen (ClockNotice): the reminder
// "提醒你! 刷卡紀錄會註記 尚未網路校時喔! " with the choices "知道了!" and "別再提了", and the
// warning about a clock turned back. It is part of the window, not a box: it never takes the
// keyboard focus and its closing is no new activation of the window.
class ClockNoticePanel : public QFrame
{
    Q_OBJECT
public:
    explicit ClockNoticePanel(QWidget *parent = nullptr);

    // Adds the reminder (with both choices) or a warning line (with "知道了!") to what shows.
    void AddReminder(const QString &text);
    void AddWarning(const QString &text);
    bool hasReminder() const { return m_reminder; }
    // Empties and hides the notice.
    void Clear();

    QLabel *Text = nullptr;           // LabelClockNotice
    QPushButton *Understood = nullptr; // 知道了!
    QPushButton *Silence = nullptr;    // 別再提了

signals:
    // The operator's choice; understood: "知道了!", otherwise "別再提了". The notice is closed.
    void answered(bool understood);

private:
    void Refresh();
    QStringList m_warnings;
    QString m_reminderText;
    bool m_reminder = false;
};
