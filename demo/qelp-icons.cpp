// Draws the message window's four dialog-type icons and writes them as .ico files:
// 1 warning, 2 error, 3 information, 4 question. Shapes only, no fonts, so the icons come
// out the same on every machine.
//
//   qelp-icons <output directory>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

constexpr int kSize = 32;

void Disc(QPainter& p, const QColor& fill, const QColor& rim) {
    p.setPen(QPen(rim, 1.5));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, kSize - 3, kSize - 3));
}

QImage Warning() {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(16, 2.5);
    triangle.lineTo(30, 28.5);
    triangle.lineTo(2, 28.5);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(120, 90, 0), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 204, 0));
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(14.5, 10, 3, 11), 1.5, 1.5);
    p.drawEllipse(QRectF(14.3, 22.5, 3.4, 3.4));
    return image;
}

QImage Error() {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Disc(p, QColor(214, 40, 40), QColor(130, 10, 10));
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
    p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
    return image;
}

QImage Information() {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Disc(p, QColor(40, 110, 210), QColor(15, 55, 130));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(14, 6.5, 4, 4));
    p.drawRoundedRect(QRectF(14.25, 13, 3.5, 12.5), 1.2, 1.2);
    return image;
}

QImage Question() {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Disc(p, QColor(30, 150, 110), QColor(10, 85, 60));
    QPainterPath hook;
    hook.moveTo(11, 12.5);
    hook.arcTo(QRectF(11, 6.5, 10, 10), 180, -250);
    hook.quadTo(16, 17.5, 16, 20);
    p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(14.2, 22.5, 3.6, 3.6));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qelp-icons <output directory>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "qelp-icons: cannot create %s\n", argv[1]);
        return 1;
    }
    const QImage icons[] = {Warning(), Error(), Information(), Question()};
    for (int i = 0; i < 4; ++i) {
        const QString path = out.filePath(QStringLiteral("%1.ico").arg(i + 1));
        QImageWriter writer(path, "ico");
        if (!writer.write(icons[i])) {
            std::fprintf(stderr, "qelp-icons: cannot write %s: %s\n", qPrintable(path),
                         qPrintable(writer.errorString()));
            return 1;
        }
    }
    return 0;
}
