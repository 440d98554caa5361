// Draws the program's icon from its SVG at every size the desktop's icon theme gets.
// Run at build time: draw_icon SVG OUTPUT_DIR SIZE... writes OUTPUT_DIR/posdip-SIZE.png.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SVG OUTPUT_DIR SIZE...\n", argv[0]);
        return 2;
    }
    QSvgRenderer svg{QString::fromLocal8Bit(argv[1])};
    if (!svg.isValid()) {
        std::fprintf(stderr, "draw_icon: %s is not a valid SVG file\n", argv[1]);
        return 1;
    }
    const QString dir = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "draw_icon: cannot create %s\n", argv[2]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 1) {
            std::fprintf(stderr, "draw_icon: '%s' is not a size in pixels\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        painter.end();
        const QString file = QStringLiteral("%1/posdip-%2.png").arg(dir).arg(size);
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "draw_icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
