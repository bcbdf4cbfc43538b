// render-icons: renders SVG icons at fixed sizes at build time, so the application shows its
// tray icon without parsing SVG or reading an image format at start-up (Qt's image reader loads
// every image plugin, SVG's among them, to find a handler). Each file holds the zlib-compressed
// (qCompress) pixels of one premultiplied ARGB32 image, as QImage keeps them in memory.
// Usage: render-icons OUT_DIR SIZES SVG... (SIZES comma-separated; writes OUT_DIR/NAME-SIZE.argb)
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

namespace {

bool render(const QString& svgPath, const QString& outDir, const QList<int>& sizes) {
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-icons: cannot read %s\n", qPrintable(svgPath));
        return false;
    }
    const QString name = QFileInfo(svgPath).completeBaseName();
    for (const int size : sizes) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString out = QStringLiteral("%1/%2-%3.argb").arg(outDir, name).arg(size);
        QFile file(out);
        const QByteArray pixels(reinterpret_cast<const char*>(image.constBits()),
                                image.sizeInBytes());
        if (!file.open(QIODevice::WriteOnly) || file.write(qCompress(pixels, 9)) < 0) {
            std::fprintf(stderr, "render-icons: cannot write %s\n", qPrintable(out));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: render-icons OUT_DIR SIZES SVG...\n");
        return 2;
    }
    QList<int> sizes;
    for (const QString& s : args[2].split(u',')) {
        bool ok = false;
        const int size = s.toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "render-icons: bad size %s\n", qPrintable(s));
            return 2;
        }
        sizes.append(size);
    }
    for (qsizetype i = 3; i < args.size(); ++i) {
        if (!render(args[i], args[1], sizes))
            return 1;
    }
    return 0;
}
