// Drawing of the navigation tree's images. Every image is made of a few glyphs (page, folder,
// cube, spool, braces, magnifier, circling arrow), each drawn into a rectangle of the 16-pixel grid, so
// that a folder's mark is the same glyph as the node it lists, only smaller. A mark sits on the
// folder's lower right corner with a white halo around it that keeps it apart from the folder.
#include "NaviIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// The palette, shared by all images so that they read as one set.
const QColor OutlineGrey(0x5E, 0x6B, 0x7D);
const QColor PaperTop(0xFF, 0xFF, 0xFF);
const QColor PaperBottom(0xE4, 0xEA, 0xF2);
const QColor TextLine(0x6F, 0x9B, 0xD1);
const QColor FolderBack(0xE0, 0xA8, 0x3A);
const QColor FolderFrontTop(0xFF, 0xDC, 0x7A);
const QColor FolderFrontBottom(0xF2, 0xB6, 0x40);
const QColor FolderOutline(0x9A, 0x68, 0x14);
const QColor CubeTop(0xCD, 0xB2, 0xF6);
const QColor CubeLeft(0x93, 0x62, 0xDC);
const QColor CubeRight(0x6C, 0x3F, 0xBA);
const QColor CubeOutline(0x46, 0x27, 0x85);
const QColor ThreadGreen(0x3F, 0xB5, 0x5E);
const QColor ThreadDark(0x1D, 0x6B, 0x34);
const QColor Wood(0xC8, 0x8E, 0x52);
const QColor WoodDark(0x7E, 0x50, 0x22);
const QColor BraceBlue(0x2F, 0x6F, 0xD0);
const QColor LensRim(0x4A, 0x55, 0x63);
const QColor LensGlass(0xCF, 0xE8, 0xFB);
const QColor LoopRed(0xD2, 0x3F, 0x31);
const QColor Halo(0xFF, 0xFF, 0xFF);

// How a glyph is inked: in its colours, or as the white halo under a folder's mark, which is
// the same shape in white with every stroke widened.
struct Ink {
    bool halo = false;

