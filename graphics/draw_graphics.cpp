// Draws every picture the program loads from graphics/: the splash screen, the window icon,
// the page background, the row icons and the progress-page picture; and into icons/ under
// the output folder, the desktop icon at the sizes menus and launchers ask for.
// Usage: digestra-graphics <output folder>

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <QtMath>

#include <functional>

namespace {

const QColor accent(0, 147, 221);
const QColor grey(194, 193, 193);
const QColor darkText(77, 73, 72);
const QColor white(255, 255, 255);
const QColor paleAccent(222, 240, 250);

QColor withAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

QFont openSans(qreal pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font(QStringLiteral("Open Sans"));
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QPen stroke(const QColor &colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

using Drawing = std::function<void(QPainter &)>;

// A transparent, antialiased canvas of the given size handed to the drawing.
QImage paint(const QSize &size, const Drawing &draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    draw(p);
    return image;
}

// The digester drawn on the splash screen and the window icon: a tank with a domed gas
// roof, liquid inside and rising bubbles. The box is the tank's outline.
void drawDigester(QPainter &p, const QRectF &box, const QColor &body, const QColor &liquid, const QColor &bubble)
{
    const qreal dome = box.height() * 0.22;
    QPainterPath tank;
    tank.moveTo(box.left(), box.top() + dome);
    tank.quadTo(box.center().x(), box.top() - dome * 0.6, box.right(), box.top() + dome);
    tank.lineTo(box.right(), box.bottom());
    tank.lineTo(box.left(), box.bottom());
    tank.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawPath(tank);
    const qreal pipe = box.width() * 0.09;
    // the dome peaks at a fifth of its height below the box's top
    p.drawRect(QRectF(box.center().x() - pipe / 2, box.top() - dome * 0.25, pipe, dome * 0.6));
    p.drawRoundedRect(QRectF(box.center().x() - pipe * 1.2, box.top() - dome * 0.4, pipe * 2.4, pipe * 0.8), pipe * 0.3,
                      pipe * 0.3);

    const qreal level = box.top() + box.height() * 0.42;
    const qreal inset = box.width() * 0.08;
    QPainterPath fill;
    const qreal left = box.left() + inset;
    const qreal right = box.right() - inset;
    fill.moveTo(left, level);
    fill.cubicTo(left + (right - left) * 0.33, level - dome * 0.35, left + (right - left) * 0.66, level + dome * 0.35,
                 right, level);
    fill.lineTo(right, box.bottom() - inset);
    fill.lineTo(left, box.bottom() - inset);
    fill.closeSubpath();
    p.setBrush(liquid);
    p.drawPath(fill);

    p.setBrush(bubble);
    const qreal r = box.width() * 0.055;
    const QList<QPointF> bubbles{{0.30, 0.78}, {0.52, 0.64}, {0.70, 0.82}, {0.40, 0.56}, {0.63, 0.50}};
    for (int i = 0; i < bubbles.size(); ++i) {
        const QPointF c(box.left() + box.width() * bubbles[i].x(), box.top() + box.height() * bubbles[i].y());
        const qreal ri = r * (0.7 + 0.15 * (i % 3));
        p.drawEllipse(c, ri, ri);
    }
}

QImage splash()
{
    return paint({500, 300}, [](QPainter &p) {
        p.fillRect(QRect(0, 0, 500, 300), white);

        // quiet waves along the foot
        for (int i = 0; i < 3; ++i) {
            QPainterPath wave;
            const qreal base = 246 + i * 14;
            wave.moveTo(0, base);
            wave.cubicTo(140, base - 26 + i * 6, 330, base + 22 - i * 4, 500, base - 10);
            wave.lineTo(500, 300);
            wave.lineTo(0, 300);
            wave.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(i == 2 ? accent : withAlpha(accent, 40 + i * 40));
            p.drawPath(wave);
        }

        drawDigester(p, QRectF(52, 78, 112, 128), accent, withAlpha(white, 70), white);

        p.setPen(darkText);
        p.setFont(openSans(58, QFont::DemiBold));
        p.drawText(QRectF(196, 82, 290, 80), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Digestra"));
        p.setPen(accent);
        p.setFont(openSans(22, QFont::DemiBold));
        p.drawText(QRectF(200, 158, 280, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("v." DIGESTRA_VERSION));
        p.setPen(darkText);
        p.setFont(openSans(15));
        p.drawText(QRectF(200, 188, 290, 24), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Anaerobic digestion simulator"));

        p.setPen(stroke(grey, 1));
        p.drawLine(QPointF(200, 160.5), QPointF(460, 160.5));

        // a hairline frame keeps the white card apart from a light desktop
        p.setPen(QPen(grey, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(0.5, 0.5, 499, 299));
    });
}

// The window icon, drawn on a 256-pixel grid scaled to `size`.
QImage icon(int size)
{
    return paint({size, size}, [size](QPainter &p) {
        p.scale(size / 256.0, size / 256.0);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawRoundedRect(QRectF(8, 8, 240, 240), 52, 52);
        drawDigester(p, QRectF(60, 62, 136, 150), white, withAlpha(accent, 150), white);
    });
}

QImage background()
{
    return paint({850, 240}, [](QPainter &p) {
        // Only about the top 125 rows show below the pages (the window is 500 high): keep
        // them clear where the buttons sit and lay soft layered hills under them.
        const QList<QColor> layers{withAlpha(paleAccent, 140), withAlpha(grey, 40), withAlpha(paleAccent, 230)};
        for (int i = 0; i < layers.size(); ++i) {
            QPainterPath hill;
            const qreal base = 62 + i * 18;
            hill.moveTo(0, base + 8);
            hill.cubicTo(220 + i * 60, base - 30, 520 - i * 40, base + 30, 850, base - 14 + i * 6);
            hill.lineTo(850, 240);
            hill.lineTo(0, 240);
            hill.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(layers[i]);
            p.drawPath(hill);
        }
        p.setPen(stroke(withAlpha(accent, 55), 1.5));
        p.setBrush(Qt::NoBrush);
        QPainterPath line;
        line.moveTo(0, 92);
        line.cubicTo(260, 64, 560, 116, 850, 80);
        p.drawPath(line);
    });
}

// Row icons: 30 × 30, accent strokes on a transparent ground, grey for secondary parts.

QImage flux()
{
    return paint({30, 30}, [](QPainter &p) {
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i) {
            const qreal y = 8 + i * 7;
            QPainterPath wave;
            wave.moveTo(3, y);
            wave.cubicTo(7, y - 3.5, 11, y + 3.5, 15, y);
            wave.cubicTo(17.5, y - 2, 19, y - 1.5, 21, y);
            p.setPen(stroke(i == 1 ? accent : grey, 2.2));
            p.drawPath(wave);
        }
        QPainterPath head;
        head.moveTo(21, 10.5);
        head.lineTo(28, 15);
        head.lineTo(21, 19.5);
        head.closeSubpath();
        p.setPen(stroke(accent, 1.5));
        p.setBrush(accent);
        p.drawPath(head);
    });
}

QImage biomass()
{
    return paint({30, 30}, [](QPainter &p) {
        QPainterPath leaf;
        leaf.moveTo(6, 25);
        leaf.cubicTo(3, 12, 12, 3, 27, 3);
        leaf.cubicTo(27, 17, 19, 26, 6, 25);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawPath(leaf);
        QPainterPath vein;
        vein.moveTo(3, 28);
        vein.cubicTo(10, 19, 15, 13, 22, 8);
        p.setPen(stroke(white, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawPath(vein);
        p.setPen(stroke(grey, 1.8));
        p.drawLine(QPointF(3, 28), QPointF(6.5, 24));
    });
}

QImage timeIcon()
{
    return paint({30, 30}, [](QPainter &p) {
        p.setPen(stroke(accent, 2.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(15, 15), 11.5, 11.5);
        p.setPen(stroke(grey, 1.4));
        for (int h = 0; h < 12; h += 3) {
            const qreal a = qDegreesToRadians(h * 30.0);
            p.drawLine(QPointF(15 + 8 * qSin(a), 15 - 8 * qCos(a)), QPointF(15 + 9.3 * qSin(a), 15 - 9.3 * qCos(a)));
        }
        p.setPen(stroke(darkText, 2.2));
        p.drawLine(QPointF(15, 15), QPointF(15, 8));
        p.setPen(stroke(accent, 2.2));
        p.drawLine(QPointF(15, 15), QPointF(20, 18));
        p.setPen(Qt::NoPen);
        p.setBrush(darkText);
        p.drawEllipse(QPointF(15, 15), 1.7, 1.7);
    });
}

QImage probe()
{
    return paint({30, 30}, [](QPainter &p) {
        // a laboratory flask, two-thirds filled
        QPainterPath flask;
        flask.moveTo(12, 4);
        flask.lineTo(12, 11);
        flask.lineTo(5, 24);
        flask.quadTo(4, 27, 7.5, 27);
        flask.lineTo(22.5, 27);
        flask.quadTo(26, 27, 25, 24);
        flask.lineTo(18, 11);
        flask.lineTo(18, 4);

        QPainterPath liquid;
        liquid.moveTo(8.8, 17);
        liquid.lineTo(21.2, 17);
        liquid.lineTo(25, 24);
        liquid.quadTo(26, 27, 22.5, 27);
        liquid.lineTo(7.5, 27);
        liquid.quadTo(4, 27, 5, 24);
        liquid.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawPath(liquid);

        p.setBrush(Qt::NoBrush);
        p.setPen(stroke(darkText, 2));
        p.drawPath(flask);
        p.drawLine(QPointF(10, 4), QPointF(20, 4));
        p.setPen(Qt::NoPen);
        p.setBrush(white);
        p.drawEllipse(QPointF(12, 22.5), 1.4, 1.4);
        p.drawEllipse(QPointF(17, 20.5), 1.0, 1.0);
    });
}

QImage temperature()
{
    return paint({30, 30}, [](QPainter &p) {
        QPainterPath tube;
        tube.addRoundedRect(QRectF(11, 2.5, 8, 19), 4, 4);
        QPainterPath bulb;
        bulb.addEllipse(QPointF(15, 22.5), 5.5, 5.5);
        const QPainterPath outline = tube.united(bulb);
        p.setPen(Qt::NoPen);
        p.setBrush(white);
        p.drawPath(outline);
        p.setBrush(accent);
        p.drawEllipse(QPointF(15, 22.5), 3.6, 3.6);
        p.drawRoundedRect(QRectF(13.3, 9, 3.4, 13), 1.7, 1.7);
        p.setBrush(Qt::NoBrush);
        p.setPen(stroke(darkText, 1.8));
        p.drawPath(outline);
        p.setPen(stroke(grey, 1.4));
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(21.5, 6 + i * 4.5), QPointF(25, 6 + i * 4.5));
    });
}

QImage pressure()
{
    return paint({30, 30}, [](QPainter &p) {
        const QPointF c(15, 16);
        p.setPen(stroke(darkText, 2));
        p.setBrush(white);
        p.drawEllipse(c, 12, 12);
        // scale arc from grey to accent
        const QRectF arc(c.x() - 8.5, c.y() - 8.5, 17, 17);
        p.setBrush(Qt::NoBrush);
        p.setPen(stroke(grey, 2.4));
        p.drawArc(arc, 225 * 16, -135 * 16);
        p.setPen(stroke(accent, 2.4));
        p.drawArc(arc, 90 * 16, -135 * 16);
        // needle
        const qreal a = qDegreesToRadians(50.0);
        p.setPen(stroke(darkText, 2));
        p.drawLine(c, QPointF(c.x() + 7.5 * qCos(a), c.y() - 7.5 * qSin(a)));
        p.setPen(Qt::NoPen);
        p.setBrush(darkText);
        p.drawEllipse(c, 2, 2);
    });
}

QImage volume()
{
    return paint({30, 30}, [](QPainter &p) {
        // a cylindrical tank, partly filled
        const qreal left = 5, right = 25, top = 6, bottom = 24, ry = 3.2;
        QPainterPath liquid;
        liquid.moveTo(left, 13);
        liquid.arcTo(QRectF(left, 13 - ry, right - left, 2 * ry), 180, 180);
        liquid.lineTo(right, bottom);
        liquid.arcTo(QRectF(left, bottom - ry, right - left, 2 * ry), 0, -180);
        liquid.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawPath(liquid);
        p.setBrush(withAlpha(white, 110));
        p.drawEllipse(QRectF(left, 13 - ry, right - left, 2 * ry));

        p.setBrush(Qt::NoBrush);
        p.setPen(stroke(darkText, 2));
        p.drawEllipse(QRectF(left, top - ry, right - left, 2 * ry));
        p.drawLine(QPointF(left, top), QPointF(left, bottom));
        p.drawLine(QPointF(right, top), QPointF(right, bottom));
        p.drawArc(QRectF(left, bottom - ry, right - left, 2 * ry), 180 * 16, 180 * 16);
    });
}

QImage mixer()
{
    return paint({30, 30}, [](QPainter &p) {
        // an open tank with a stirrer: motor head, shaft and a two-blade impeller
        QPainterPath tank;
        tank.moveTo(4, 10);
        tank.lineTo(4, 23);
        tank.quadTo(4, 27, 8, 27);
        tank.lineTo(22, 27);
        tank.quadTo(26, 27, 26, 23);
        tank.lineTo(26, 10);
        p.setBrush(Qt::NoBrush);
        p.setPen(stroke(grey, 2));
        p.drawPath(tank);

        p.setPen(Qt::NoPen);
        p.setBrush(darkText);
        p.drawRoundedRect(QRectF(11, 1.5, 8, 5), 1.5, 1.5);
        p.setPen(stroke(darkText, 2));
        p.drawLine(QPointF(15, 6.5), QPointF(15, 20));

        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        QPainterPath blades;
        blades.moveTo(15, 20);
        blades.cubicTo(12, 16.5, 7, 17.5, 7, 20);
        blades.cubicTo(7, 22.5, 12, 23.5, 15, 20);
        blades.cubicTo(18, 16.5, 23, 17.5, 23, 20);
        blades.cubicTo(23, 22.5, 18, 23.5, 15, 20);
        p.drawPath(blades);
    });
}

QImage computer()
{
    return paint({221, 185}, [](QPainter &p) {
        // monitor
        const QRectF screen(18, 10, 185, 120);
        p.setPen(Qt::NoPen);
        p.setBrush(darkText);
        p.drawRoundedRect(screen, 8, 8);
        const QRectF glass = screen.adjusted(7, 7, -7, -7);
        p.setBrush(white);
        p.drawRoundedRect(glass, 3, 3);

        // stand
        p.setBrush(grey);
        QPainterPath neck;
        neck.moveTo(98, 130);
        neck.lineTo(123, 130);
        neck.lineTo(128, 156);
        neck.lineTo(93, 156);
        neck.closeSubpath();
        p.drawPath(neck);
        p.drawRoundedRect(QRectF(66, 154, 89, 9), 4, 4);

        // a gas-flow curve rising over the simulated days on the screen
        const QRectF plot = glass.adjusted(14, 12, -12, -16);
        p.setPen(stroke(grey, 1.2));
        p.drawLine(plot.bottomLeft(), plot.bottomRight());
        p.drawLine(plot.bottomLeft(), plot.topLeft());
        p.setPen(stroke(withAlpha(grey, 110), 1));
        for (int i = 1; i < 4; ++i) {
            const qreal y = plot.bottom() - plot.height() * i / 4.0;
            p.drawLine(QPointF(plot.left() + 1, y), QPointF(plot.right(), y));
        }
        QPainterPath curve;
        const int n = 60;
        for (int i = 0; i <= n; ++i) {
            const qreal t = qreal(i) / n;
            const qreal v = (1 - qExp(-5 * t)) * (0.82 + 0.1 * qExp(-12 * (t - 0.25) * (t - 0.25)));
            const QPointF pt(plot.left() + t * plot.width(), plot.bottom() - v * plot.height());
            if (i == 0)
                curve.moveTo(pt);
            else
                curve.lineTo(pt);
        }
        QPainterPath area = curve;
        area.lineTo(plot.bottomRight());
        area.lineTo(plot.bottomLeft());
        area.closeSubpath();
        QLinearGradient shade(plot.topLeft(), plot.bottomLeft());
        shade.setColorAt(0, withAlpha(accent, 90));
        shade.setColorAt(1, withAlpha(accent, 10));
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawPath(area);
        p.setBrush(Qt::NoBrush);
        p.setPen(stroke(accent, 2.6));
        p.drawPath(curve);

        // progress strip under the plot
        const QRectF bar(plot.left(), glass.bottom() - 9, plot.width(), 4);
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(grey, 140));
        p.drawRoundedRect(bar, 2, 2);
        p.setBrush(accent);
        p.drawRoundedRect(QRectF(bar.topLeft(), QSizeF(bar.width() * 0.62, bar.height())), 2, 2);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "Usage: digestra-graphics <output folder>\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists()) {
        err << "No such folder: " << out.path() << '\n';
        return 1;
    }

    QList<std::pair<QString, std::function<QImage()>>> images{
        {"splash.png", splash},   {"favicon.png", [] { return icon(256); }}, {"background.png", background},
        {"flux.png", flux},       {"biomass.png", biomass},                  {"time.png", timeIcon},
        {"probe.png", probe},     {"temperature.png", temperature},          {"pressure.png", pressure},
        {"volume.png", volume},   {"mixer.png", mixer},                      {"computer.png", computer},
    };
    for (int size : {16, 32, 48, 64, 128, 256})
        images.append({QStringLiteral("icons/digestra-%1.png").arg(size), [size] { return icon(size); }});
    if (!out.mkpath(QStringLiteral("icons"))) {
        err << "Could not create " << out.filePath(QStringLiteral("icons")) << '\n';
        return 1;
    }
    int failures = 0;
    for (const auto &[name, draw] : images) {
        const QString path = out.filePath(name);
        if (!draw().save(path, "PNG")) {
            err << "Could not write " << path << '\n';
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
