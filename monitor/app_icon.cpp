#include "monitor/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVector>

namespace fanbench::monitor {

namespace {
// The classic 16-colour palette.
const QVector<QRgb> kPalette = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}  // namespace

QImage appIconImage() {
    QImage art(32, 32, QImage::Format_ARGB32);
    art.fill(Qt::transparent);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Frame of the fan: a grey square with mounting holes.
    p.setPen(QColor(kPalette[0]));
    p.setBrush(QColor(kPalette[8]));
    p.drawRoundedRect(1, 1, 29, 29, 4, 4);
    p.setBrush(QColor(kPalette[7]));
    p.drawEllipse(QPoint(16, 16), 13, 13);
    p.setBrush(QColor(kPalette[0]));
    for (QPoint hole : {QPoint(4, 4), QPoint(27, 4), QPoint(4, 27), QPoint(27, 27)}) {
        p.drawEllipse(hole, 1, 1);
    }
    // Four blades around the hub, in blue, and a red hub.
    p.setBrush(QColor(kPalette[12]));
    p.setPen(QColor(kPalette[4]));
    for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(16, 16);
        p.rotate(90.0 * i + 20.0);
        QPainterPath blade;
        blade.moveTo(0, -3);
        blade.cubicTo(5, -7, 9, -6, 11, -2);
        blade.cubicTo(8, 0, 4, 1, 0, 3);
        blade.closeSubpath();
        p.drawPath(blade);
        p.restore();
    }
    p.setBrush(QColor(kPalette[9]));
    p.setPen(QColor(kPalette[1]));
    p.drawEllipse(QPoint(16, 16), 3, 3);
    p.end();

    QImage indexed = art.convertToFormat(QImage::Format_Indexed8, kPalette, Qt::ThresholdDither);
    // Keep the corners transparent: add a 17th, transparent entry only for the mask.
    QImage result = indexed.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (qAlpha(art.pixel(x, y)) < 128) result.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
    }
    return result;
}

QIcon appIcon() {
    return QIcon(QPixmap::fromImage(appIconImage()));
}

}  // namespace fanbench::monitor
