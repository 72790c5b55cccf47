// Draws every picture of the program: the picture buttons, the waveform track in its two
// colourings, the play-head thumb, the list-header check images and the program icon.
//
//   tolvane-artwork <bitmaps-folder> <icon-file>
//
// Run with QT_QPA_PLATFORM=offscreen. Button pictures are cut to their non-white pixels
// by the program, so everything outside a button's figure is exactly white and nothing
// inside it is.

#include "WaveformTrack.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// The main window's background, under the soft edges of the buttons.
const QColor kWindowBackground(187, 222, 251);
// The list header's background, under the soft edges of the check boxes.
const QColor kHeaderBackground(240, 240, 240);
const QColor kMagenta(255, 0, 255);
const char* const kCaptionFamily = "Noto Sans CJK SC";

struct Palette {
    QColor top;
    QColor bottom;
    QColor border;
};

const Palette kBlue{QColor(92, 170, 240), QColor(28, 106, 196), QColor(20, 80, 150)};
const Palette kGreen{QColor(108, 206, 130), QColor(32, 150, 78), QColor(24, 112, 58)};
const Palette kRed{QColor(244, 122, 108), QColor(204, 56, 48), QColor(150, 40, 34)};
const Palette kSlate{QColor(128, 160, 196), QColor(66, 98, 140), QColor(48, 72, 106)};
const Palette kOrange{QColor(255, 184, 92), QColor(234, 112, 30), QColor(176, 80, 20)};
const Palette kGrey{QColor(222, 226, 230), QColor(168, 174, 182), QColor(128, 134, 142)};

QImage NewCanvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Puts a drawing with soft edges on an opaque background: pixels the drawing does not
// touch become `outside`, the others are blended over `under`. A button's inside must
// never be pure white, or the shape would get holes there.
QImage Flatten(const QImage& drawing, const QColor& under, const QColor& outside,
               bool keepInsideOffWhite) {
    QImage result(drawing.size(), QImage::Format_RGB32);
    const QImage source = drawing.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            if (alpha == 0) {
                out[x] = outside.rgb();
                continue;
            }
            auto blend = [&](int front, int back) {
                return (front * alpha + back * (255 - alpha) + 127) / 255;
            };
            int red = blend(qRed(in[x]), under.red());
            int green = blend(qGreen(in[x]), under.green());
            int blue = blend(qBlue(in[x]), under.blue());
            if (keepInsideOffWhite && red == 255 && green == 255 && blue == 255)
                red = green = blue = 254;
            out[x] = qRgb(red, green, blue);
        }
    }
    return result;
}

QFont CaptionFont(qreal pixelSize) {
    QFont font(kCaptionFamily);
    font.setPixelSize(int(std::lround(pixelSize)));
    font.setWeight(QFont::Bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The largest font up to `maxSize` whose caption fits `width`.
QFont FittingFont(const QString& caption, qreal maxSize, qreal width) {
    for (qreal size = maxSize; size > 6; size -= 0.5) {
        const QFont font = CaptionFont(size);
        if (QFontMetricsF(font).horizontalAdvance(caption) <= width)
            return font;
    }
    return CaptionFont(6);
}

void DrawCaption(QPainter& painter, const QRectF& area, const QString& caption, qreal maxSize) {
    const QFont font = FittingFont(caption, maxSize, area.width());
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 0, 70));
    painter.drawText(area.translated(0, 1.2), Qt::AlignCenter, caption);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(area, Qt::AlignCenter, caption);
}

// A glossy face: vertical gradient, a soft highlight over the upper half, a darker rim.
void DrawFace(QPainter& painter, const QPainterPath& outline, const QRectF& bounds,
              const Palette& colours) {
    QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
    fill.setColorAt(0.0, colours.top);
    fill.setColorAt(1.0, colours.bottom);
    painter.fillPath(outline, fill);

    painter.save();
    painter.setClipPath(outline);
    QLinearGradient gloss(bounds.topLeft(), QPointF(bounds.left(), bounds.center().y()));
    gloss.setColorAt(0.0, QColor(255, 255, 255, 110));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 10));
    QRectF upper = bounds.adjusted(2, 2, -2, 0);
    upper.setHeight(bounds.height() * 0.48);
    const qreal radius = std::min(upper.height(), upper.width()) * 0.45;
    QPainterPath glossPath;
    glossPath.addRoundedRect(upper, radius, radius);
    painter.fillPath(glossPath, gloss);
    painter.restore();

    QPen rim(colours.border, 1.2);
    painter.setPen(rim);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
}