    QColor Colour(const QColor& colour) const { return halo ? Halo : colour; }
    QPen Pen(const QColor& colour, qreal width) const
    {
        QPen pen(Colour(colour), halo ? width + 2.0 : width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        return pen;
    }
    QBrush Brush(const QBrush& brush) const { return halo ? QBrush(Halo) : brush; }
};

// A point of rect given in fractions of its width and height.
QPointF At(const QRectF& rect, qreal x, qreal y)
{
    return {rect.left() + x * rect.width(), rect.top() + y * rect.height()};
}

// A spool of thread: two wooden flanges with the green thread wound between them.
void DrawSpool(QPainter& painter, const QRectF& rect, const Ink& ink, qreal width)
{
    const QRectF body(At(rect, 0.16, 0.16), At(rect, 0.84, 0.84));
    painter.setPen(ink.Pen(ThreadDark, width));
    painter.setBrush(ink.Brush(ThreadGreen));
    painter.drawRect(body);
    if (!ink.halo) {
        // The windings: a few slanted strokes across the body.
        painter.setPen(QPen(ThreadDark, width * 0.6));
        for (qreal y : {0.36, 0.52, 0.68}) {
            painter.drawLine(At(rect, 0.22, y + 0.06), At(rect, 0.78, y - 0.06));
        }
    }
    painter.setPen(ink.Pen(WoodDark, width));
    painter.setBrush(ink.Brush(Wood));
    const qreal radius = rect.width() * 0.06;
    painter.drawRoundedRect(QRectF(At(rect, 0.0, 0.0), At(rect, 1.0, 0.2)), radius, radius);
    painter.drawRoundedRect(QRectF(At(rect, 0.0, 0.8), At(rect, 1.0, 1.0)), radius, radius);
}

// A cube seen from above, the usual mark of a method: light top, two shaded sides.
void DrawCube(QPainter& painter, const QRectF& rect, const Ink& ink, qreal width)
{
    const QPointF top = At(rect, 0.5, 0.0);
    const QPointF upperRight = At(rect, 1.0, 0.27);
    const QPointF lowerRight = At(rect, 1.0, 0.75);
    const QPointF bottom = At(rect, 0.5, 1.0);
    const QPointF lowerLeft = At(rect, 0.0, 0.75);
    const QPointF upperLeft = At(rect, 0.0, 0.27);
    const QPointF centre = At(rect, 0.5, 0.52);

    painter.setPen(Qt::NoPen);
    painter.setBrush(ink.Brush(CubeTop));
    painter.drawPolygon(QPolygonF({top, upperRight, centre, upperLeft}));
    painter.setBrush(ink.Brush(CubeLeft));
    painter.drawPolygon(QPolygonF({upperLeft, centre, bottom, lowerLeft}));
    painter.setBrush(ink.Brush(CubeRight));
    painter.drawPolygon(QPolygonF({centre, upperRight, lowerRight, bottom}));

    painter.setBrush(Qt::NoBrush);
    painter.setPen(ink.Pen(CubeOutline, width));
    painter.drawPolygon(QPolygonF({top, upperRight, lowerRight, bottom, lowerLeft, upperLeft}));
    if (!ink.halo) {
        painter.setPen(ink.Pen(CubeOutline.lighter(140), width * 0.7));
        painter.drawPolyline(QPolygonF({upperLeft, centre, upperRight}));
        painter.drawLine(centre, bottom);
    }
}

// A pair of curly braces, the mark of a namespace.
void DrawBraces(QPainter& painter, const QRectF& rect, const Ink& ink, qreal width)
{
    const auto brace = [&](qreal outer, qreal inner) {
        // outer is the x of the brace's ends, inner the x of its middle point.
        const qreal mid = (outer + inner) / 2;
        QPainterPath path(At(rect, outer, 0.04));
        path.cubicTo(At(rect, mid, 0.04), At(rect, mid, 0.10), At(rect, mid, 0.22));
        path.lineTo(At(rect, mid, 0.36));
        path.cubicTo(At(rect, mid, 0.46), At(rect, inner, 0.50), At(rect, inner, 0.50));
        path.cubicTo(At(rect, inner, 0.50), At(rect, mid, 0.54), At(rect, mid, 0.64));
        path.lineTo(At(rect, mid, 0.78));
        path.cubicTo(At(rect, mid, 0.90), At(rect, mid, 0.96), At(rect, outer, 0.96));
        return path;
    };
    if (ink.halo) {
        // Braces enclose a gap that a traced halo would leave in the folder's colour: the halo of
        // this mark is a whole white tag.
        painter.setPen(Qt::NoPen);
        painter.setBrush(Halo);
        painter.drawRoundedRect(rect.adjusted(-width, -width, width, width), 1.5, 1.5);
        return;
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(ink.Pen(BraceBlue, width));
    painter.drawPath(brace(0.36, 0.04));
    painter.drawPath(brace(0.64, 0.96));
}

// A magnifying glass, the mark of a search.
void DrawMagnifier(QPainter& painter, const QRectF& rect, const Ink& ink, qreal width)
{
    const QRectF lens(At(rect, 0.04, 0.04), At(rect, 0.66, 0.66));
    painter.setPen(ink.Pen(LensRim, width * 1.8));
    painter.drawLine(At(rect, 0.60, 0.60), At(rect, 0.92, 0.92));
    painter.setPen(ink.Pen(LensRim, width));
    painter.setBrush(ink.Brush(LensGlass));
    painter.drawEllipse(lens);
    if (!ink.halo) {
        painter.setPen(ink.Pen(Halo, width * 0.8));
        painter.drawArc(lens.adjusted(rect.width() * 0.12, rect.height() * 0.12, -rect.width() * 0.12,
                                      -rect.height() * 0.12),
                        100 * 16, 70 * 16);
    }
}

// A circling arrow that never arrives, the mark of calls that never returned.
void DrawCircling(QPainter& painter, const QRectF& rect, const Ink& ink, qreal width)
{
    const QPointF centre = rect.center();
    const qreal radius = rect.width() * 0.36;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(ink.Pen(LoopRed, width));
    // Clockwise from eleven o'clock round to nine (Qt counts sixteenths of a degree,
    // counter-clockwise from three o'clock).
    painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 120 * 16, -290 * 16);
    // The head at nine o'clock, pointing up into the gap.
    const qreal x = centre.x() - radius;
    const QPolygonF head({QPointF(x, centre.y() - 0.85 * radius), QPointF(x + 0.6 * radius, centre.y() + 0.05 * radius),
                          QPointF(x - 0.6 * radius, centre.y() + 0.05 * radius)});
    painter.setPen(ink.Pen(LoopRed, ink.halo ? width : 0.5));
    painter.setBrush(ink.Brush(LoopRed));
    painter.drawPolygon(head);
}

// A sheet of paper with a folded corner and lines of text.
void DrawPage(QPainter& painter)
{
    QPainterPath sheet(QPointF(3.5, 1.5));
    sheet.lineTo(9.5, 1.5);
    sheet.lineTo(12.5, 4.5);
    sheet.lineTo(12.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    QLinearGradient paper(0, 1.5, 0, 14.5);
    paper.setColorAt(0, PaperTop);
    paper.setColorAt(1, PaperBottom);
    painter.setBrush(paper);
    painter.setPen(QPen(OutlineGrey, 1.0));
    painter.drawPath(sheet);

    painter.setBrush(PaperBottom);
    painter.drawPolygon(QPolygonF({QPointF(9.5, 1.5), QPointF(9.5, 4.5), QPointF(12.5, 4.5)}));

    painter.setPen(QPen(TextLine, 1.0));
    for (const auto& [y, right] : {std::pair{6.5, 10.5}, {8.5, 10.5}, {10.5, 10.5}, {12.5, 8.5}}) {
        painter.drawLine(QPointF(5.5, y), QPointF(right, y));
    }
}

// A folder: its back with the tab, and its front a little lower.
void DrawFolder(QPainter& painter)
{
    QPainterPath back(QPointF(1.5, 3.5));
    back.lineTo(5.5, 3.5);
    back.lineTo(7.0, 5.0);
    back.lineTo(14.5, 5.0);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    painter.setPen(QPen(FolderOutline, 1.0));
    painter.setBrush(FolderBack);
    painter.drawPath(back);

    QLinearGradient front(0, 6.5, 0, 13.5);
    front.setColorAt(0, FolderFrontTop);
    front.setColorAt(1, FolderFrontBottom);
    painter.setBrush(front);
    painter.drawRect(QRectF(1.5, 6.5, 13.0, 7.0));
}

using Glyph = void (*)(QPainter&, const QRectF&, const Ink&, qreal);

// A folder with glyph as its mark, haloed, on the lower right corner.
void DrawMarkedFolder(QPainter& painter, Glyph glyph, const QRectF& mark = QRectF(8.0, 8.0, 7.5, 7.5), qreal width = 1.0)
{
    DrawFolder(painter);
    glyph(painter, mark, Ink{true}, width);
    glyph(painter, mark, Ink{false}, width);
}

} // namespace

QPixmap DrawNaviImage(NaviImage image, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / static_cast<qreal>(NaviImageSize), size / static_cast<qreal>(NaviImageSize));

