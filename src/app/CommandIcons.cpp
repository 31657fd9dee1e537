#include "app/CommandIcons.h"

#include <functional>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace quarvel {

namespace {

constexpr int kIconSize = 32;

const QColor kInk(45, 45, 55);
const QColor kBlue(40, 100, 190);
const QColor kGreen(40, 140, 70);

/// A transparent 32 x 32 pixmap drawn by draw with antialiasing on.
QIcon Drawn(const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

QPen Pen(const QColor& colour, qreal width, Qt::PenStyle style = Qt::SolidLine) {
    QPen pen(colour, width, style, Qt::RoundCap, Qt::RoundJoin);
    return pen;
}

void Folder(QPainter& p) {
    QPainterPath back;
    back.moveTo(3, 9);
    back.lineTo(3, 26);
    back.lineTo(26, 26);
    back.lineTo(26, 11);
    back.lineTo(14, 11);
    back.lineTo(11, 7);
    back.lineTo(4, 7);
    back.closeSubpath();
    p.setPen(Pen(QColor(150, 110, 20), 1.2));
    p.setBrush(QColor(240, 200, 90));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(3, 26);
    front.lineTo(8, 14);
    front.lineTo(30, 14);
    front.lineTo(26, 26);
    front.closeSubpath();
    p.setBrush(QColor(252, 222, 120));
    p.drawPath(front);
}

void Disk(QPainter& p) {
    p.setPen(Pen(QColor(20, 40, 90), 1.2));
    p.setBrush(QColor(60, 110, 200));
    p.drawRoundedRect(QRectF(4.5, 4.5, 23, 23), 2, 2);
    p.setBrush(QColor(245, 245, 245));
    p.drawRect(QRectF(9.5, 4.5, 13, 9));
    p.setBrush(QColor(200, 200, 205));
    p.drawRect(QRectF(9.5, 18.5, 13, 9));
    p.setBrush(QColor(60, 110, 200));
    p.drawRect(QRectF(18.5, 6.5, 2, 5));
}

void CurvedArrow(QPainter& p, bool toLeft) {
    p.save();
    if (!toLeft) {
        p.translate(kIconSize, 0);
        p.scale(-1, 1);
    }
    QPainterPath arc;
    arc.moveTo(9, 13);
    arc.cubicTo(14, 6, 28, 7, 26, 18);
    arc.cubicTo(25, 24, 19, 26, 15, 26);
    p.setPen(Pen(kBlue, 3.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    QPainterPath head;
    head.moveTo(3, 14);
    head.lineTo(12, 6);
    head.lineTo(13, 18);
    head.closeSubpath();
    p.setPen(Pen(kBlue, 1));
    p.setBrush(kBlue);
    p.drawPath(head);
    p.restore();
}

void Magnifier(QPainter& p) {
    p.setPen(Pen(QColor(90, 60, 30), 4.5));
    p.drawLine(QPointF(19, 19), QPointF(28, 28));
    p.setPen(Pen(kInk, 2));
    p.setBrush(QColor(215, 235, 255, 230));
    p.drawEllipse(QPointF(13, 13), 9, 9);
}

void DashedShape(QPainter& p, const std::function<void(QPainter&)>& shape) {
    p.setBrush(QColor(120, 170, 230, 60));
    p.setPen(Pen(Qt::white, 2));
    shape(p);
    p.setPen(Pen(kInk, 2, Qt::DashLine));
    shape(p);
}

}  // namespace

QIcon OpenIcon() {
    return Drawn(Folder);
}

QIcon SaveIcon() {
    return Drawn(Disk);
}

QIcon RevertIcon() {
    return Drawn([](QPainter& p) {
        p.setPen(Pen(kGreen, 3));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 20, 20), 60 * 16, 290 * 16);
        QPainterPath head;
        head.moveTo(17, 2);
        head.lineTo(25, 7);
        head.lineTo(17, 12);
        head.closeSubpath();
        p.setPen(Pen(kGreen, 1));
        p.setBrush(kGreen);
        p.drawPath(head);
    });
}

QIcon UndoIcon() {
    return Drawn([](QPainter& p) { CurvedArrow(p, true); });
}

QIcon RedoIcon() {
    return Drawn([](QPainter& p) { CurvedArrow(p, false); });
}

QIcon CopyIcon() {
    return Drawn([](QPainter& p) {
        for (const QPointF& corner : {QPointF(3.5, 3.5), QPointF(11.5, 10.5)}) {
            p.setPen(Pen(kInk, 1.2));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(corner, QSizeF(16, 19)));
            p.setPen(Pen(QColor(120, 130, 150), 1.2));
            for (int line = 0; line < 3; ++line) {
                const qreal y = corner.y() + 5 + 4 * line;
                p.drawLine(QPointF(corner.x() + 3, y), QPointF(corner.x() + 13, y));
            }
        }
    });
}

