#include "platform/camera_v4l2.h"

#include <QDebug>
#include <QDir>

#include <linux/videodev2.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr unsigned BufferCount = 4;

int xioctl(int fd, unsigned long request, void *argument)
{
    int rc;
    do {
        rc = ::ioctl(fd, request, argument);
    } while (rc == -1 && errno == EINTR);
    return rc;
}

QString SystemError(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

void SetError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// The capabilities of the device node itself (not of the whole device).
quint32 NodeCapabilities(const v4l2_capability &cap)
{
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

// The number at the end of "video12".
int NodeNumber(const QString &name)
{
    return name.mid(5).toInt();
}

} // namespace

quint32 FrameCodeOfV4l2Format(quint32 pixelFormat)
{
    switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV: return FrameCode::YUY2;
    case V4L2_PIX_FMT_YUV420: return FrameCode::I420;
    case V4L2_PIX_FMT_YVU420: return FrameCode::YV12;
    case V4L2_PIX_FMT_RGB24: return FrameCode::RGB3;
    case V4L2_PIX_FMT_BGR24: return FrameCode::BGR3;
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return FrameCode::MJPG;
    default: return UnsupportedFrameCode;
    }
}

quint32 V4l2ControlOfProperty(int number)
{
    switch (number) {
    case 0: return V4L2_CID_BRIGHTNESS;
    case 1: return V4L2_CID_CONTRAST;
    case 2: return V4L2_CID_HUE;
    case 3: return V4L2_CID_SATURATION;
    case 4: return V4L2_CID_SHARPNESS;
    case 5: return V4L2_CID_GAMMA;
    case 7: return V4L2_CID_WHITE_BALANCE_TEMPERATURE;
    case 8: return V4L2_CID_BACKLIGHT_COMPENSATION;
    case 9: return V4L2_CID_GAIN;
    default: return 0; // 6 (colour on/off) has no V4L2 counterpart
    }
}

quint32 V4l2AutoControlOfProperty(int number)
{
    switch (number) {
    case 2: return V4L2_CID_HUE_AUTO;
    case 7: return V4L2_CID_AUTO_WHITE_BALANCE;
    case 9: return V4L2_CID_AUTOGAIN;
    default: return 0;
    }
}

QList<CameraDeviceEntry> EnumerateV4l2Devices()
{
    QStringList nodes = QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System | QDir::Files);
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                               [](const QString &n) {
                                   bool ok = false;
                                   n.mid(5).toInt(&ok);
                                   return !ok;
                               }),
                nodes.end());
    std::sort(nodes.begin(), nodes.end(),
              [](const QString &a, const QString &b) { return NodeNumber(a) < NodeNumber(b); });

    QList<CameraDeviceEntry> devices;
    for (const QString &node : nodes) {
        const QString path = QStringLiteral("/dev/") + node;
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        v4l2_capability cap{};
        const bool queried = xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        ::close(fd);
        if (!queried)
            continue;
        const quint32 caps = NodeCapabilities(cap);
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
            continue;
        QString name = QString::fromUtf8(reinterpret_cast<const char *>(cap.card),
                                         qsizetype(strnlen(reinterpret_cast<const char *>(cap.card), sizeof cap.card)))
                           .trimmed();
        if (name.isEmpty())
            name = path;
        devices << CameraDeviceEntry{name, [path] { return std::unique_ptr<CaptureBackend>(new V4l2CaptureBackend(path)); }};
    }
    return devices;
}

struct V4l2CaptureBackend::Private
{
    struct Mapped
    {
        void *start = MAP_FAILED;
        size_t length = 0;
    };

    QString path;
    int fd = -1;
    QList<VideoFormat> formats;
    VideoFormat current;
    quint32 bytesPerLine = 0;
    std::vector<Mapped> buffers;
    std::thread thread;
    std::atomic<bool> stop{false};
    int wakeFd = -1;
    bool streaming = false;
    std::vector<uchar> repacked;

    void ReadFormats();
    bool ReadCurrentFormat(QString *error);
    void ReleaseBuffers();
    void CaptureLoop(V4l2CaptureBackend *owner);
    // The frame without row padding, as the station's unpacking expects it.
    RawFrame TightFrame(const uchar *data, qsizetype size);
};

