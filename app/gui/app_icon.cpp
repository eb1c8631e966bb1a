#include "app/gui/app_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace tesvano {

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xbf));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // Speaker.
    QPainterPath speaker;
    speaker.moveTo(12, 26);
    speaker.lineTo(20, 26);
    speaker.lineTo(30, 16);
    speaker.lineTo(30, 48);
    speaker.lineTo(20, 38);
    speaker.lineTo(12, 38);
    speaker.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(speaker);
    // Waves.
    QPen wave(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(26, 22, 14, 20), -50 * 16, 100 * 16);
    p.drawArc(QRectF(24, 14, 24, 36), -50 * 16, 100 * 16);
    p.drawArc(QRectF(22, 6, 34, 52), -50 * 16, 100 * 16);
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64, 128}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(s)));
    return icon;
}

}  // namespace tesvano
