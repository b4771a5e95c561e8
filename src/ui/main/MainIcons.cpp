#include "ui/main/MainIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace vm {

namespace {

QPixmap NewPixmap(int side)
{
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    return pm;
}

// Greys a picture for its disabled variant.
QPixmap Greyed(const QPixmap& source)
{
    QImage img = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = line[x];
            const int g = 120 + qGray(c) / 3;
            line[x] = qRgba(g, g, g, qAlpha(c) * 3 / 4);
        }
    }
    return QPixmap::fromImage(img);
}

void DrawEnvelope(QPainter& p, const QRectF& r, bool whole)
{
    p.setPen(QPen(QColor(70, 70, 110), 1));
    p.setBrush(whole ? QColor(255, 236, 170) : QColor(250, 250, 250));
    p.drawRect(r);
    QPainterPath flap;
    flap.moveTo(r.topLeft());
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.6);
    flap.lineTo(r.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    if (whole) {
        // Lines of text peeking out: the whole message is held.
        p.setPen(QPen(QColor(150, 110, 40), 1));
        p.drawLine(QPointF(r.left() + 3, r.bottom() - 2.5), QPointF(r.right() - 3, r.bottom() - 2.5));
    }
}

QPixmap MakeStateImage(int index)
{
    const bool disabled = index >= 6;
    const int base = index % 6;
    const bool whole = base >= 3;
    const int priority = base % 3;
    QPixmap pm = NewPixmap(kListImageSize);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    DrawEnvelope(p, QRectF(1.5, 4.5, 12, 9), whole);
    if (priority == 1) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 30, 30));
        p.drawRect(QRectF(12.5, 0.5, 2.5, 6.5));
        p.drawEllipse(QRectF(12.5, 8.5, 2.5, 2.5));
    } else if (priority == 2) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 210));
        QPainterPath arrow;
        arrow.moveTo(11, 10);
        arrow.lineTo(16, 10);
        arrow.lineTo(13.5, 15.5);
        arrow.closeSubpath();
        p.drawPath(arrow);
        p.drawRect(QRectF(12.7, 5, 1.6, 5));
    }
    p.end();
    return disabled ? Greyed(pm) : pm;
}

QPixmap MakeCheckbox(int index)
{
    QPixmap pm = NewPixmap(kListImageSize);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // The box covers rows 2..14 so that clicks there hit it.
    p.setPen(QPen(QColor(110, 110, 130), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 2, 2);
    if (index == 1) {
        p.setPen(QPen(QColor(210, 103, 7), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(4.5, 8);
        tick.lineTo(7, 10.8);
        tick.lineTo(11.8, 4.8);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    return pm;
}

void DrawBar(QPainter& p, BarImage image)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 60, 120);
    const QColor accent(210, 103, 7);
    switch (image) {
    case BarImage::Refresh: {
        DrawEnvelope(p, QRectF(3.5, 10.5, 20, 14), false);
        p.setPen(QPen(accent, 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(14, 4, 15, 15), 30 * 16, 250 * 16);
        QPainterPath head;
        head.moveTo(29, 5);
        head.lineTo(29.5, 13);
        head.lineTo(22, 10);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawPath(head);
        break;
    }
    case BarImage::ComposeNew: {
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 3.5, 17, 24));
        p.setPen(QPen(QColor(150, 150, 170), 1));
        for (int y = 9; y <= 22; y += 4)
            p.drawLine(QPointF(8, y + 0.5), QPointF(20, y + 0.5));
        p.setPen(QPen(accent, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(27, 9), QPointF(16, 24));
        p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 24), QPointF(14.5, 27.5));
        break;
    }
    case BarImage::Client: {
        p.setPen(QPen(ink, 1.5));
        p.setBrush(QColor(200, 225, 250));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(10, 3, 12, 26));
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
        p.drawLine(QPointF(16, 3), QPointF(16, 29));
        DrawEnvelope(p, QRectF(15.5, 17.5, 14, 10), false);
        break;
    }
    case BarImage::AddressBook: {
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(150, 40, 40));
        p.drawRoundedRect(QRectF(6.5, 3.5, 20, 25), 2, 2);
        p.setBrush(QColor(250, 245, 230));
        p.drawRect(QRectF(10.5, 6.5, 13, 19));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QRectF(14, 9, 6, 6));
        p.drawRoundedRect(QRectF(12.5, 16, 9, 6), 3, 3);
        p.setBrush(QColor(220, 200, 120));
        for (int y = 7; y <= 23; y += 5)
            p.drawRect(QRectF(4, y, 4, 2));
        break;
    }
    case BarImage::Settings: {
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(150, 160, 180));
        QPainterPath gear;
        const QPointF c(16, 16);
        for (int i = 0; i < 16; ++i) {
            const double a = i * 3.14159265 / 8;
            const double r = (i % 2 == 0) ? 13.5 : 10;
            const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
            if (i == 0)
                gear.moveTo(pt);
            else
                gear.lineTo(pt);
        }
        gear.closeSubpath();
        p.drawPath(gear);
        p.setBrush(Qt::white);
        p.drawEllipse(c, 4.5, 4.5);
        break;
    }
    case BarImage::Info: {
        p.setPen(QPen(ink, 1.5));
        p.setBrush(QColor(60, 110, 200));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(14, 7.5, 4, 4));
        p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1.5, 1.5);
        break;
    }
    case BarImage::ToTray: {
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(220, 225, 235));
        p.drawRect(QRectF(3.5, 23.5, 25, 5));
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        QPainterPath arrow;
        arrow.moveTo(12, 3);
        arrow.lineTo(20, 3);
        arrow.lineTo(20, 12);
        arrow.lineTo(25, 12);
        arrow.lineTo(16, 21);
        arrow.lineTo(7, 12);
        arrow.lineTo(12, 12);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    case BarImage::Exit: {
        p.setPen(QPen(QColor(190, 30, 30), 3.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(5, 6, 22, 22), 120 * 16, 300 * 16);
        p.drawLine(QPointF(16, 3.5), QPointF(16, 15));
        break;
    }
    }
}

