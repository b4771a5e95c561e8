#include "ui/main/MainIcons.h"

#include <QHash>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <functional>

namespace vm {

namespace {

const QColor kInk(40, 60, 120);
const QColor kAccent(210, 103, 7);

// A transparent side x side picture painted by draw with antialiasing.
QPixmap Painted(int side, const std::function<void(QPainter&)>& draw)
{
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return pm;
}

// The picture under key in cache, made by make the first time.
QPixmap Cached(QHash<int, QPixmap>& cache, int key, const std::function<QPixmap()>& make)
{
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, make());
    return *it;
}

// A closed outline through points, in their order.
QPainterPath ClosedPath(const QList<QPointF>& points)
{
    QPainterPath path;
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (i == 0)
            path.moveTo(points[i]);
        else
            path.lineTo(points[i]);
    }
    path.closeSubpath();
    return path;
}

// A closed outline through count points around center, the i-th at angle
// (i + turn) * pi / (count / 2) and at distance radius(i).
QPainterPath RoundPath(const QPointF& center, int count, double turn,
                       const std::function<double(int)>& radius)
{
    QList<QPointF> points;
    for (int i = 0; i < count; ++i) {
        const double a = (i + turn) * 3.14159265 / (count / 2);
        points.append(
            QPointF(center.x() + radius(i) * std::cos(a), center.y() + radius(i) * std::sin(a)));
    }
    return ClosedPath(points);
}

// Fills path with colour and no outline; the brush stays for what follows.
void FillPath(QPainter& p, const QPainterPath& path, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

// An arrow pointing down along x = middle: its shaft from top to headTop,
// shaftHalf to each side, its head headHalf to each side with the tip at tip.
QPainterPath DownArrow(double middle, double top, double shaftHalf, double headTop, double headHalf,
                       double tip)
{
    return ClosedPath({{middle - shaftHalf, top},
                       {middle + shaftHalf, top},
                       {middle + shaftHalf, headTop},
                       {middle + headHalf, headTop},
                       {middle, tip},
                       {middle - headHalf, headTop},
                       {middle - shaftHalf, headTop}});
}

// A white sheet with four ruled lines, 4 pixels apart, the first firstLine.
void DrawRuledPage(QPainter& p, const QRectF& sheet, double lineWidth, const QLineF& firstLine)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::white);
    p.drawRect(sheet);
    p.setPen(QPen(QColor(150, 150, 170), lineWidth));
    for (int i = 0; i < 4; ++i)
        p.drawLine(firstLine.translated(0, i * 4));
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
    QPixmap pm = Painted(kListImageSize, [&](QPainter& p) {
        DrawEnvelope(p, QRectF(1.5, 4.5, 12, 9), whole);
        if (priority == 1) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(210, 30, 30));
            p.drawRect(QRectF(12.5, 0.5, 2.5, 6.5));
            p.drawEllipse(QRectF(12.5, 8.5, 2.5, 2.5));
        } else if (priority == 2) {
            FillPath(p, ClosedPath({{11, 10}, {16, 10}, {13.5, 15.5}}), QColor(30, 90, 210));
            p.drawRect(QRectF(12.7, 5, 1.6, 5));
        }
    });
    return disabled ? Greyed(pm) : pm;
}

void DrawCheckbox(QPainter& p, int index)
{
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
}

void DrawBar(QPainter& p, BarImage image)
{
    switch (image) {
    case BarImage::Refresh: {
        DrawEnvelope(p, QRectF(3.5, 10.5, 20, 14), false);
        p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(14, 4, 15, 15), 30 * 16, 250 * 16);
        FillPath(p, ClosedPath({{29, 5}, {29.5, 13}, {22, 10}}), kAccent);
        break;
    }
    case BarImage::ComposeNew: {
        DrawRuledPage(p, QRectF(5.5, 3.5, 17, 24), 1, QLineF(8, 9.5, 20, 9.5));
        p.setPen(QPen(kAccent, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(27, 9), QPointF(16, 24));
        p.setPen(QPen(kInk, 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 24), QPointF(14.5, 27.5));
        break;
    }
    case BarImage::Client: {
        p.setPen(QPen(kInk, 1.5));
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
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(150, 40, 40));
        p.drawRoundedRect(QRectF(6.5, 3.5, 20, 25), 2, 2);
        p.setBrush(QColor(250, 245, 230));
        p.drawRect(QRectF(10.5, 6.5, 13, 19));
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawEllipse(QRectF(14, 9, 6, 6));
        p.drawRoundedRect(QRectF(12.5, 16, 9, 6), 3, 3);
        p.setBrush(QColor(220, 200, 120));
        for (int y = 7; y <= 23; y += 5)
            p.drawRect(QRectF(4, y, 4, 2));
        break;
    }
    case BarImage::Settings: {
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(150, 160, 180));
        const QPointF c(16, 16);
        p.drawPath(RoundPath(c, 16, 0, [](int i) { return (i % 2 == 0) ? 13.5 : 10; }));
        p.setBrush(Qt::white);
        p.drawEllipse(c, 4.5, 4.5);
        break;
    }
    case BarImage::Info: {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(60, 110, 200));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(14, 7.5, 4, 4));
        p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1.5, 1.5);
        break;
    }
    case BarImage::ToTray: {
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(220, 225, 235));
        p.drawRect(QRectF(3.5, 23.5, 25, 5));
        FillPath(p, DownArrow(16, 3, 4, 12, 9, 21), kAccent);
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
void DrawStep(QPainter& p, bool right, bool bar)
{
    FillPath(p,
             right ? ClosedPath({{9, 7}, {22, 16}, {9, 25}})
                   : ClosedPath({{23, 7}, {10, 16}, {23, 25}}),
             kInk);
    if (bar)
        p.drawRect(right ? QRectF(22.5, 7, 3, 18) : QRectF(6.5, 7, 3, 18));
}