void V4l2CaptureBackend::Private::ReadFormats()
{
    formats.clear();
    for (quint32 formatIndex = 0;; ++formatIndex) {
        v4l2_fmtdesc desc{};
        desc.index = formatIndex;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_ENUM_FMT, &desc) != 0)
            break;
        const quint32 code = FrameCodeOfV4l2Format(desc.pixelformat);
        if (code == UnsupportedFrameCode)
            continue;
        auto add = [&](quint32 w, quint32 h) {
            formats << VideoFormat{int(w), int(h), code, desc.pixelformat, int(formats.size())};
        };
        for (quint32 sizeIndex = 0;; ++sizeIndex) {
            v4l2_frmsizeenum size{};
            size.index = sizeIndex;
            size.pixel_format = desc.pixelformat;
            if (xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) != 0)
                break;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                add(size.discrete.width, size.discrete.height);
                continue;
            }
            // A range of sizes: its ends and the usual sizes inside it.
            const v4l2_frmsize_stepwise &range = size.stepwise;
            add(range.min_width, range.min_height);
            static const quint32 usual[][2] = {{320, 240}, {640, 480}, {800, 600}, {1280, 720}, {1920, 1080}};
            for (const auto &u : usual) {
                if (u[0] > range.min_width && u[0] < range.max_width && u[1] > range.min_height
                    && u[1] < range.max_height)
                    add(u[0], u[1]);
            }
            add(range.max_width, range.max_height);
            break;
        }
    }
}

bool V4l2CaptureBackend::Private::ReadCurrentFormat(QString *error)
{
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_G_FMT, &format) != 0) {
        SetError(error, SystemError(QStringLiteral("無法讀取攝影機影像格式")));
        return false;
    }
    const v4l2_pix_format &pix = format.fmt.pix;
    const quint32 code = FrameCodeOfV4l2Format(pix.pixelformat);
    // A format the station cannot unpack keeps its own code, so the picture says which it is.
    current = VideoFormat{int(pix.width), int(pix.height), code == UnsupportedFrameCode ? pix.pixelformat : code,
                          pix.pixelformat, -1};
    for (const VideoFormat &f : std::as_const(formats)) {
        if (f.width == current.width && f.height == current.height && f.deviceCode == current.deviceCode)
            current.capabilityIndex = f.capabilityIndex;
    }
    bytesPerLine = pix.bytesperline;
    return true;
}

void V4l2CaptureBackend::Private::ReleaseBuffers()
{
    for (Mapped &buffer : buffers) {
        if (buffer.start != MAP_FAILED)
            ::munmap(buffer.start, buffer.length);
    }
    buffers.clear();
    if (fd >= 0) {
        v4l2_requestbuffers request{};
        request.count = 0;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        xioctl(fd, VIDIOC_REQBUFS, &request);
    }
}

RawFrame V4l2CaptureBackend::Private::TightFrame(const uchar *data, qsizetype size)
{
    RawFrame frame{current.fourCC, current.width, current.height, data, size};
    const qsizetype w = current.width;
    const qsizetype h = current.height;
    qsizetype tightLine = 0;
    bool planar = false;
    switch (current.fourCC) {
    case FrameCode::YUY2: tightLine = ((w + 1) / 2) * 4; break;
    case FrameCode::RGB3:
    case FrameCode::BGR3: tightLine = w * 3; break;
    case FrameCode::I420:
    case FrameCode::YV12: tightLine = w; planar = true; break;
    default: return frame; // compressed or not unpacked at all
    }
    const qsizetype line = bytesPerLine;
    if (line <= tightLine)
        return frame;
    // Rows padded by the driver: copy them tight.
    const qsizetype chromaLine = line / 2;
    const qsizetype cw = (w + 1) / 2;
    const qsizetype ch = (h + 1) / 2;
    const qsizetype needed = planar ? line * h + 2 * chromaLine * ch : line * h;
    if (size < needed)
        return frame; // too short either way: the station shows what it got
    repacked.resize(size_t(planar ? w * h + 2 * cw * ch : tightLine * h));
    uchar *out = repacked.data();
    for (qsizetype y = 0; y < h; ++y, out += tightLine)
        std::memcpy(out, data + y * line, size_t(tightLine));
    if (planar) {
        const uchar *chroma = data + line * h;
        for (qsizetype y = 0; y < 2 * ch; ++y, out += cw)
            std::memcpy(out, chroma + y * chromaLine, size_t(cw));
    }
    frame.data = repacked.data();
    frame.size = qsizetype(repacked.size());
    return frame;
}

