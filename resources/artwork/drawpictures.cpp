// Draws the soft front panel's pictures as code, so they can be reviewed and
// regenerated. Usage: drawpictures OUTPUT_DIR (with QT_QPA_PLATFORM=offscreen)

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>
#include <QtMath>
#include <cstdio>

namespace {

const QColor kNavy(0x1a, 0x2c, 0x5e);
const QColor kAccent(0x4a, 0x90, 0xd9);
const QColor kMist(0xa9, 0xb8, 0xd4);

// Pixel sizes, not point sizes, so output does not depend on screen DPI.
QFont font(qreal px, bool bold, qreal spacing = 0, bool italic = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(qRound(px));
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    if (spacing != 0) {
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    return f;
}

void text(QPainter &p, const QRectF &r, int flags, const QString &s, const QFont &f, const QColor &c)
{
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, s);
}

QImage canvas(int w, int h, const QColor &fill)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void begin(QPainter &p)
{
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
}

int failures = 0;

void save(const QImage &img, const QString &path, const char *format)
{
    // BMP readers expect plain 24-bit pixels without alpha.
    const QImage out = qstrcmp(format, "BMP") == 0 ? img.convertToFormat(QImage::Format_RGB32) : img;
    const bool ok = out.save(path, format);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(path), out.width(), out.height());
    failures += ok ? 0 : 1;
}

