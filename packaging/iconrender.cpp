// Renders the program's SVG icon to the PNG sizes of the hicolor theme.
// Usage: velocimo_iconrender SVG OUTPUT_DIR NAME SIZE...
// writes OUTPUT_DIR/<SIZE>x<SIZE>/apps/NAME.png for each size.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: velocimo_iconrender SVG OUTPUT_DIR NAME SIZE...\n");
        return 2;
    }
    // Runs during the build, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "velocimo_iconrender: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString name = QString::fromLocal8Bit(argv[3]);
    for (int i = 4; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "velocimo_iconrender: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            svg.render(&painter);
        }
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !image.save(path)) {
            std::fprintf(stderr, "velocimo_iconrender: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