QImage RoundedButton(int width, int height, const QString& caption, const Palette& colours) {
    QImage canvas = NewCanvas(width, height);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF bounds(0.8, 0.8, width - 1.6, height - 1.6);
    const qreal radius = std::min(height * 0.28, 14.0);
    QPainterPath outline;
    outline.addRoundedRect(bounds, radius, radius);
    DrawFace(painter, outline, bounds, colours);
    const qreal pad = height * 0.3;
    DrawCaption(painter, bounds.adjusted(pad, 0, -pad, 0), caption, height * 0.42);
    painter.end();
    return Flatten(canvas, kWindowBackground, Qt::white, true);
}

QImage RoundButton(int width, int height, const Palette& colours,
                   const std::function<void(QPainter&, const QRectF&)>& symbol) {
    QImage canvas = NewCanvas(width, height);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const qreal diameter = std::min(width, height) - 1.6;
    const QRectF bounds((width - diameter) / 2, (height - diameter) / 2, diameter, diameter);
    QPainterPath outline;
    outline.addEllipse(bounds);
    DrawFace(painter, outline, bounds, colours);
    symbol(painter, bounds);
    painter.end();
    return Flatten(canvas, kWindowBackground, Qt::white, true);
}

QColor SymbolColour(bool usable) {
    return usable ? QColor(255, 255, 255) : QColor(96, 102, 110);
}