    const QRectF whole(1.5, 1.5, 13.0, 13.0);
    const Ink ink;
    switch (image) {
    case NaviImage::File:
        DrawPage(painter);
        break;
    case NaviImage::MethodFolder:
        DrawMarkedFolder(painter, DrawCube);
        break;
    case NaviImage::ThreadFolder:
        DrawMarkedFolder(painter, DrawSpool);
        break;
    case NaviImage::Method:
        DrawCube(painter, whole, ink, 1.0);
        break;
    case NaviImage::Thread:
        DrawSpool(painter, whole, ink, 1.0);
        break;
    case NaviImage::NameSpaceFolder:
        DrawMarkedFolder(painter, DrawBraces, QRectF(8.0, 7.5, 7.5, 8.0), 1.4);
        break;
    case NaviImage::NameSpace:
        DrawBraces(painter, whole, ink, 1.6);
        break;
    case NaviImage::SearchFolder:
        DrawMarkedFolder(painter, DrawMagnifier);
        break;
    case NaviImage::EndlessFolder:
        DrawMarkedFolder(painter, DrawCircling, QRectF(8.0, 8.0, 7.5, 7.5), 1.5);
        break;
    }
    return pixmap;
}

QIcon MakeNaviIcon(NaviImage image)
{
    QIcon icon;
    icon.addPixmap(DrawNaviImage(image, NaviImageSize));
    icon.addPixmap(DrawNaviImage(image, 2 * NaviImageSize));
    return icon;
}