// A curved arrow leaving an envelope to the left (reply) or right (forward).
void DrawSendArrow(QPainter& p, bool right)
{
    DrawEnvelope(p, QRectF(6.5, 14.5, 20, 14), false);
    p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath curve;
    const double dir = right ? 1 : -1;
    curve.moveTo(16 - dir * 7, 16);
    curve.quadTo(16 - dir * 7, 6, 16 + dir * 6, 6);
    p.drawPath(curve);
    FillPath(p, ClosedPath({{16 + dir * 12, 6}, {16 + dir * 5, 1}, {16 + dir * 5, 11}}), kAccent);
}

void DrawPane(QPainter& p, PaneImage image)
{
    switch (image) {
    case PaneImage::First:
    case PaneImage::Previous:
    case PaneImage::Next:
    case PaneImage::Last:
        DrawStep(p, image == PaneImage::Next || image == PaneImage::Last,
                 image == PaneImage::First || image == PaneImage::Last);
        break;
    case PaneImage::Search:
        p.setPen(QPen(kInk, 3));
        p.setBrush(QColor(220, 235, 250));
        p.drawEllipse(QRectF(5, 5, 15, 15));
        p.setPen(QPen(kAccent, 4.5, Qt::SolidLine, Qt::RoundCap));
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
        FillPath(p, DownArrow(16, 2, 3, 8, 7, 15), kAccent);
        break;
    }
    case PaneImage::Reply:
    case PaneImage::Forward:
        DrawSendArrow(p, image == PaneImage::Forward);
        break;
    case PaneImage::Details:
        DrawRuledPage(p, QRectF(6.5, 3.5, 19, 25), 1.5, QLineF(10, 9, 22, 9));
        break;
    case PaneImage::Attachments: {
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
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
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 4.5, 23, 23));
        p.setBrush(QColor(200, 215, 235));
        p.drawRect(QRectF(4.5, 16.5, 23, 11));
        const double tip = hide ? 25 : 7;
        const double base = hide ? 15 : 17;
        FillPath(p, ClosedPath({{16, tip}, {10, base}, {22, base}}), kAccent);
        break;
    }
    }
}

} // namespace

QPixmap PaneToolImage(PaneImage image, bool disabled)
{
    static QHash<int, QPixmap> cache;
    return Cached(cache, static_cast<int>(image) * 2 + (disabled ? 1 : 0), [&] {
        QPixmap pm = Painted(32, [&](QPainter& p) { DrawPane(p, image); });
        if (image == PaneImage::ShowPreview)
            pm = pm.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return disabled ? Greyed(pm) : pm;
    });
}

QPixmap ListStateImage(int index)
{
    static QHash<int, QPixmap> cache;
    if (index < 0 || index > 11)
        return {};
    return Cached(cache, index, [&] { return MakeStateImage(index); });
}

QPixmap ListCheckboxImage(int index)
{
    static QHash<int, QPixmap> cache;
    const int i = index == 1 ? 1 : 0;
    return Cached(cache, i, [&] {
        return Painted(kListImageSize, [&](QPainter& p) { DrawCheckbox(p, i); });
    });
}

QPixmap BottomBarImage(BarImage image, bool disabled)
{
    static QHash<int, QPixmap> cache;
    return Cached(cache, static_cast<int>(image) * 2 + (disabled ? 1 : 0), [&] {
        const QPixmap pm = Painted(32, [&](QPainter& p) { DrawBar(p, image); });
        return disabled ? Greyed(pm) : pm;
    });
}

QPixmap AbortImage(bool busy)
{
    static QHash<int, QPixmap> cache;
    return Cached(cache, busy ? 1 : 0, [&] {
        return Painted(16, [&](QPainter& p) {
            FillPath(p, RoundPath(QPointF(8, 8), 8, 0.5, [](int) { return 7.0; }),
                     busy ? QColor(200, 30, 30) : QColor(170, 170, 170));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4, 7, 8, 2));
        });
    });
}

QPixmap LockImage(bool locked)
{
    static QHash<int, QPixmap> cache;
    return Cached(cache, locked ? 1 : 0, [&] {
        return Painted(16, [&](QPainter& p) {
            p.setPen(QPen(QColor(90, 90, 100), 1.8));
            p.setBrush(Qt::NoBrush);
            if (locked) {
                p.drawArc(QRectF(4, 1.5, 8, 10), 0, 180 * 16);
                p.drawLine(QPointF(4, 6.5), QPointF(4, 8));
                p.drawLine(QPointF(12, 6.5), QPointF(12, 8));
            } else {
                p.drawArc(QRectF(8, 0.5, 7, 9), 0, 180 * 16);
                p.drawLine(QPointF(15, 5), QPointF(15, 8));
            }
            p.setPen(QPen(QColor(120, 90, 20), 1));
            p.setBrush(locked ? QColor(230, 180, 40) : QColor(200, 200, 200));
            p.drawRoundedRect(QRectF(2.5, 7.5, 11, 8), 1.5, 1.5);
        });
    });
}

QPixmap AttentionImage()
{
    static QHash<int, QPixmap> cache;
    return Cached(cache, 0, [] {
        return Painted(16, [](QPainter& p) {
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
        });
    });
}

} // namespace vm