QIcon ActualSizeIcon() {
    return Drawn([](QPainter& p) {
        p.setPen(Pen(kInk, 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 6.5, 27, 19));
        QFont font;
        font.setPixelSize(13);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kBlue);
        p.drawText(QRectF(2, 6, 28, 20), Qt::AlignCenter, QStringLiteral("1:1"));
    });
}

QIcon FitOnScreenIcon() {
    return Drawn([](QPainter& p) {
        p.setPen(Pen(kInk, 1.2));
        p.setBrush(QColor(215, 235, 255));
        p.drawRect(QRectF(9.5, 9.5, 13, 13));
        p.setPen(Pen(kBlue, 2));
        const QPointF corners[] = {{3, 3}, {29, 3}, {29, 29}, {3, 29}};
        for (const QPointF& c : corners) {
            const qreal dx = c.x() < 16 ? 1 : -1;
            const qreal dy = c.y() < 16 ? 1 : -1;
            p.drawLine(c, c + QPointF(5 * dx, 5 * dy));
            p.drawLine(c, c + QPointF(4 * dx, 0));
            p.drawLine(c, c + QPointF(0, 4 * dy));
        }
    });
}

QIcon PanHandIcon() {
    return Drawn([](QPainter& p) {
        QPainterPath hand;
        // Four fingers, a thumb and the palm, as one outline.
        hand.addRoundedRect(QRectF(8, 4, 4, 15), 2, 2);
        hand.addRoundedRect(QRectF(12.5, 2, 4, 16), 2, 2);
        hand.addRoundedRect(QRectF(17, 3, 4, 15), 2, 2);
        hand.addRoundedRect(QRectF(21.5, 6, 4, 13), 2, 2);
        hand.addRoundedRect(QRectF(8, 12, 17.5, 15), 5, 5);
        QPainterPath thumb;
        thumb.moveTo(9, 22);
        thumb.lineTo(3, 15);
        thumb.quadTo(4, 12, 7, 14);
        thumb.lineTo(11, 18);
        thumb.closeSubpath();
        hand = hand.united(thumb).simplified();
        p.setPen(Pen(kInk, 1.3));
        p.setBrush(QColor(255, 228, 196));
        p.drawPath(hand);
    });
}

QIcon ZoomInOutIcon() {
    return Drawn([](QPainter& p) {
        Magnifier(p);
        p.setPen(Pen(kInk, 2));
        p.drawLine(QPointF(9, 11), QPointF(17, 11));
        p.drawLine(QPointF(13, 7), QPointF(13, 15));
        p.drawLine(QPointF(9, 17), QPointF(17, 17));
    });
}

