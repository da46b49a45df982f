// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the icons of both programs and writes them as PNG files into the
// folder named on the command line (the project keeps them in
// resources/img/). Every icon is drawn on a 28 x 28 grid, the size of the
// viewer's tool buttons; the window icon is written at twice that size.
// Given a second folder, the same drawing is also written there as the
// application icon of the desktop's icon theme: hicolor/SIZExSIZE/apps/
// tessera.png at the theme's sizes and hicolor/scalable/apps/tessera.svg.
//
//   tessera_make_icons <folder> [<icon theme folder>]

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int grid = 28;

const QColor ink(0x26, 0x32, 0x38);   // outlines and glyphs
const QColor paper(0xfa, 0xfa, 0xfa); // light fills
const QColor lens(0xdc, 0xee, 0xfb);  // magnifier glass
const QColor sky(0x9f, 0xd3, 0xf5);
const QColor hill(0x3c, 0x9a, 0x48);
const QColor sun(0xf7, 0xc2, 0x2b);
const QColor arrow(0x1f, 0x6f, 0xc4);

QPen pen(const QColor& colour, double width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Text centred on (x, y), as a filled outline so it scales like the rest.
void drawText(QPainter& p, const QString& text, double pixelSize, QPointF centre,
              const QColor& colour)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(int(pixelSize));
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    p.save();
    p.translate(centre - box.center());
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
    p.restore();
}

// A rounded tile of one colour filling the icon, used by the component icons.
void tile(QPainter& p, const QColor& fill)
{
    p.setPen(pen(fill.darker(140), 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2.5, 2.5, 23, 23), 4, 4);
}

// The magnifier of the three zoom icons; `mark` draws inside the glass.
void magnifier(QPainter& p, const std::function<void(QPainter&)>& mark)
{
    p.setPen(pen(ink, 5));
    p.drawLine(QPointF(18, 18), QPointF(24.5, 24.5));
    p.setPen(pen(ink, 2.2));
    p.setBrush(lens);
    p.drawEllipse(QPointF(11.5, 11.5), 8.5, 8.5);
    mark(p);
}

// The window and application icon: a mosaic of eight-by-eight blocks, what
// JPEG cuts a picture into. One set of shapes for the painter and the SVG.
const QColor packTiles[9] = {
    QColor(0xe5, 0x48, 0x3b), QColor(0xf7, 0xc2, 0x2b), QColor(0x3c, 0x9a, 0x48),
    QColor(0xf0, 0x8a, 0x24), QColor(0xfa, 0xfa, 0xfa), QColor(0x1f, 0x6f, 0xc4),
    QColor(0x8e, 0x5c, 0xc2), QColor(0x2a, 0xb3, 0xb0), QColor(0xd8, 0x4f, 0x8a)};
const QRectF packBack(1, 1, 26, 26);
constexpr double packBackRadius = 4;
constexpr double packTileRadius = 1;

QRectF packTile(int index)
{
    return QRectF(4 + (index % 3) * 7, 4 + (index / 3) * 7, 6, 6);
}

void pack(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(packBack, packBackRadius, packBackRadius);
    for (int i = 0; i < 9; ++i) {
        p.setBrush(packTiles[i]);
        p.drawRoundedRect(packTile(i), packTileRadius, packTileRadius);
    }
}

QString svgRect(const QRectF& r, double radius, const QColor& fill)
{
    return QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" "
                          "fill=\"%6\"/>\n")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(radius)
        .arg(fill.name());
}

bool writePackSvg(const QString& path)
{
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%1\" viewBox=\"0 0 %1 %1\">\n")
                      .arg(grid);
    svg += svgRect(packBack, packBackRadius, ink);
    for (int i = 0; i < 9; ++i)
        svg += svgRect(packTile(i), packTileRadius, packTiles[i]);
    svg += QStringLiteral("</svg>\n");
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(svg.toUtf8()) == svg.toUtf8().size() && file.flush();
}

// The application icon at the icon theme's sizes and as SVG.
bool writeApplicationIcon(const QDir& theme)
{
    bool ok = true;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = theme.filePath(QStringLiteral("hicolor/%1x%1/apps").arg(size));
        QDir().mkpath(folder);
        QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        {
            QPainter p(&icon);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(size / double(grid), size / double(grid));
            pack(p);
        }
        const QString path = QDir(folder).filePath(QStringLiteral("tessera.png"));
        if (!icon.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            ok = false;
        }
    }
    const QString scalable = theme.filePath(QStringLiteral("hicolor/scalable/apps"));
    QDir().mkpath(scalable);
    const QString svgPath = QDir(scalable).filePath(QStringLiteral("tessera.svg"));
    if (!writePackSvg(svgPath)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(svgPath));
        ok = false;
    }
    return ok;
}

