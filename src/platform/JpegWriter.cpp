#include "platform/JpegWriter.h"

#include "base/AtomicFile.h"

#include <QDir>
#include <QFileInfo>

#include <turbojpeg.h>

#include <algorithm>
#include <memory>

namespace {

void SetError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

struct TjHandleDeleter
{
    void operator()(void *handle) const { tjDestroy(handle); }
};
struct TjBufferDeleter
{
    void operator()(unsigned char *buffer) const { tjFree(buffer); }
};

} // namespace

QByteArray EncodeJpeg(const QImage &image, int quality, QString *error)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        SetError(error, QStringLiteral("沒有影像,無法存成 JPEG 檔案"));
        return {};
    }
    const QImage rgb = image.format() == QImage::Format_RGB888 ? image
                                                                : image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) {
        SetError(error, QStringLiteral("影像格式無法轉換,無法存成 JPEG 檔案"));
        return {};
    }

    std::unique_ptr<void, TjHandleDeleter> handle(tjInitCompress());
    if (!handle) {
        SetError(error, QStringLiteral("JPEG 壓縮器無法啟動: ") + QString::fromLocal8Bit(tjGetErrorStr2(nullptr)));
        return {};
    }
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    const int rc = tjCompress2(handle.get(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                               TJPF_RGB, &out, &outSize, TJSAMP_420, std::clamp(quality, 1, 100), 0);
    std::unique_ptr<unsigned char, TjBufferDeleter> owned(out);
    if (rc != 0 || !out || outSize == 0) {
        SetError(error, QStringLiteral("JPEG 壓縮失敗: ") + QString::fromLocal8Bit(tjGetErrorStr2(handle.get())));
        return {};
    }
    return QByteArray(reinterpret_cast<const char *>(out), qsizetype(outSize));
}

bool WriteJpegFile(const QImage &image, const QString &path, int quality, QString *error)
{
    if (path.trimmed().isEmpty()) {
        SetError(error, QStringLiteral("未指定 JPEG 檔案名稱"));
        return false;
    }
    const QByteArray jpeg = EncodeJpeg(image, quality, error);
    if (jpeg.isEmpty())
        return false;

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        SetError(error, QStringLiteral("無法建立資料夾: ") + QDir::toNativeSeparators(folder));
        return false;
    }
    QString writeError;
    if (!WriteFileAtomically(path, jpeg, &writeError)) {
        SetError(error, writeError);
        return false;
    }
    return true;
}