// The maker's mark: a 'T' whose bar is a contact between two terminals and
// whose stem drops to a third terminal, i.e. a switched crosspoint.
void tarselMark(QPainter &p, const QRectF &box, const QColor &ink, const QColor &accent)
{
    const qreal s = box.width();
    const qreal w = s * 0.085;
    const qreal r = s * 0.11;
    p.save();
    p.setPen(QPen(accent, w * 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(w, w, -w, -w), s * 0.16, s * 0.16);
    const QPointF l(box.left() + s * 0.27, box.top() + s * 0.34);
    const QPointF rt(box.right() - s * 0.27, l.y());
    const QPointF b(box.center().x(), box.bottom() - s * 0.24);
    p.setPen(QPen(ink, w, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(l, rt);
    p.drawLine(QPointF(b.x(), l.y()), QPointF(b.x(), b.y() - r));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(l, r, r);
    p.drawEllipse(rt, r, r);
    p.setBrush(accent);
    p.drawEllipse(b, r, r);
    p.restore();
}

// A ring of nodes, standing for a LAN-connected instrument.
void ringMark(QPainter &p, const QPointF &c, qreal rad, const QColor &ink, const QColor &accent)
{
    p.save();
    p.setPen(QPen(ink, rad * 0.16));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, rad, rad);
    p.setPen(QPen(kNavy, rad * 0.12));
    for (int i = 0; i < 3; ++i) {
        const qreal a = qDegreesToRadians(-90.0 + i * 120);
        p.setBrush(i == 0 ? accent : ink);
        p.drawEllipse(c + rad * QPointF(qCos(a), qSin(a)), rad * 0.3, rad * 0.3);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(c, rad * 0.22, rad * 0.22);
    p.restore();
}

// ---------------------------------------------------------------- splash

void splashBackground(QPainter &p, const QRectF &r)
{
    QLinearGradient g(0, 0, 0, r.height());
    g.setColorAt(0, QColor(0xf8, 0xfa, 0xfd));
    g.setColorAt(1, QColor(0xe2, 0xe8, 0xf1));
    p.fillRect(r, g);
    // Faint crosspoint grid in the free right margin hints at a switch matrix.
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 6; ++row) {
        for (int col = 0; col < 3; ++col) {
            const bool closed = (row + col * 2) % 5 == 0;
            p.setBrush(closed ? QColor(74, 144, 217, 70) : QColor(26, 44, 94, 28));
            p.drawEllipse(QPointF(537 + col * 16, 296 + row * 16), 2.6, 2.6);
        }
    }
}

void splashBand(QPainter &p, int height)
{
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, kNavy.lighter(118));
    g.setColorAt(1, kNavy.darker(115));
    p.fillRect(QRectF(0, 0, 56, height), g);
    p.fillRect(QRectF(56, 0, 3, height), kAccent);
    p.fillRect(QRectF(59, 0, 1, height), QColor(255, 255, 255, 160));
    tarselMark(p, QRectF(10, 14, 36, 36), Qt::white, kAccent);

    // Wordmark reads bottom-to-top along the band.
    p.save();
    p.translate(35, height - 16);
    p.rotate(-90);
    text(p, QRectF(0, -20, 200, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TARSEL"),
         font(19, true, 3.5), Qt::white);
    text(p, QRectF(0, 4, 200, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TEST & MEASUREMENT"),
         font(8.5, false, 1.2), kMist);
    p.restore();
}

void drawSplash(const QString &dir)
{
    QImage img = canvas(587, 400, Qt::white); // opaque: no alpha needed
    QPainter p(&img);
    begin(p);
    splashBackground(p, img.rect());
    splashBand(p, img.height());
    // Hairline separating the description from the copyright line.
    p.fillRect(QRectF(67, 362, 453, 1), QColor(0xc3, 0xcc, 0xdb));
    p.fillRect(QRectF(60, 397, 527, 3), kNavy);
    p.end();
    save(img.convertToFormat(QImage::Format_RGB32), dir + QStringLiteral("/fp_splash.png"), "PNG");
}

// ------------------------------------------------------------------ unit

void screw(QPainter &p, const QPointF &c, qreal r)
{
    QRadialGradient g(c - QPointF(r * 0.4, r * 0.4), r * 1.6);
    g.setColorAt(0, QColor(0xd8, 0xdb, 0xe0));
    g.setColorAt(1, QColor(0x6c, 0x70, 0x78));
    p.setPen(QPen(QColor(0x1c, 0x1d, 0x20), 0.8));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(QColor(0x3a, 0x3c, 0x42), 0.9));
    p.drawLine(c - QPointF(r * 0.55, 0), c + QPointF(r * 0.55, 0));
    p.drawLine(c - QPointF(0, r * 0.55), c + QPointF(0, r * 0.55));
}

void chassisTop(QPainter &p)
{
    const QPolygonF top({QPointF(24, 48), QPointF(44, 14), QPointF(408, 14), QPointF(428, 48)});
    QLinearGradient g(0, 14, 0, 48);
    g.setColorAt(0, QColor(0x9a, 0x9e, 0xa6));
    g.setColorAt(1, QColor(0xc4, 0xc8, 0xcf));
    p.setPen(QPen(QColor(0x5a, 0x5e, 0x66), 0.8));
    p.setBrush(g);
    p.drawPolygon(top);
    // Cooling vents in the lid.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5c, 0x60, 0x68, 150));
    for (int i = 0; i < 18; ++i) {
        p.drawRoundedRect(QRectF(150 + i * 9, 24, 4, 17), 1.5, 1.5);
    }
}

void rackEar(QPainter &p, const QRectF &r)
{
    QLinearGradient g(r.left(), 0, r.right(), 0);
    g.setColorAt(0, QColor(0x4a, 0x4d, 0x53));
    g.setColorAt(1, QColor(0x33, 0x35, 0x3a));
    p.setPen(QPen(QColor(0x15, 0x16, 0x18), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(QColor(0x0e, 0x0f, 0x11));
    p.setPen(QPen(QColor(0x6a, 0x6e, 0x75), 0.8));
    for (qreal y : {r.top() + 14, r.bottom() - 14}) {
        p.drawRoundedRect(QRectF(r.center().x() - 5, y - 3, 10, 6), 3, 3);
    }
}

void connector(QPainter &p, const QRectF &r, int cols, const QString &label)
{
    text(p, QRectF(r.left(), r.top() - 13, r.width(), 11), Qt::AlignCenter, label, font(8.5, true, 0.6),
         QColor(0xe4, 0xe7, 0xec));
    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0, QColor(0x26, 0x27, 0x2b));
    g.setColorAt(1, QColor(0x12, 0x13, 0x15));
    p.setPen(QPen(QColor(0x6b, 0x6f, 0x77), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 2.5, 2.5);
    // Polarisation key notch on top of the shroud.
    p.fillRect(QRectF(r.center().x() - 5, r.top() - 0.5, 10, 2.5), QColor(0x44, 0x47, 0x4d));
    const qreal pitch = (r.width() - 8) / cols;
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 2; ++row) {
        for (int c = 0; c < cols; ++c) {
            const QRectF pin(r.left() + 4 + c * pitch + pitch / 2 - 1.4, r.top() + 6 + row * 7, 2.8, 2.8);
            p.setBrush(QColor(0xc9, 0xa2, 0x4d));
            p.drawRect(pin);
            p.setBrush(QColor(0xf2, 0xd7, 0x8c));
            p.drawRect(pin.adjusted(0, 0, -1.4, -1.4));
        }
    }
}

void led(QPainter &p, const QPointF &c, const QColor &on, bool lit, const QString &label)
{
    if (lit) {
        QRadialGradient glow(c, 9);
        glow.setColorAt(0, QColor(on.red(), on.green(), on.blue(), 110));
        glow.setColorAt(1, Qt::transparent);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, 9, 9);
    }
    QRadialGradient g(c - QPointF(1, 1), 4);
    g.setColorAt(0, lit ? on.lighter(170) : QColor(0x55, 0x58, 0x5e));
    g.setColorAt(1, lit ? on : QColor(0x26, 0x28, 0x2c));
    p.setPen(QPen(QColor(0x0c, 0x0d, 0x0f), 0.8));
    p.setBrush(g);
    p.drawEllipse(c, 3.3, 3.3);
    text(p, QRectF(c.x() - 16, c.y() + 5, 32, 10), Qt::AlignCenter, label, font(7, true, 0.3),
         QColor(0xbf, 0xc4, 0xcc));
}

void statusArea(QPainter &p)
{
    // Display window with the product identity.
    const QRectF win(36, 62, 128, 46);
    QLinearGradient g(0, win.top(), 0, win.bottom());
    g.setColorAt(0, QColor(0x14, 0x22, 0x3f));
    g.setColorAt(1, QColor(0x0a, 0x12, 0x24));
    p.setPen(QPen(QColor(0x0a, 0x0a, 0x0c), 1.5));
    p.setBrush(g);
    p.drawRoundedRect(win, 3, 3);
    text(p, win.adjusted(8, 6, -4, -22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Xentra 4820"),
         font(15, true), Qt::white);
    text(p, win.adjusted(8, 26, -4, -6), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("LXI MATRIX SWITCH"), font(8, true, 0.9), QColor(0x8f, 0xc1, 0xf0));
    // Glass reflection along the top edge.
    QLinearGradient glare(0, win.top(), 0, win.top() + 18);
    glare.setColorAt(0, QColor(255, 255, 255, 30));
    glare.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glare);
    p.drawRoundedRect(win.adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);

    led(p, QPointF(48, 126), QColor(0x3d, 0xdc, 0x5a), true, QStringLiteral("PWR"));
    led(p, QPointF(80, 126), QColor(0x3d, 0xdc, 0x5a), true, QStringLiteral("LAN"));
    led(p, QPointF(112, 126), QColor(0x3a, 0x9b, 0xff), false, QStringLiteral("ID"));

    tarselMark(p, QRectF(36, 146, 20, 20), Qt::white, kAccent);
    text(p, QRectF(60, 146, 80, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TARSEL"),
         font(12, true, 2), Qt::white);
}

void lxiBadge(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(0x9a, 0xa0, 0xaa), 1));
    p.setBrush(QColor(0x1f, 0x21, 0x25));
    p.drawRoundedRect(r, 3, 3);
    ringMark(p, QPointF(r.left() + 10, r.center().y()), 5.5, Qt::white, kAccent);
    text(p, r.adjusted(19, 0, -3, 0), Qt::AlignCenter, QStringLiteral("LXI"), font(11, true, 0.5), Qt::white);
}

void frontPanel(QPainter &p)
{
    const QRectF face(22, 48, 408, 128);
    QLinearGradient g(0, face.top(), 0, face.bottom());
    g.setColorAt(0, QColor(0x45, 0x48, 0x4e));
    g.setColorAt(0.08, QColor(0x38, 0x3b, 0x40));
    g.setColorAt(1, QColor(0x24, 0x26, 0x2a));
    p.setPen(QPen(QColor(0x12, 0x13, 0x15), 1));
    p.setBrush(g);
    p.drawRect(face);
    p.fillRect(QRectF(face.left() + 1, face.top() + 1, face.width() - 2, 1), QColor(255, 255, 255, 60));
    rackEar(p, QRectF(4, 48, 20, 128));
    rackEar(p, QRectF(428, 48, 20, 128));

    statusArea(p);
    // Recessed divider between the operator and the signal sections.
    p.fillRect(QRectF(176, 58, 1, 108), QColor(0x15, 0x16, 0x18));
    p.fillRect(QRectF(177, 58, 1, 108), QColor(255, 255, 255, 30));

    connector(p, QRectF(190, 72, 112, 22), 16, QStringLiteral("X  1\u201316"));
    connector(p, QRectF(310, 72, 112, 22), 16, QStringLiteral("Y  1\u201316"));
    for (int i = 0; i < 4; ++i) { // analogue buses A-D
        connector(p, QRectF(190 + i * 46, 118, 40, 22), 5, QString(QChar('A' + i)));
    }
    lxiBadge(p, QRectF(380, 118, 42, 22));
    text(p, QRectF(190, 148, 232, 12), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("MATRIX SIGNAL I/O"),
         font(7, true, 0.6), QColor(0x9a, 0xa0, 0xaa));

    for (QPointF c : {QPointF(29, 55), QPointF(423, 55), QPointF(29, 169), QPointF(423, 169)}) {
        screw(p, c, 3.2);
    }
}

void drawUnit(const QString &dir)
{
    QImage img = canvas(452, 194, Qt::transparent);
    QPainter p(&img);
    begin(p);
    // Soft contact shadow under the unit.
    QRadialGradient shadow(QPointF(0, 0), 1);
    shadow.setColorAt(0, QColor(0, 0, 0, 90));
    shadow.setColorAt(1, Qt::transparent);
    p.setTransform(QTransform(220, 0, 0, 11, 226, 180)); // flat ellipse
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(0, 0), 1, 1);
    p.resetTransform();
    chassisTop(p);
    frontPanel(p);
    p.end();
    save(img, dir + QStringLiteral("/ts4820fp_splash.png"), "PNG");
}

