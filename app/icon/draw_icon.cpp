// Draws the program's icon, a receipt printer with its DIP switches, at 16, 32 and 48 pixels.
// Run at build time: draw_icon OUTPUT_DIR writes posdip-16.png, posdip-32.png, posdip-48.png.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// One picture on a 48-unit grid, scaled to the size asked for.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    p.setPen(Qt::NoPen);

    // The receipt coming out of the top, with three printed lines.
    p.setBrush(QColor(0xfa, 0xfa, 0xfa));
    p.drawRect(QRectF(13, 3, 22, 22));
    p.setBrush(QColor(0x78, 0x90, 0x9c));
    for (int row = 0; row < 3; ++row)
        p.drawRect(QRectF(16, 7 + row * 5, row == 2 ? 10 : 16, 2));

    // The printer's body and its paper slot.
    QPainterPath body;
    body.addRoundedRect(QRectF(3, 19, 42, 25), 5, 5);
    p.setBrush(QColor(0x37, 0x47, 0x4f));
    p.drawPath(body);
    p.setBrush(QColor(0x10, 0x14, 0x16));
    p.drawRect(QRectF(9, 22, 30, 3));

    // A block of four DIP switches, two of them on.
    p.setBrush(QColor(0xd3, 0x2f, 0x2f));
    p.drawRect(QRectF(8, 29, 24, 11));
    p.setBrush(QColor(0xff, 0xff, 0xff));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(10 + i * 5.5, (i % 3 == 0) ? 31 : 34.5, 3.5, 4));

    // The power light.
    p.setBrush(QColor(0x66, 0xbb, 0x6a));
    p.drawEllipse(QPointF(38.5, 34.5), 3, 3);
    return image;
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "draw_icon: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int size : {16, 32, 48}) {
        const QString file = QStringLiteral("%1/posdip-%2.png").arg(dir).arg(size);
        if (!drawIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "draw_icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