void rotate(QPainter& p)
{
    // Two panes side by side, a curved arrow turning them upright.
    p.setPen(pen(ink, 1));
    p.setBrush(paper);
    p.drawRect(QRectF(3.5, 15.5, 7, 9));
    p.drawRect(QRectF(10.5, 15.5, 7, 9));
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(arrow, 2.4));
    QPainterPath arc;
    arc.moveTo(7, 11);
    arc.cubicTo(7, 4, 20, 2, 22, 12);
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(arrow);
    QPolygonF head;
    head << QPointF(17.5, 11) << QPointF(26.5, 11) << QPointF(22, 17.5);
    p.drawPolygon(head);
}

void image(QPainter& p)
{
    // A landscape photograph: sky, sun and hills in a frame.
    const QRectF frame(2.5, 5.5, 23, 17);
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(frame);
    p.setBrush(sun);
    p.drawEllipse(QPointF(19, 10.5), 2.8, 2.8);
    QPainterPath hills;
    hills.moveTo(2.5, 22.5);
    hills.lineTo(2.5, 17);
    hills.quadTo(8, 10, 14, 16);
    hills.quadTo(19, 13, 25.5, 18);
    hills.lineTo(25.5, 22.5);
    hills.closeSubpath();
    p.setBrush(hill);
    p.drawPath(hills);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(ink, 1.4));
    p.drawRect(frame);
}

void colorDiff(QPainter& p)
{
    // Two colour discs and their difference where they overlap.
    const QPointF left(10, 14), right(18, 14);
    const double r = 7.5;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe5, 0x48, 0x3b));
    p.drawEllipse(left, r, r);
    p.setBrush(QColor(0x2a, 0x8f, 0xd8));
    p.drawEllipse(right, r, r);
    QPainterPath a, b;
    a.addEllipse(left, r, r);
    b.addEllipse(right, r, r);
    p.setBrush(paper);
    p.drawPath(a.intersected(b));
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(ink, 1.2));
    p.drawEllipse(left, r, r);
    p.drawEllipse(right, r, r);
}

void error(QPainter& p)
{
    // The map of changed pixels: white paper, black where a pixel changed,
    // most of them along the edges of the picture's content.
    p.setPen(pen(ink, 1));
    p.setBrush(paper);
    p.drawRect(QRectF(3.5, 3.5, 21, 21));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    static const int dots[][2] = {{6, 19},  {8, 17},  {9, 20},  {10, 15}, {12, 13}, {11, 17},
                                  {14, 11}, {13, 15}, {16, 9},  {15, 13}, {18, 7},  {17, 11},
                                  {20, 6},  {19, 9},  {21, 12}, {7, 8},   {22, 20}, {14, 21}};
    for (const auto& dot : dots)
        p.drawRect(QRectF(dot[0], dot[1], 2, 2));
}

void ssimMap(QPainter& p)
{
    // A heat map: dark where the pictures agree, a bright patch where they
    // do not, on the same black-red-yellow-white scale as the view.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x10));
    p.drawRoundedRect(QRectF(2, 2, 24, 24), 3, 3);
    QRadialGradient glow(QPointF(17, 11), 9);
    glow.setColorAt(0, QColor(0xff, 0xff, 0xd0));
    glow.setColorAt(0.35, QColor(0xff, 0xd0, 0x20));
    glow.setColorAt(0.7, QColor(0xd0, 0x30, 0x10));
    glow.setColorAt(1, QColor(0x10, 0x10, 0x10, 0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(17, 11), 9, 9);
    QRadialGradient small(QPointF(8, 20), 5);
    small.setColorAt(0, QColor(0xf0, 0x80, 0x20));
    small.setColorAt(1, QColor(0x10, 0x10, 0x10, 0));
    p.setBrush(small);
    p.drawEllipse(QPointF(8, 20), 5, 5);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(ink, 1));
    p.drawRoundedRect(QRectF(2.5, 2.5, 23, 23), 3, 3);
}

void bits(QPainter& p)
{
    // Blocks of a picture, each coloured by the bits spent on it on the
    // heat scale of the view, with two binary digits over them.
    static const int heat[4][4] = {{0, 1, 3, 2}, {1, 2, 4, 3}, {0, 2, 3, 1}, {0, 0, 1, 1}};
    static const QColor scale[] = {QColor(0x10, 0x10, 0x10), QColor(0x80, 0x18, 0x10),
                                   QColor(0xd0, 0x40, 0x10), QColor(0xf0, 0xb0, 0x20),
                                   QColor(0xff, 0xf0, 0xb0)};
    p.setPen(Qt::NoPen);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            p.setBrush(scale[heat[y][x]]);
            p.drawRect(QRectF(2 + 6 * x, 2 + 6 * y, 6, 6));
        }
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(ink, 1));
    p.drawRect(QRectF(2.5, 2.5, 23, 23));
    drawText(p, QStringLiteral("01"), 11, QPointF(14, 20), Qt::white);
}