QIcon ZoomWindowIcon() {
    return Drawn([](QPainter& p) {
        Magnifier(p);
        p.setPen(Pen(kBlue, 1.3, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(8.5, 9.5, 9, 7));
    });
}

QIcon DynamicZoomIcon() {
    return Drawn([](QPainter& p) {
        Magnifier(p);
        p.setPen(Pen(kInk, 1.8));
        p.drawLine(QPointF(13, 7), QPointF(13, 19));
        p.drawLine(QPointF(13, 7), QPointF(10, 10));
        p.drawLine(QPointF(13, 7), QPointF(16, 10));
        p.drawLine(QPointF(13, 19), QPointF(10, 16));
        p.drawLine(QPointF(13, 19), QPointF(16, 16));
    });
}

QIcon BrushIcon() {
    return Drawn([](QPainter& p) {
        p.setPen(Pen(QColor(120, 70, 30), 3.5));
        p.drawLine(QPointF(27, 4), QPointF(15, 17));
        p.setPen(Pen(QColor(150, 150, 160), 1));
        p.setBrush(QColor(190, 190, 200));
        QPolygonF ferrule{QPointF(13, 15), QPointF(17, 19), QPointF(15, 21), QPointF(11, 17)};
        p.drawPolygon(ferrule);
        QPainterPath tip;
        tip.moveTo(11, 17);
        tip.quadTo(6, 18, 5, 24);
        tip.quadTo(4, 28, 2, 29);
        tip.quadTo(11, 30, 14, 25);
        tip.quadTo(16, 22, 15, 21);
        tip.closeSubpath();
        p.setPen(Pen(Qt::black, 1));
        p.setBrush(QColor(30, 30, 30));
        p.drawPath(tip);
    });
}

QIcon SelectionRectangleIcon() {
    return Drawn(
        [](QPainter& p) { DashedShape(p, [](QPainter& q) { q.drawRect(QRectF(4, 7, 24, 18)); }); });
}

QIcon SelectionEllipseIcon() {
    return Drawn([](QPainter& p) {
        DashedShape(p, [](QPainter& q) { q.drawEllipse(QRectF(3, 7, 26, 18)); });
    });
}

QIcon FreeHandIcon() {
    return Drawn([](QPainter& p) {
        QPainterPath blob;
        blob.moveTo(6, 12);
        blob.cubicTo(8, 2, 22, 4, 26, 10);
        blob.cubicTo(31, 17, 22, 20, 24, 25);
        blob.cubicTo(25, 30, 10, 29, 8, 23);
        blob.cubicTo(6, 19, 4, 17, 6, 12);
        DashedShape(p, [&blob](QPainter& q) { q.drawPath(blob); });
    });
}

QIcon MirrorEditsIcon() {
    return Drawn([](QPainter& p) {
        // A dark spectrum whose two twin spikes, mirrored through the bright centre, are both
        // cleared (white rings joined by a dashed line).
        p.setPen(Pen(QColor(20, 30, 70), 1.2));
        p.setBrush(QColor(25, 50, 120));
        p.drawRect(QRectF(3.5, 3.5, 25, 25));
        p.setPen(Pen(QColor(170, 210, 255), 1.2, Qt::DashLine));
        p.drawLine(QPointF(9.5, 22.5), QPointF(22.5, 9.5));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 16), 2, 2);
        p.setPen(Pen(Qt::white, 1.8));
        p.setBrush(Qt::black);
        p.drawEllipse(QPointF(22.5, 9.5), 4, 4);
        p.drawEllipse(QPointF(9.5, 22.5), 4, 4);
    });
}

QIcon ImageWindowIcon() {
    return Drawn([](QPainter& p) {
        p.setPen(Pen(kInk, 1.2));
        p.setBrush(QColor(125, 185, 240));
        p.drawRect(QRectF(2.5, 5.5, 27, 21));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 214, 64));
        p.drawEllipse(QPointF(23, 11), 3, 3);
        QPainterPath hills;
        hills.moveTo(3, 26);
        hills.lineTo(3, 19);
        hills.quadTo(10, 10, 17, 19);
        hills.quadTo(23, 14, 29, 19);
        hills.lineTo(29, 26);
        hills.closeSubpath();
        p.setBrush(kGreen);
        p.drawPath(hills);
        p.setPen(Pen(kInk, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(2.5, 5.5, 27, 21));
    });
}

QIcon SpectrumWindowIcon() {
    return Drawn([](QPainter& p) {
        const QRectF square(3.5, 3.5, 25, 25);
        QRadialGradient glow(square.center(), 13);
        glow.setColorAt(0.0, Qt::white);
        glow.setColorAt(0.15, QColor(150, 200, 255));
        glow.setColorAt(0.55, QColor(30, 80, 190));
        glow.setColorAt(1.0, QColor(8, 20, 80));
        p.setPen(Pen(QColor(20, 30, 70), 1.2));
        p.setBrush(glow);
        p.drawRect(square);
        p.setPen(Pen(QColor(170, 210, 255, 200), 1));
        p.drawLine(QPointF(16, 5), QPointF(16, 27));
        p.drawLine(QPointF(5, 16), QPointF(27, 16));
    });
}

QIcon AboutIcon() {
    return Drawn([](QPainter& p) {
        p.setPen(Pen(QColor(20, 60, 140), 1.2));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(3.5, 3.5, 25, 25));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 10), 2.2, 2.2);
        p.drawRoundedRect(QRectF(14, 14, 4, 11), 1.5, 1.5);
    });
}

QIcon ManualIcon() {
    return Drawn([](QPainter& p) {
        p.setPen(Pen(QColor(90, 30, 30), 1.2));
        p.setBrush(QColor(170, 50, 50));
        p.drawRoundedRect(QRectF(5.5, 3.5, 21, 25), 2, 2);
        p.setBrush(QColor(250, 246, 235));
        p.drawRect(QRectF(8.5, 24.5, 18, 4));
        p.setPen(Pen(QColor(250, 230, 160), 1.5));
        p.drawLine(QPointF(11, 9), QPointF(22, 9));
        p.drawLine(QPointF(11, 13), QPointF(19, 13));
    });
}

QIcon ProgramIcon() {
    // The installed icon's pictures, built in as resources (packaging/icons).
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/com.quarvelsoftware.FFTQuarvel.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

}  // namespace quarvel
