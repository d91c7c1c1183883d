// Draws the toolbar pictures and the progress-bar pattern from vector shapes, at build time.
//
// Toolbar strips: 288 x 48, six 48 x 48 pictures side by side, in the button order
// Settings, Start, Stop; the last three slots are unused. Pure black is the transparent
// colour, so no picture uses it. One strip each for the normal, disabled and hot states.
// Pattern: 600 x 80, 4-bit palette, every pixel teal RGB(0,128,128).
// Program icon (Windows): 48 x 48, the Start picture on a teal tile, transparent around it.
//
// Usage: korvane-make-images OUTPUT_DIR
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>

namespace {

constexpr int kIcon = 48;
constexpr int kSlots = 6;

struct Palette {
    QColor gear, gearEdge;
    QColor start, startEdge;
    QColor stop, stopEdge;
};

// A gear of eight teeth with a hole through its middle.
QPainterPath GearPath() {
    constexpr int kTeeth = 8;
    constexpr double kOuter = 21.0, kInner = 15.5, kHole = 6.5;
    const QPointF centre(kIcon / 2.0, kIcon / 2.0);
    QPainterPath path;
    for (int i = 0; i < kTeeth * 4; ++i) {
        // Each tooth is four corners: rise, top, top, fall.
        const double angle = (i - 0.5) * (2.0 * M_PI / (kTeeth * 4));
        const double radius = (i % 4 == 1 || i % 4 == 2) ? kOuter : kInner;
        const QPointF point = centre + QPointF(radius * qCos(angle), radius * qSin(angle));
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    path.closeSubpath();
    path.addEllipse(centre, kHole, kHole);
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

QPainterPath StartPath() {
    QPainterPath path;
    path.moveTo(15, 9);
    path.lineTo(39, 24);
    path.lineTo(15, 39);
    path.closeSubpath();
    return path;
}

QPainterPath StopPath() {
    QPainterPath path;
    path.addRoundedRect(QRectF(11, 11, 26, 26), 4, 4);
    return path;
}

void DrawShape(QPainter& painter, int slot, const QPainterPath& shape, const QColor& fill, const QColor& edge) {
    painter.save();
    painter.translate(slot * kIcon, 0);
    painter.setPen(QPen(edge, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(shape);
    painter.restore();
}

QImage DrawStrip(const Palette& colours) {
    QImage strip(kIcon * kSlots, kIcon, QImage::Format_RGB32);
    strip.fill(Qt::black);
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawShape(painter, 0, GearPath(), colours.gear, colours.gearEdge);
    DrawShape(painter, 1, StartPath(), colours.start, colours.startEdge);
    DrawShape(painter, 2, StopPath(), colours.stop, colours.stopEdge);
    painter.end();
    return strip;
}

QImage DrawPattern() {
    QImage pattern(600, 80, QImage::Format_Indexed8);
    // The sixteen colours of a 4-bit bitmap; index 3 is teal.
    pattern.setColorTable({qRgb(0, 0, 0), qRgb(128, 0, 0), qRgb(0, 128, 0), qRgb(0, 128, 128),
                           qRgb(0, 0, 128), qRgb(128, 0, 128), qRgb(128, 128, 0), qRgb(128, 128, 128),
                           qRgb(192, 192, 192), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(255, 255, 0),
                           qRgb(0, 0, 255), qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)});
    pattern.fill(3);
    return pattern;
}

QImage DrawIcon() {
    QImage icon(kIcon, kIcon, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 128, 128));
    painter.drawRoundedRect(QRectF(2, 2, kIcon - 4, kIcon - 4), 8, 8);
    painter.setPen(QPen(QColor(255, 255, 255), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(255, 255, 255));
    painter.drawPath(StartPath());
    painter.end();
    return icon;
}

bool Save(const QImage& image, const QString& path, const char* format = "BMP") {
    if (image.save(path, format)) {
        return true;
    }
    std::fprintf(stderr, "korvane-make-images: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane-make-images OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(".")) {
        std::fprintf(stderr, "korvane-make-images: cannot make %s\n", argv[1]);
        return 1;
    }
    const Palette normal{{70, 98, 128}, {36, 52, 70}, {34, 150, 60}, {18, 84, 32}, {200, 48, 48}, {110, 24, 24}};
    const Palette disabled{{168, 168, 168}, {120, 120, 120}, {168, 168, 168}, {120, 120, 120}, {168, 168, 168},
                           {120, 120, 120}};
    const Palette hot{{60, 130, 210}, {28, 68, 120}, {50, 200, 84}, {22, 110, 44}, {245, 70, 70}, {140, 30, 30}};
    bool ok = Save(DrawStrip(normal), out.filePath("toolbar_normal.bmp"));
    ok = Save(DrawStrip(disabled), out.filePath("toolbar_disabled.bmp")) && ok;
    ok = Save(DrawStrip(hot), out.filePath("toolbar_hot.bmp")) && ok;
    ok = Save(DrawPattern(), out.filePath("pattern_319.bmp")) && ok;
    ok = Save(DrawIcon(), out.filePath("KorvaneAppDownload.ico"), "ICO") && ok;
    return ok ? 0 : 1;
}
