// SPDX-License-Identifier: MIT
// Renders an SVG icon to square PNGs at the build, so the raster icons always match the artwork.
// Usage: veluna-rendericon <icon.svg> <size> <out.png> [<size> <out.png> ...]
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

bool render(QSvgRenderer &svg, int size, const QString &path)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    svg.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return QDir().mkpath(QFileInfo(path).absolutePath()) && image.save(path, "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: %s <icon.svg> <size> <out.png> [<size> <out.png> ...]\n",
                     argv[0]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "%s: cannot read %s as SVG\n", argv[0], argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; i += 2) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0 || !render(svg, size, QString::fromLocal8Bit(argv[i + 1]))) {
            std::fprintf(stderr, "%s: cannot write %s at size %s\n", argv[0], argv[i + 1], argv[i]);
            return 1;
        }
    }
    return 0;
}