void amplified(QPainter& p)
{
    // A faint difference signal and the same signal scaled up, with the
    // gain written beside them.
    p.setPen(pen(ink, 1));
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(2.5, 2.5, 23, 23), 3, 3);
    QPainterPath faint, loud;
    for (int i = 0; i <= 18; ++i) {
        const double x = 5 + i;
        const double wave = std::sin(i * 0.7);
        const QPointF a(x, 21 - wave * 1.2), b(x, 13 - wave * 6);
        if (i == 0) {
            faint.moveTo(a);
            loud.moveTo(b);
        } else {
            faint.lineTo(a);
            loud.lineTo(b);
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(0x90, 0x9a, 0xa0), 1.2));
    p.drawPath(faint);
    p.setPen(pen(QColor(0xe5, 0x48, 0x3b), 1.8));
    p.drawPath(loud);
    drawText(p, QStringLiteral("\u00d7"), 8, QPointF(21.5, 22), arrow);
}

void component(QPainter& p, const QColor& fill, const QString& name)
{
    tile(p, fill);
    drawText(p, name, name.size() > 1 ? 13 : 17, QPointF(14, 14), Qt::white);
}

void zoomIn(QPainter& p)
{
    magnifier(p, [](QPainter& q) {
        q.setPen(pen(ink, 2.4));
        q.drawLine(QPointF(7.5, 11.5), QPointF(15.5, 11.5));
        q.drawLine(QPointF(11.5, 7.5), QPointF(11.5, 15.5));
    });
}

void zoomOut(QPainter& p)
{
    magnifier(p, [](QPainter& q) {
        q.setPen(pen(ink, 2.4));
        q.drawLine(QPointF(7.5, 11.5), QPointF(15.5, 11.5));
    });
}

void zoomReset(QPainter& p)
{
    magnifier(p,
              [](QPainter& q) { drawText(q, QStringLiteral("1"), 12, QPointF(11.5, 11.5), ink); });
}

void tableGrid(QPainter& p)
{
    // An eight-by-eight table, its first (DC) cell marked.
    p.setPen(Qt::NoPen);
    p.setBrush(paper);
    p.drawRect(QRect(2, 2, 24, 24));
    p.setBrush(sun);
    p.drawRect(QRect(2, 2, 3, 3));
    p.setPen(QPen(QColor(0x60, 0x70, 0x78), 1));
    for (int i = 0; i <= 8; ++i) {
        const double at = 2.5 + i * 3;
        p.drawLine(QPointF(at, 2.5), QPointF(at, 26.5));
        p.drawLine(QPointF(2.5, at), QPointF(26.5, at));
    }
    p.setPen(QPen(ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1.5, 1.5, 25, 25));
}

void butteraugliMap(QPainter& p)
{
    // A distance map: black where the pictures agree, blue, green, yellow
    // and red as the distance grows, the scale of the view.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(2, 2, 24, 24), 3, 3);
    QRadialGradient glow(QPointF(12, 15), 10);
    glow.setColorAt(0, QColor(0xff, 0x20, 0x10));
    glow.setColorAt(0.3, QColor(0xf0, 0xe0, 0x20));
    glow.setColorAt(0.6, QColor(0x20, 0xc0, 0x30));
    glow.setColorAt(0.85, QColor(0x20, 0x40, 0xe0));
    glow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(12, 15), 10, 10);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(0x30, 0x30, 0x30), 1));
    p.drawRect(QRectF(1.5, 1.5, 25, 25));
}

bool write(const QDir& folder, const char* name, int scale,
           const std::function<void(QPainter&)>& draw)
{
    QImage icon(grid * scale, grid * scale, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        draw(p);
    }
    const QString path = folder.filePath(QString::fromLatin1(name) + QLatin1String(".png"));
    if (!icon.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> [<icon theme folder>]\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "could not create %s\n", argv[1]);
        return 1;
    }
    bool ok = write(folder, "pack", 2, pack);
    ok &= write(folder, "rotate", 1, rotate);
    ok &= write(folder, "image", 1, image);
    ok &= write(folder, "color_diff", 1, colorDiff);
    ok &= write(folder, "error", 1, error);
    ok &= write(folder, "ssim_map", 1, ssimMap);
    ok &= write(folder, "butteraugli_map", 1, butteraugliMap);
    ok &= write(folder, "amplified", 1, amplified);
    ok &= write(folder, "bits", 1, bits);
    ok &= write(folder, "y", 1, [](QPainter& p) { component(p, QColor(0x55, 0x55, 0x55), "Y"); });
    ok &= write(folder, "cb", 1, [](QPainter& p) { component(p, QColor(0x1f, 0x5f, 0xbf), "Cb"); });
    ok &= write(folder, "cr", 1, [](QPainter& p) { component(p, QColor(0xc4, 0x32, 0x2b), "Cr"); });
    ok &= write(folder, "zoom_in", 1, zoomIn);
    ok &= write(folder, "zoom_out", 1, zoomOut);
    ok &= write(folder, "zoom_reset", 1, zoomReset);
    ok &= write(folder, "grid", 1, tableGrid);
    if (argc == 3)
        ok &= writeApplicationIcon(QDir(QString::fromLocal8Bit(argv[2])));
    return ok ? 0 : 1;
}