void V4l2CaptureBackend::Private::CaptureLoop(V4l2CaptureBackend *owner)
{
    pollfd waits[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    while (!stop.load()) {
        const int rc = ::poll(waits, 2, 500);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (waits[1].revents)
            break;
        if (!(waits[0].revents & POLLIN)) {
            if (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                break; // the camera was unplugged
            continue;
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (xioctl(fd, VIDIOC_DQBUF, &buffer) != 0) {
            if (errno == EAGAIN)
                continue;
            break;
        }
        if (buffer.index < buffers.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const Mapped &mapped = buffers[buffer.index];
            const size_t used = buffer.bytesused ? std::min<size_t>(buffer.bytesused, mapped.length) : mapped.length;
            owner->DeliverRawFrame(TightFrame(static_cast<const uchar *>(mapped.start), qsizetype(used)));
        }
        if (xioctl(fd, VIDIOC_QBUF, &buffer) != 0)
            break;
    }
}

V4l2CaptureBackend::V4l2CaptureBackend(const QString &devicePath)
    : d(new Private)
{
    d->path = devicePath;
}

V4l2CaptureBackend::~V4l2CaptureBackend()
{
    Close();
    delete d;
}

bool V4l2CaptureBackend::Open(QString *error)
{
    Close();
    d->fd = ::open(QFile::encodeName(d->path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (d->fd < 0) {
        SetError(error, SystemError(QStringLiteral("無法開啟攝影機 ") + d->path));
        return false;
    }
    v4l2_capability cap{};
    if (xioctl(d->fd, VIDIOC_QUERYCAP, &cap) != 0 || !(NodeCapabilities(cap) & V4L2_CAP_VIDEO_CAPTURE)
        || !(NodeCapabilities(cap) & V4L2_CAP_STREAMING)) {
        SetError(error, QStringLiteral("不是可串流的攝影裝置: ") + d->path);
        Close();
        return false;
    }
    d->ReadFormats();
    if (!d->ReadCurrentFormat(error)) {
        Close();
        return false;
    }
    // A device left in a format the station cannot unpack is moved to one it can, 640 × 480 if
    // it has that.
    if (FrameCodeOfV4l2Format(d->current.deviceCode) == UnsupportedFrameCode && !d->formats.isEmpty()) {
        VideoFormat choice = d->formats.first();
        for (const VideoFormat &f : std::as_const(d->formats)) {
            if (f.width == 640 && f.height == 480) {
                choice = f;
                break;
            }
        }
        SetFormat(choice, nullptr);
    }
    return true;
}

QList<VideoFormat> V4l2CaptureBackend::Formats() const
{
    return d->formats;
}

VideoFormat V4l2CaptureBackend::CurrentFormat() const
{
    return d->current;
}

void V4l2CaptureBackend::Close()
{
    StopStreaming();
    if (d->fd >= 0)
        ::close(d->fd);
    d->fd = -1;
}

bool V4l2CaptureBackend::SetFormat(const VideoFormat &wanted, QString *error)
{
    if (d->fd < 0 || d->streaming) {
        SetError(error, QStringLiteral("攝影機未開啟或串流中,無法變更影像格式"));
        return false;
    }
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = quint32(wanted.width);
    format.fmt.pix.height = quint32(wanted.height);
    format.fmt.pix.pixelformat = wanted.deviceCode;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (xioctl(d->fd, VIDIOC_S_FMT, &format) != 0) {
        SetError(error, SystemError(QStringLiteral("攝影機不接受影像格式 ") + wanted.Text()));
        return false;
    }
    return d->ReadCurrentFormat(error);
}

bool V4l2CaptureBackend::StartStreaming(QString *error)
{
    if (d->streaming)
        return true;
    if (d->fd < 0) {
        SetError(error, QStringLiteral("攝影機未開啟"));
        return false;
    }
    auto fail = [&](const QString &text) {
        SetError(error, SystemError(text));
        d->ReleaseBuffers();
        return false;
    };

    v4l2_requestbuffers request{};
    request.count = BufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(d->fd, VIDIOC_REQBUFS, &request) != 0 || request.count < 2)
        return fail(QStringLiteral("攝影機無法配置影像緩衝區"));
    d->buffers.assign(request.count, Private::Mapped());
    for (quint32 i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (xioctl(d->fd, VIDIOC_QUERYBUF, &buffer) != 0)
            return fail(QStringLiteral("攝影機影像緩衝區無法查詢"));
        void *start = ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, d->fd, buffer.m.offset);
        if (start == MAP_FAILED)
            return fail(QStringLiteral("攝影機影像緩衝區無法對應"));
        d->buffers[i] = Private::Mapped{start, buffer.length};
        if (xioctl(d->fd, VIDIOC_QBUF, &buffer) != 0)
            return fail(QStringLiteral("攝影機影像緩衝區無法排入"));
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(d->fd, VIDIOC_STREAMON, &type) != 0)
        return fail(QStringLiteral("攝影機無法開始擷取"));

    d->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d->wakeFd < 0) {
        xioctl(d->fd, VIDIOC_STREAMOFF, &type);
        return fail(QStringLiteral("擷取執行緒無法建立"));
    }
    d->stop = false;
    d->streaming = true;
    d->thread = std::thread([this] { d->CaptureLoop(this); });
    return true;
}

void V4l2CaptureBackend::StopStreaming()
{
    if (!d->streaming)
        return;
    d->stop = true;
    const quint64 one = 1;
    if (::write(d->wakeFd, &one, sizeof one) < 0)
        qWarning() << "Camera capture thread not woken; it ends at its next poll";
    if (d->thread.joinable())
        d->thread.join();
    ::close(d->wakeFd);
    d->wakeFd = -1;
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(d->fd, VIDIOC_STREAMOFF, &type);
    d->ReleaseBuffers();
    d->streaming = false;
}

QList<VideoControl> V4l2CaptureBackend::Controls() const
{
    QList<VideoControl> controls;
    if (d->fd < 0)
        return controls;
    for (int number = 0; number < VideoPropertyCount; ++number) {
        const quint32 id = V4l2ControlOfProperty(number);
        if (!id)
            continue;
        v4l2_queryctrl query{};
        query.id = id;
        if (xioctl(d->fd, VIDIOC_QUERYCTRL, &query) != 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED))
            continue;
        v4l2_control value{};
        value.id = id;
        if (xioctl(d->fd, VIDIOC_G_CTRL, &value) != 0)
            continue;
        VideoControl control;
        control.number = number;
        control.minimum = query.minimum;
        control.maximum = query.maximum;
        control.step = qMax(1, query.step);
        control.defaultValue = query.default_value;
        control.value = value.value;
        if (const quint32 autoId = V4l2AutoControlOfProperty(number)) {
            v4l2_control automatic{};
            automatic.id = autoId;
            if (xioctl(d->fd, VIDIOC_G_CTRL, &automatic) == 0) {
                control.autoAvailable = true;
                control.automatic = automatic.value != 0;
            }
        }
        controls << control;
    }
    return controls;
}

bool V4l2CaptureBackend::SetControl(int number, int value, bool automatic)
{
    const quint32 id = V4l2ControlOfProperty(number);
    if (d->fd < 0 || !id)
        return false;
    if (const quint32 autoId = V4l2AutoControlOfProperty(number)) {
        v4l2_control control{autoId, automatic ? 1 : 0};
        xioctl(d->fd, VIDIOC_S_CTRL, &control);
    } else if (automatic) {
        return false;
    }
    if (automatic)
        return true;
    v4l2_control control{id, value};
    return xioctl(d->fd, VIDIOC_S_CTRL, &control) == 0;
}