// A triangle pointing left or right, with an optional bar at its tip.
void DrawStep(QPainter& p, bool right, bool bar, const QColor& ink)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    QPainterPath tri;
    if (right) {
        tri.moveTo(9, 7);
        tri.lineTo(22, 16);
        tri.lineTo(9, 25);
    } else {
        tri.moveTo(23, 7);
        tri.lineTo(10, 16);
        tri.lineTo(23, 25);
    }
    tri.closeSubpath();
    p.drawPath(tri);
    if (bar)
        p.drawRect(right ? QRectF(22.5, 7, 3, 18) : QRectF(6.5, 7, 3, 18));
}

// A curved arrow leaving an envelope to the left (reply) or right (forward).
void DrawSendArrow(QPainter& p, bool right, const QColor& accent)
{
    DrawEnvelope(p, QRectF(6.5, 14.5, 20, 14), false);
    p.setPen(QPen(accent, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath curve;
    const double dir = right ? 1 : -1;
    curve.moveTo(16 - dir * 7, 16);
    curve.quadTo(16 - dir * 7, 6, 16 + dir * 6, 6);
    p.drawPath(curve);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    QPainterPath head;
    head.moveTo(16 + dir * 12, 6);
    head.lineTo(16 + dir * 5, 1);
    head.lineTo(16 + dir * 5, 11);
    head.closeSubpath();
    p.drawPath(head);
}

void DrawPane(QPainter& p, PaneImage image)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 60, 120);
    const QColor accent(210, 103, 7);
    switch (image) {
    case PaneImage::First:
        DrawStep(p, false, true, ink);
        break;
    case PaneImage::Previous:
        DrawStep(p, false, false, ink);
        break;
    case PaneImage::Next:
        DrawStep(p, true, false, ink);
        break;
    case PaneImage::Last:
        DrawStep(p, true, true, ink);
        break;
    case PaneImage::Search:
        p.setPen(QPen(ink, 3));
        p.setBrush(QColor(220, 235, 250));
        p.drawEllipse(QRectF(5, 5, 15, 15));
        p.setPen(QPen(accent, 4.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19, 19), QPointF(27, 27));
        break;
    case PaneImage::UncheckNew:
        DrawEnvelope(p, QRectF(3.5, 10.5, 22, 15), false);
        p.setPen(QPen(QColor(40, 140, 60), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(17, 18), QPointF(21.5, 23), QPointF(29, 11)}));
        break;
    case PaneImage::Delete:
        DrawEnvelope(p, QRectF(3.5, 8.5, 22, 15), false);
        p.setPen(QPen(QColor(200, 30, 30), 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(17, 15), QPointF(28, 26));
        p.drawLine(QPointF(28, 15), QPointF(17, 26));
        break;
    case PaneImage::Download: {
        DrawEnvelope(p, QRectF(5.5, 15.5, 21, 13), true);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        QPainterPath arrow;
        arrow.moveTo(13, 2);
        arrow.lineTo(19, 2);
        arrow.lineTo(19, 8);
        arrow.lineTo(23, 8);
        arrow.lineTo(16, 15);
        arrow.lineTo(9, 8);
        arrow.lineTo(13, 8);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    case PaneImage::Reply:
        DrawSendArrow(p, false, accent);
        break;
    case PaneImage::Forward:
        DrawSendArrow(p, true, accent);
        break;
    case PaneImage::Details:
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 3.5, 19, 25));
        p.setPen(QPen(QColor(150, 150, 170), 1.5));
        for (int y = 9; y <= 23; y += 4)
            p.drawLine(QPointF(10, y), QPointF(22, y));
        break;
    case PaneImage::Attachments: {
        p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath clip;
        clip.moveTo(20, 10);
        clip.lineTo(20, 23);
        clip.arcTo(QRectF(13, 19, 7, 7), 0, -180);
        clip.lineTo(13, 7);
        clip.arcTo(QRectF(13, 3, 11, 8), 180, -180);
        clip.lineTo(24, 25);
        clip.arcTo(QRectF(9, 21, 15, 9), 0, -180);
        clip.lineTo(9, 11);
        p.drawPath(clip);
        break;
    }
    case PaneImage::HidePreview:
    case PaneImage::ShowPreview: {
        // A window with its lower half shaded and an arrow down (hide) or up.
        const bool hide = image == PaneImage::HidePreview;
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 4.5, 23, 23));
        p.setBrush(QColor(200, 215, 235));
        p.drawRect(QRectF(4.5, 16.5, 23, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        QPainterPath arrow;
        const double tip = hide ? 25 : 7;
        const double base = hide ? 15 : 17;
        arrow.moveTo(16, tip);
        arrow.lineTo(10, base);
        arrow.lineTo(22, base);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    }
}

} // namespace

