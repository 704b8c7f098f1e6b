// The station's icon as PNG files in the sizes desktops ask for: a clipboard with a check mark,
// the same drawing as resources/desktop/rolvan.svg.
//   make_icon <output folder>   writes <folder>/<n>x<n>/apps/rolvan.png for each size

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>

namespace {

QImage DrawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x6f, 0x9f));
    painter.drawRoundedRect(QRectF(40, 28, 176, 212), 18, 18);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(58, 52, 140, 172), 8, 8);
    painter.setBrush(QColor(0xd9, 0xa4, 0x41));
    painter.drawRoundedRect(QRectF(92, 16, 72, 32), 10, 10);
    QPainterPath check;
    check.moveTo(84, 140);
    check.lineTo(116, 172);
    check.lineTo(176, 100);
    QPen pen(QColor(0x3a, 0x9a, 0x4a), 20, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(check);
    painter.end();
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: make_icon <output folder>\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!out.mkpath(folder) || !DrawIcon(size).save(out.filePath(folder + QStringLiteral("/rolvan.png")), "PNG")) {
            std::fprintf(stderr, "make_icon: cannot write %s\n", qPrintable(out.filePath(folder)));
            return 1;
        }
    }
    return 0;
}