// ----------------------------------------------------------------- logos

// Logos sit on a #1a2c5e banner, so they share its background colour.
template <typename Draw>
void drawLogo(const QString &path, int width, Draw draw)
{
    QImage img = canvas(width, 48, kNavy);
    QPainter p(&img);
    begin(p);
    draw(p);
    p.end();
    save(img, path, "BMP");
}

void drawLogos(const QString &dir)
{
    drawLogo(dir + QStringLiteral("/tarsel-logo.bmp"), 168, [](QPainter &p) {
        tarselMark(p, QRectF(8, 8, 32, 32), Qt::white, kAccent);
        text(p, QRectF(48, 6, 118, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TARSEL"),
             font(22, true, 3), Qt::white);
        text(p, QRectF(49, 29, 118, 12), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Test & Measurement"), font(10, false, 0.4), kMist);
    });
    drawLogo(dir + QStringLiteral("/vxi-logo.bmp"), 96, [](QPainter &p) {
        text(p, QRectF(0, 3, 96, 28), Qt::AlignCenter, QStringLiteral("VXI"), font(25, true, 2), Qt::white);
        p.fillRect(QRectF(20, 31, 56, 1), kAccent);
        text(p, QRectF(0, 32, 96, 13), Qt::AlignCenter, QStringLiteral("plug&play"),
             font(11, true, 0.3, true), kMist);
    });
    drawLogo(dir + QStringLiteral("/lxi-logo.bmp"), 96, [](QPainter &p) {
        ringMark(p, QPointF(24, 24), 12, Qt::white, kAccent);
        text(p, QRectF(42, 6, 52, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("LXI"),
             font(25, true, 1), Qt::white);
    });
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    drawSplash(dir);
    drawUnit(dir);
    drawLogos(dir);
    return failures == 0 ? 0 : 1;
}