QPixmap PaneToolImage(PaneImage image, bool disabled)
{
    static QHash<int, QPixmap> cache;
    const int key = static_cast<int>(image) * 2 + (disabled ? 1 : 0);
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    QPixmap pm = NewPixmap(32);
    {
        QPainter p(&pm);
        DrawPane(p, image);
    }
    if (image == PaneImage::ShowPreview)
        pm = pm.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (disabled)
        pm = Greyed(pm);
    cache.insert(key, pm);
    return pm;
}

QPixmap ListStateImage(int index)
{
    static QHash<int, QPixmap> cache;
    if (index < 0 || index > 11)
        return {};
    auto it = cache.find(index);
    if (it == cache.end())
        it = cache.insert(index, MakeStateImage(index));
    return *it;
}

QPixmap ListCheckboxImage(int index)
{
    static QPixmap images[2];
    const int i = index == 1 ? 1 : 0;
    if (images[i].isNull())
        images[i] = MakeCheckbox(i);
    return images[i];
}

QPixmap BottomBarImage(BarImage image, bool disabled)
{
    static QHash<int, QPixmap> cache;
    const int key = static_cast<int>(image) * 2 + (disabled ? 1 : 0);
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    QPixmap pm = NewPixmap(32);
    {
        QPainter p(&pm);
        DrawBar(p, image);
    }
    if (disabled)
        pm = Greyed(pm);
    cache.insert(key, pm);
    return pm;
}

QPixmap AbortImage(bool busy)
{
    static QPixmap images[2];
    QPixmap& pm = images[busy ? 1 : 0];
    if (pm.isNull()) {
        pm = NewPixmap(16);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath oct;
        for (int i = 0; i < 8; ++i) {
            const double a = (i + 0.5) * 3.14159265 / 4;
            const QPointF pt(8 + 7 * std::cos(a), 8 + 7 * std::sin(a));
            if (i == 0)
                oct.moveTo(pt);
            else
                oct.lineTo(pt);
        }
        oct.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(busy ? QColor(200, 30, 30) : QColor(170, 170, 170));
        p.drawPath(oct);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 7, 8, 2));
    }
    return pm;
}

QPixmap LockImage(bool locked)
{
    static QPixmap images[2];
    QPixmap& pm = images[locked ? 1 : 0];
    if (pm.isNull()) {
        pm = NewPixmap(16);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(90, 90, 100), 1.8));
        p.setBrush(Qt::NoBrush);
        if (locked)
            p.drawArc(QRectF(4, 1.5, 8, 10), 0, 180 * 16);
        else
            p.drawArc(QRectF(8, 0.5, 7, 9), 0, 180 * 16);
        if (locked) {
            p.drawLine(QPointF(4, 6.5), QPointF(4, 8));
            p.drawLine(QPointF(12, 6.5), QPointF(12, 8));
        } else {
            p.drawLine(QPointF(15, 5), QPointF(15, 8));
        }
        p.setPen(QPen(QColor(120, 90, 20), 1));
        p.setBrush(locked ? QColor(230, 180, 40) : QColor(200, 200, 200));
        p.drawRoundedRect(QRectF(2.5, 7.5, 11, 8), 1.5, 1.5);
    }
    return pm;
}

QPixmap AttentionImage()
{
    static QPixmap pm;
    if (pm.isNull()) {
        pm = NewPixmap(16);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        // A red warning triangle with an exclamation mark.
        QPolygonF triangle;
        triangle << QPointF(8, 1) << QPointF(15.5, 14.5) << QPointF(0.5, 14.5);
        p.setPen(QPen(QColor(150, 20, 20), 1));
        p.setBrush(QColor(215, 40, 40));
        p.drawPolygon(triangle);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 5, 2, 5.5));
        p.drawRect(QRectF(7, 11.5, 2, 2));
    }
    return pm;
}

} // namespace vm