void PlaySymbol(QPainter& painter, const QRectF& bounds, const QColor& colour, qreal scale) {
    const QPointF centre = bounds.center();
    const qreal size = bounds.width() * scale;
    QPainterPath triangle;
    triangle.moveTo(centre.x() - size * 0.38, centre.y() - size * 0.5);
    triangle.lineTo(centre.x() + size * 0.55, centre.y());
    triangle.lineTo(centre.x() - size * 0.38, centre.y() + size * 0.5);
    triangle.closeSubpath();
    painter.setPen(QPen(colour, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(colour);
    painter.drawPath(triangle);
}

void StopSymbol(QPainter& painter, const QRectF& bounds, const QColor& colour) {
    const qreal side = bounds.width() * 0.34;
    const QRectF square(bounds.center().x() - side / 2, bounds.center().y() - side / 2, side, side);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(square, 1.5, 1.5);
}

void PauseSymbol(QPainter& painter, const QRectF& bounds, const QColor& colour) {
    const qreal height = bounds.height() * 0.38;
    const qreal bar = bounds.width() * 0.11;
    const qreal gap = bounds.width() * 0.09;
    const QPointF centre = bounds.center();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(
        QRectF(centre.x() - gap / 2 - bar, centre.y() - height / 2, bar, height), 1, 1);
    painter.drawRoundedRect(QRectF(centre.x() + gap / 2, centre.y() - height / 2, bar, height), 1,
                            1);
}

// A square bracket opening to the right (`opening`) or to the left.
void Bracket(QPainter& painter, const QPointF& centre, qreal height, qreal arm, bool opening,
             const QColor& colour, qreal width) {
    const qreal direction = opening ? 1.0 : -1.0;
    const qreal top = centre.y() - height / 2;
    const qreal bottom = centre.y() + height / 2;
    QPainterPath path;
    path.moveTo(centre.x() + direction * arm, top);
    path.lineTo(centre.x(), top);
    path.lineTo(centre.x(), bottom);
    path.lineTo(centre.x() + direction * arm, bottom);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

// Amplitude of the fixed waveform at column x, 0 to 1: words and pauses of speech-like
// sound over music, the same for both colourings.
double WaveAmplitude(int x) {
    const double t = x / 520.0;
    double envelope =
        0.55 + 0.25 * std::sin(t * 6.2832 * 1.3 + 0.4) + 0.12 * std::sin(t * 6.2832 * 4.7 + 1.1);
    envelope *= 0.75 + 0.25 * std::sin(t * 6.2832 * 11.0);
    // Cheap deterministic noise for the sample-to-sample texture.
    unsigned hash = unsigned(x) * 2654435761u;
    hash ^= hash >> 13;
    hash *= 0x5bd1e995u;
    hash ^= hash >> 15;
    const double noise = (hash % 1000) / 1000.0;
    double value = envelope * (0.45 + 0.55 * noise);
    // Fade in and out at the ends like a real recording.
    value *= std::min(1.0, x / 18.0) * std::min(1.0, (520 - x) / 18.0);
    return std::clamp(value, 0.02, 0.97);
}

QImage Waveform(bool highlighted) {
    QImage image = tolvane::ui::TrackBackground(highlighted);
    QPainter painter(&image);
    for (int x = 0; x < tolvane::ui::kTrackWidth; ++x) {
        const double amplitude = WaveAmplitude(x);
        tolvane::ui::PaintTrackColumn(painter, highlighted, x, amplitude, -amplitude);
    }
    tolvane::ui::PaintTrackZeroLine(painter, highlighted, tolvane::ui::kTrackWidth);
    painter.end();
    return image;
}

// 3 x 173 play head. The top-left pixel holds the transparent colour (magenta), which
// also cuts the other corners, so the bar has a slim pointed end at top and bottom.
QImage Thumb() {
    const int width = 3;
    const int height = 173;
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb edge = qRgb(176, 18, 24);
    const QRgb centre = qRgb(255, 44, 44);
    for (int y = 0; y < height; ++y) {
        image.setPixel(0, y, edge);
        image.setPixel(1, y, centre);
        image.setPixel(2, y, edge);
    }
    for (int y : {0, height - 1}) {
        image.setPixel(0, y, kMagenta.rgb());
        image.setPixel(2, y, kMagenta.rgb());
    }
    return image;
}

// Three 16 x 16 images side by side on magenta: nothing, an empty box, a ticked box.
QImage HeaderChecks() {
    QImage canvas = NewCanvas(48, 16);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int index = 1; index <= 2; ++index) {
        const QRectF box(index * 16 + 2.5, 2.5, 11, 11);
        const bool ticked = index == 2;
        QLinearGradient fill(box.topLeft(), box.bottomLeft());
        fill.setColorAt(0.0, ticked ? QColor(84, 160, 236) : QColor(255, 255, 255));
        fill.setColorAt(1.0, ticked ? QColor(34, 110, 200) : QColor(228, 234, 242));
        painter.setPen(QPen(ticked ? QColor(26, 86, 160) : QColor(112, 124, 140), 1.0));
        painter.setBrush(fill);
        painter.drawRoundedRect(box, 2, 2);
        if (ticked) {
            QPainterPath tick;
            tick.moveTo(box.left() + 2.4, box.top() + 5.8);
            tick.lineTo(box.left() + 4.6, box.top() + 8.2);
            tick.lineTo(box.left() + 8.8, box.top() + 2.8);
            painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(tick);
        }
    }
    painter.end();
    return Flatten(canvas, kHeaderBackground, kMagenta, false);
}

// The icon at 16 px, set pixel by pixel: scaled down, the bars and brackets of the
// large drawing blur into each other at this size.
QImage SmallIcon() {
    QImage image = NewCanvas(16, 16);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(QPointF(0, 0), QPointF(16, 16));
    back.setColorAt(0.0, QColor(64, 150, 240));
    back.setColorAt(1.0, QColor(22, 72, 160));
    painter.setPen(Qt::NoPen);
    painter.setBrush(back);
    painter.drawRoundedRect(QRectF(0, 0, 16, 16), 3.5, 3.5);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const auto fill = [&](int x, int y, int w, int h, const QColor& colour) {
        painter.fillRect(QRect(x, y, w, h), colour);
    };
    const QColor dim(255, 255, 255, 150);
    const QColor white(255, 255, 255);
    const QColor yellow(255, 214, 90);
    fill(2, 6, 1, 4, dim);  // waveform outside the selection
    fill(13, 6, 1, 4, dim);
    fill(6, 4, 1, 8, white);  // and inside it
    fill(9, 5, 1, 6, white);
    for (const int x : {4, 11}) {  // the cut brackets
        const int serif = x == 4 ? 1 : -1;
        fill(x, 3, 1, 10, yellow);
        fill(x + serif, 3, 1, 1, yellow);
        fill(x + serif, 12, 1, 1, yellow);
    }
    fill(7, 2, 1, 12, QColor(240, 40, 40));  // the play head
    painter.end();
    return image;
}

// A rounded square with a waveform, a red play head and a pair of cut brackets.
QImage Icon(int size) {
    if (size == 16)
        return SmallIcon();
    QImage image = NewCanvas(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    const QRectF tile(12, 12, 232, 232);
    QLinearGradient back(tile.topLeft(), tile.bottomRight());
    back.setColorAt(0.0, QColor(64, 150, 240));
    back.setColorAt(1.0, QColor(22, 72, 160));
    painter.setPen(Qt::NoPen);
    painter.setBrush(back);
    painter.drawRoundedRect(tile, 48, 48);

    QLinearGradient shine(tile.topLeft(), QPointF(tile.left(), tile.center().y()));
    shine.setColorAt(0.0, QColor(255, 255, 255, 70));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setBrush(shine);
    painter.drawRoundedRect(tile.adjusted(6, 6, -6, -116), 42, 42);

    // Waveform bars; the middle stretch (the selection) is brighter. Small icons get
    // fewer, wider bars, which stay apart at a pixel or two each.
    const bool small = size <= 32;
    const int bars = small ? 9 : 19;
    const double barWidth = small ? 16 : 8;
    for (int i = 0; i < bars; ++i) {
        const double x = 40 + i * (176.0 / (bars - 1));
        const double amplitude =
            14 + 62 * std::fabs(std::sin(i * 0.9 + 0.5)) * (0.55 + 0.45 * std::sin(i * 0.37 + 1.0));
        const bool selected = small ? (i >= 3 && i <= 5) : (i >= 6 && i <= 12);
        painter.setBrush(selected ? QColor(255, 255, 255) : QColor(255, 255, 255, 140));
        painter.drawRoundedRect(QRectF(x - barWidth / 2, 128 - amplitude, barWidth, amplitude * 2),
                                barWidth / 2, barWidth / 2);
    }
    // Cut brackets around the selection.
    Bracket(painter, QPointF(80, 128), 150, 14, true, QColor(255, 214, 90), 8);
    Bracket(painter, QPointF(176, 128), 150, 14, false, QColor(255, 214, 90), 8);
    // Play head.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(240, 40, 40));
    painter.drawRoundedRect(QRectF(124, 40, 8, 176), 3, 3);
    QPainterPath head;
    head.moveTo(116, 34);
    head.lineTo(140, 34);
    head.lineTo(128, 50);
    head.closeSubpath();
    painter.drawPath(head);
    painter.end();
    return image;
}

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tolvane-artwork <bitmaps-folder> <icon-file>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString iconFile = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);

    for (const char* file : {"/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc",
                             "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"}) {
        QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
    if (!QFontDatabase::families().contains(QString::fromLatin1(kCaptionFamily))) {
        std::fprintf(stderr, "font %s is missing (install fonts-noto-cjk)\n", kCaptionFamily);
        return 1;
    }

    struct Named {
        int id;
        QImage image;
    };
    auto round34 = [](const Palette& colours, std::function<void(QPainter&, const QRectF&)> s) {
        return RoundButton(34, 32, colours, std::move(s));
    };
    const Named pictures[] = {
        {178, RoundedButton(115, 52, QStringLiteral("添加"), kGreen)},
        {188, RoundedButton(115, 52, QStringLiteral("删除"), kRed)},
        {254, RoundedButton(115, 52, QStringLiteral("帮助"), kBlue)},
        {326, RoundedButton(115, 52, QStringLiteral("设置"), kSlate)},
        {330, RoundedButton(115, 52, QStringLiteral("删除所有文件"), kRed)},
        {199, RoundedButton(65, 35, QStringLiteral("浏览"), kBlue)},
        {204, RoundedButton(96, 35, QStringLiteral("打开目录"), kBlue)},
        {186, RoundButton(84, 84, kOrange,
                          [](QPainter& p, const QRectF& b) {
                              // An inner ring makes the big start button read as a dial.
                              p.setPen(QPen(QColor(255, 255, 255, 120), 2));
                              p.setBrush(Qt::NoBrush);
                              p.drawEllipse(b.adjusted(6, 6, -6, -6));
                              DrawCaption(p, b.adjusted(14, 0, -14, 0), QStringLiteral("开始"), 24);
                          })},
        {301, round34(kGrey, [](QPainter& p,
                                const QRectF& b) { PlaySymbol(p, b, SymbolColour(false), 0.36); })},
        {302, round34(kBlue, [](QPainter& p,
                                const QRectF& b) { PlaySymbol(p, b, SymbolColour(true), 0.36); })},
        {310, round34(kBlue,
                      [](QPainter& p, const QRectF& b) { PauseSymbol(p, b, SymbolColour(true)); })},
        {303, round34(kGrey,
                      [](QPainter& p, const QRectF& b) { StopSymbol(p, b, SymbolColour(false)); })},
        {304, round34(kBlue,
                      [](QPainter& p, const QRectF& b) { StopSymbol(p, b, SymbolColour(true)); })},
        {320, round34(kBlue,
                      [](QPainter& p, const QRectF& b) {
                          Bracket(p, b.center() + QPointF(-2, 0), b.height() * 0.46, 5, true,
                                  SymbolColour(true), 2.4);
                      })},
        {321, round34(kBlue,
                      [](QPainter& p, const QRectF& b) {
                          Bracket(p, b.center() + QPointF(2, 0), b.height() * 0.46, 5, false,
                                  SymbolColour(true), 2.4);
                      })},
        {325,
         round34(kBlue,
                 [](QPainter& p, const QRectF& b) {
                     const QColor c = SymbolColour(true);
                     Bracket(p, b.center() + QPointF(-8, 0), b.height() * 0.4, 3, true, c, 1.6);
                     Bracket(p, b.center() + QPointF(8, 0), b.height() * 0.4, 3, false, c, 1.6);
                     PlaySymbol(p, b, c, 0.26);
                 })},
        // Split here: a cut line with a small triangle pointing at it from each side.
        {331, round34(kBlue,
                      [](QPainter& p, const QRectF& b) {
                          const QColor c = SymbolColour(true);
                          const QPointF centre = b.center();
                          const qreal half = b.height() * 0.24;
                          p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
                          p.drawLine(QPointF(centre.x(), centre.y() - half),
                                     QPointF(centre.x(), centre.y() + half));
                          p.setPen(Qt::NoPen);
                          p.setBrush(c);
                          for (const qreal side : {-1.0, 1.0}) {
                              QPainterPath arrow;
                              arrow.moveTo(centre.x() + side * 8.5, centre.y() - 4);
                              arrow.lineTo(centre.x() + side * 3.5, centre.y());
                              arrow.lineTo(centre.x() + side * 8.5, centre.y() + 4);
                              arrow.closeSubpath();
                              p.drawPath(arrow);
                          }
                      })},
        {306, Waveform(false)},
        {307, Waveform(true)},
        {308, Thumb()},
        {292, HeaderChecks()},
        {266, Icon(256)},
    };

    bool ok = true;
    for (const Named& picture : pictures)
        ok = Save(picture.image, QStringLiteral("%1/%2.png").arg(folder).arg(picture.id)) && ok;
    ok = Save(Icon(256), iconFile) && ok;
    // The theme's sizes, each drawn at its own size: tolvane-16.png ... beside the icon.
    const QString iconStem = iconFile.left(iconFile.lastIndexOf(QLatin1Char('.')));
    for (int size : {16, 24, 32, 48, 64, 128})
        ok = Save(Icon(size), iconStem + QStringLiteral("-%1.png").arg(size)) && ok;
    return ok ? 0 : 1;
}
