// sentrova_icongen RESOURCES_DIR: draws the program's pictures into the
// resources folder: the toolbar and menu icons, the three status images, the
// window and tray icon, the wizard's kind icons and the logo vlogo.dat.
// The PNG files it writes are kept in the repository; run it again after a
// change here.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <functional>

namespace
{

QString g_dir;

// Draws in a square of `units` logical units, rendered at `pixels` pixels.
void make(const QString &name, int pixels, int units, const std::function<void(QPainter &)> &draw)
{
    QImage img(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(double(pixels) / units, double(pixels) / units);
    draw(p);
    p.end();
    img.save(QDir(g_dir).filePath(QStringLiteral("icons/%1.png").arg(name)));
}

QPen pen(const QColor &c, double w = 1.2)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

const QColor kInk(45, 52, 64);
const QColor kPaper(250, 250, 246);
const QColor kBlue(46, 110, 190);
const QColor kGreen(46, 150, 70);
const QColor kRed(200, 45, 45);
const QColor kYellow(245, 200, 40);

void page(QPainter &p, double x = 5, double y = 2, double w = 13, double h = 19)
{
    QPainterPath path;
    path.moveTo(x, y);
    path.lineTo(x + w - 4, y);
    path.lineTo(x + w, y + 4);
    path.lineTo(x + w, y + h);
    path.lineTo(x, y + h);
    path.closeSubpath();
    p.setPen(pen(kInk, 1));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.drawLine(QPointF(x + w - 4, y), QPointF(x + w - 4, y + 4));
    p.drawLine(QPointF(x + w - 4, y + 4), QPointF(x + w, y + 4));
}

void lines(QPainter &p, double x, double y, double w, int n, double step = 3)
{
    p.setPen(pen(QColor(120, 130, 145), 1));
    for (int i = 0; i < n; ++i)
        p.drawLine(QPointF(x, y + i * step), QPointF(x + w, y + i * step));
}

void plusBadge(QPainter &p, double cx, double cy, const QColor &c = kGreen)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(cx, cy), 5, 5);
    p.setPen(pen(Qt::white, 1.8));
    p.drawLine(QPointF(cx - 2.8, cy), QPointF(cx + 2.8, cy));
    p.drawLine(QPointF(cx, cy - 2.8), QPointF(cx, cy + 2.8));
}

void folder(QPainter &p, double x, double y, double w, double h, const QColor &c = QColor(235, 185, 70))
{
    QPainterPath back;
    back.moveTo(x, y + 2);
    back.lineTo(x + w * 0.4, y + 2);
    back.lineTo(x + w * 0.5, y);
    back.lineTo(x + w, y);
    back.lineTo(x + w, y + h);
    back.lineTo(x, y + h);
    back.closeSubpath();
    p.setPen(pen(c.darker(160), 1));
    p.setBrush(c.darker(115));
    p.drawPath(back);
    p.setBrush(c);
    p.drawRect(QRectF(x, y + 4, w, h - 4));
}

void floppy(QPainter &p, double x = 3, double y = 3, double s = 17)
{
    p.setPen(pen(kInk, 1));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(x, y, s, s), 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(x + 3, y + 1, s - 6, s * 0.4));
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(x + 4, y + s * 0.6, s - 8, s * 0.4 - 1));
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(x + s - 8, y + s * 0.65, 2.5, s * 0.28));
}

void printer(QPainter &p)
{
    p.setPen(pen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(7, 2, 10, 8));
    p.setBrush(QColor(140, 150, 165));
    p.drawRoundedRect(QRectF(2, 9, 20, 9), 2, 2);
    p.setBrush(kPaper);
    p.drawRect(QRectF(6, 15, 12, 7));
    lines(p, 8, 17.5, 8, 2, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(18.5, 12), 1.2, 1.2);
}

void gear(QPainter &p, double cx, double cy, double r, const QColor &c)
{
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a = i * M_PI / teeth;
        const double rr = (i % 2 == 0) ? r : r * 0.75;
        const double a0 = a - M_PI / teeth / 2, a1 = a + M_PI / teeth / 2;
        const QPointF p0(cx + rr * cos(a0), cy + rr * sin(a0));
        const QPointF p1(cx + rr * cos(a1), cy + rr * sin(a1));
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    path.addEllipse(QPointF(cx, cy), r * 0.32, r * 0.32);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(pen(c.darker(150), 0.8));
    p.setBrush(c);
    p.drawPath(path);
}

void circularArrow(QPainter &p, double cx, double cy, double r, const QColor &c, double width = 2.4)
{
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(cx - r, cy - r, 2 * r, 2 * r), 60 * 16, 280 * 16);
    // arrow head at the arc's start (60 degrees, counter-clockwise from 3 o'clock)
    const double a = 60 * M_PI / 180;
    const QPointF tip(cx + r * cos(a), cy - r * sin(a));
    QPolygonF head;
    head << tip + QPointF(-4.5, -2.5) << tip + QPointF(2.5, 1.5) << tip + QPointF(-3.5, 4.5);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(head);
}

void face(QPainter &p, const QColor &c, bool smile)
{
    // 16 x 16 units
    QRadialGradient g(QPointF(6, 5), 9);
    g.setColorAt(0, c.lighter(140));
    g.setColorAt(1, c);
    p.setPen(pen(c.darker(200), 0.9));
    p.setBrush(g);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QPointF(5.6, 6.2), 1.1, 1.4);
    p.drawEllipse(QPointF(10.4, 6.2), 1.1, 1.4);
    p.setPen(pen(QColor(30, 30, 30), 1.2));
    p.setBrush(Qt::NoBrush);
    if (smile)
        p.drawArc(QRectF(4.2, 5.5, 7.6, 6), 200 * 16, 140 * 16);
    else
        p.drawArc(QRectF(4.2, 10, 7.6, 5), 25 * 16, 130 * 16);
}

void eyeLogo(QPainter &p, double cx, double cy, double r)
{
    // The program's mark: a radar disc with a sweep and a dot.
    QRadialGradient g(QPointF(cx - r * 0.3, cy - r * 0.3), r * 1.3);
    g.setColorAt(0, QColor(90, 170, 240));
    g.setColorAt(1, QColor(20, 70, 140));
    p.setPen(pen(QColor(15, 45, 95), r * 0.08));
    p.setBrush(g);
    p.drawEllipse(QPointF(cx, cy), r, r);
    p.setPen(pen(QColor(190, 230, 255, 160), r * 0.05));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(cx, cy), r * 0.66, r * 0.66);
    p.drawEllipse(QPointF(cx, cy), r * 0.33, r * 0.33);
    QPainterPath sweep;
    sweep.moveTo(cx, cy);
    sweep.arcTo(QRectF(cx - r * 0.95, cy - r * 0.95, r * 1.9, r * 1.9), 20, 55);
    sweep.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 255, 140, 150));
    p.drawPath(sweep);
    p.setPen(pen(QColor(150, 255, 160), r * 0.08));
    p.drawLine(QPointF(cx, cy), QPointF(cx + r * 0.9 * cos(75 * M_PI / 180), cy - r * 0.9 * sin(75 * M_PI / 180)));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 235, 80));
    p.drawEllipse(QPointF(cx + r * 0.42, cy - r * 0.22), r * 0.11, r * 0.11);
}

void monitorScreen(QPainter &p, double x, double y, double w, double h)
{
    p.setPen(pen(kInk, 1.2));
    p.setBrush(QColor(60, 70, 85));
    p.drawRoundedRect(QRectF(x, y, w, h), 1.5, 1.5);
    p.setBrush(QColor(110, 180, 235));
    p.drawRect(QRectF(x + 2, y + 2, w - 4, h - 4));
    p.setBrush(QColor(60, 70, 85));
    p.drawRect(QRectF(x + w / 2 - 2, y + h, 4, 2.5));
    p.drawRect(QRectF(x + w / 2 - 5, y + h + 2.5, 10, 1.5));
}

void cylinder(QPainter &p, double x, double y, double w, double h, const QColor &c)
{
    const double e = w * 0.3;
    p.setPen(pen(c.darker(170), 1.2));
    p.setBrush(c);
    QPainterPath body;
    body.moveTo(x, y + e / 2);
    body.lineTo(x, y + h - e / 2);
    body.arcTo(QRectF(x, y + h - e, w, e), 180, 180);
    body.lineTo(x + w, y + e / 2);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(c.lighter(130));
    p.drawEllipse(QRectF(x, y, w, e));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(x, y + h / 3, w, e), 180 * 16, 180 * 16);
    p.drawArc(QRectF(x, y + 2 * h / 3 - e / 2, w, e), 180 * 16, 180 * 16);
}

void icons()
{
    make("new", 48, 24, [](QPainter &p) {
        page(p);
        p.setPen(Qt::NoPen);
        p.setBrush(kYellow);
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double a = -M_PI / 2 + i * M_PI / 5, r = (i % 2) ? 2.2 : 5;
            star << QPointF(17 + r * cos(a), 17 + r * sin(a));
        }
        p.setPen(pen(QColor(190, 140, 0), 0.7));
        p.drawPolygon(star);
    });
    make("open", 48, 24, [](QPainter &p) {
        folder(p, 2, 5, 19, 15);
        p.setPen(pen(QColor(160, 110, 20), 1));
        p.setBrush(QColor(250, 215, 120));
        QPolygonF flap;
        flap << QPointF(5, 11) << QPointF(23, 11) << QPointF(20, 20) << QPointF(2, 20);
        p.drawPolygon(flap);
    });
    make("save", 48, 24, [](QPainter &p) { floppy(p); });
    make("saveas", 48, 24, [](QPainter &p) {
        floppy(p, 2, 2, 16);
        p.setPen(pen(kInk, 0.8));
        p.setBrush(kYellow);
        QPolygonF pencil;
        pencil << QPointF(12, 20) << QPointF(20, 12) << QPointF(22.5, 14.5) << QPointF(14.5, 22.5) << QPointF(11, 23.5);
        p.drawPolygon(pencil);
    });
    make("append", 48, 24, [](QPainter &p) {
        page(p, 3, 2, 13, 18);
        lines(p, 5.5, 9, 8, 3);
        plusBadge(p, 18, 18);
    });
    make("print", 48, 24, [](QPainter &p) { printer(p); });
    make("printersetup", 48, 24, [](QPainter &p) {
        printer(p);
        gear(p, 18, 18, 5.5, QColor(150, 150, 160));
    });
    make("exit", 48, 24, [](QPainter &p) {
        p.setPen(pen(kInk, 1));
        p.setBrush(QColor(160, 110, 70));
        p.drawRect(QRectF(4, 2, 11, 20));
        p.setBrush(QColor(210, 170, 120));
        p.drawRect(QRectF(6, 4, 7, 16));
        p.setPen(pen(kRed, 2.4));
        p.drawLine(QPointF(12, 12), QPointF(21, 12));
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        QPolygonF head;
        head << QPointF(23, 12) << QPointF(18, 7.5) << QPointF(18, 16.5);
        p.drawPolygon(head);
    });
    make("add", 48, 24, [](QPainter &p) {
        monitorScreen(p, 2, 3, 15, 12);
        plusBadge(p, 18, 17, kGreen);
    });
    make("edit", 48, 24, [](QPainter &p) {
        monitorScreen(p, 2, 3, 15, 12);
        p.setPen(pen(kInk, 0.8));
        p.setBrush(kYellow);
        QPolygonF pencil;
        pencil << QPointF(11, 21) << QPointF(20, 12) << QPointF(22.5, 14.5) << QPointF(13.5, 23.5) << QPointF(10, 24);
        p.drawPolygon(pencil);
    });
    make("delete", 48, 24, [](QPainter &p) {
        monitorScreen(p, 2, 3, 15, 12);
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawEllipse(QPointF(18, 17), 5.2, 5.2);
        p.setPen(pen(Qt::white, 1.8));
        p.drawLine(QPointF(15.8, 14.8), QPointF(20.2, 19.2));
        p.drawLine(QPointF(20.2, 14.8), QPointF(15.8, 19.2));
    });
    make("start", 48, 24, [](QPainter &p) {
        QRadialGradient g(QPointF(9, 8), 13);
        g.setColorAt(0, QColor(120, 220, 120));
        g.setColorAt(1, kGreen);
        p.setPen(pen(kGreen.darker(160), 1));
        p.setBrush(g);
        p.drawEllipse(QRectF(2, 2, 20, 20));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        QPolygonF tri;
        tri << QPointF(9.5, 7) << QPointF(17, 12) << QPointF(9.5, 17);
        p.drawPolygon(tri);
    });
    make("refresh", 48, 24, [](QPainter &p) { circularArrow(p, 12, 12.5, 7.5, kBlue); });
    make("refreshall", 48, 24, [](QPainter &p) {
        lines(p, 3, 4, 7, 1);
        circularArrow(p, 13, 13.5, 7, kGreen);
        p.setPen(pen(kInk, 1));
        p.drawLine(QPointF(2, 20), QPointF(6, 20));
    });
    make("schedule", 48, 24, [](QPainter &p) {
        p.setPen(pen(kInk, 1));
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(2, 4, 20, 18), 1.5, 1.5);
        p.setBrush(kRed);
        p.drawRect(QRectF(2, 4, 20, 5));
        p.setPen(pen(kInk, 1.4));
        p.drawLine(QPointF(7, 2), QPointF(7, 6));
        p.drawLine(QPointF(17, 2), QPointF(17, 6));
        p.setPen(Qt::NoPen);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) {
                p.setBrush((r + c) % 3 == 0 ? kGreen : QColor(170, 175, 185));
                p.drawRect(QRectF(4 + c * 4.3, 11 + r * 3.6, 3, 2.6));
            }
    });
    make("alertprofile", 48, 24, [](QPainter &p) {
        QPainterPath bell;
        bell.moveTo(4, 18);
        bell.cubicTo(6, 16, 6, 12, 6, 10);
        bell.cubicTo(6, 5, 9, 3, 12, 3);
        bell.cubicTo(15, 3, 18, 5, 18, 10);
        bell.cubicTo(18, 12, 18, 16, 20, 18);
        bell.closeSubpath();
        p.setPen(pen(QColor(170, 120, 0), 1));
        p.setBrush(kYellow);
        p.drawPath(bell);
        p.setBrush(QColor(170, 120, 0));
        p.drawEllipse(QPointF(12, 20), 2, 2);
        p.setPen(pen(kRed, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(0.5, 2, 7, 10), 110 * 16, 80 * 16);
        p.drawArc(QRectF(16.5, 2, 7, 10), -10 * 16, 80 * 16);
    });
    make("loganalyser", 48, 24, [](QPainter &p) {
        page(p, 2, 2, 14, 19);
        lines(p, 4.5, 8, 8, 4);
        p.setPen(pen(kInk, 1.6));
        p.setBrush(QColor(200, 230, 255, 200));
        p.drawEllipse(QPointF(15, 14), 4.2, 4.2);
        p.setPen(pen(kInk, 2.6));
        p.drawLine(QPointF(18, 17), QPointF(22, 21));
    });
    make("options", 48, 24, [](QPainter &p) { gear(p, 12, 12, 10, QColor(140, 150, 165)); });
    make("customize", 48, 24, [](QPainter &p) {
        p.setPen(pen(kInk, 1));
        p.setBrush(QColor(225, 228, 235));
        p.drawRect(QRectF(2, 4, 20, 8));
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRect(QRectF(4, 6, 4, 4));
        p.setBrush(kGreen);
        p.drawRect(QRectF(10, 6, 4, 4));
        p.setBrush(kRed);
        p.drawRect(QRectF(16, 6, 4, 4));
        gear(p, 16, 17.5, 5.5, QColor(150, 150, 160));
    });
    make("help", 48, 24, [](QPainter &p) {
        p.setPen(pen(kBlue.darker(150), 1));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(2, 2, 20, 20));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(15);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
    });
    make("homepage", 48, 24, [](QPainter &p) {
        p.setPen(pen(kInk, 1));
        p.setBrush(QColor(230, 220, 200));
        p.drawRect(QRectF(5, 11, 14, 11));
        p.setBrush(kRed);
        QPolygonF roof;
        roof << QPointF(2, 12) << QPointF(12, 3) << QPointF(22, 12);
        p.drawPolygon(roof);
        p.setBrush(QColor(140, 90, 50));
        p.drawRect(QRectF(10, 15, 4, 7));
    });
    make("contact", 48, 24, [](QPainter &p) {
        p.setPen(pen(kInk, 1));
        p.setBrush(kPaper);
        p.drawRect(QRectF(2, 5, 20, 14));
        p.setBrush(Qt::NoBrush);
        QPolygonF flap;
        flap << QPointF(2, 5) << QPointF(12, 13) << QPointF(22, 5);
        p.drawPolyline(flap);
    });
    make("about", 48, 24, [](QPainter &p) {
        p.setPen(pen(kBlue.darker(150), 1));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(2, 2, 20, 20));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(12, 7.2), 1.7, 1.7);
        p.drawRoundedRect(QRectF(10.4, 10, 3.2, 8.5), 1, 1);
    });
    make("back", 48, 24, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        QPolygonF a;
        a << QPointF(3, 12) << QPointF(12, 4) << QPointF(12, 9) << QPointF(21, 9) << QPointF(21, 15) << QPointF(12, 15)
          << QPointF(12, 20);
        p.drawPolygon(a);
    });
    make("forward", 48, 24, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        QPolygonF a;
        a << QPointF(21, 12) << QPointF(12, 4) << QPointF(12, 9) << QPointF(3, 9) << QPointF(3, 15) << QPointF(12, 15)
          << QPointF(12, 20);
        p.drawPolygon(a);
    });
    make("close", 48, 24, [](QPainter &p) {
        p.setPen(pen(kRed, 3));
        p.drawLine(QPointF(6, 6), QPointF(18, 18));
        p.drawLine(QPointF(18, 6), QPointF(6, 18));
    });

    // Status images, exactly 16 x 16: 0 failure, 1 OK, 2 testing.
    make("status0", 16, 16, [](QPainter &p) { face(p, QColor(60, 175, 70), false); });
    make("status1", 16, 16, [](QPainter &p) { face(p, kYellow, true); });
    make("status2", 16, 16, [](QPainter &p) {
        // a grey sign on a post
        p.setPen(pen(QColor(90, 90, 90), 1));
        p.setBrush(QColor(110, 110, 110));
        p.drawRect(QRectF(7.2, 9, 1.6, 6.5));
        p.setBrush(QColor(175, 175, 180));
        QPolygonF sign;
        sign << QPointF(8, 1) << QPointF(14.5, 5.5) << QPointF(8, 10) << QPointF(1.5, 5.5);
        p.drawPolygon(sign);
        p.setPen(pen(QColor(70, 70, 70), 1.3));
        p.drawLine(QPointF(8, 3.5), QPointF(8, 6));
        p.drawPoint(QPointF(8, 7.8));
    });

    // Window and tray icon.
    for (int size : {16, 32, 64, 128})
        make(QStringLiteral("app%1").arg(size), size, 64, [](QPainter &p) { eyeLogo(p, 32, 32, 29); });

    // The new-object wizard's kinds, 32 x 32 (drawn at 64).
    make("kind1", 64, 32, [](QPainter &p) {
        monitorScreen(p, 1, 3, 12, 10);
        monitorScreen(p, 19, 15, 12, 10);
        p.setPen(pen(kGreen, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(8, 6, 16, 16), 0, 90 * 16);
        p.drawArc(QRectF(11, 9, 10, 10), 0, 90 * 16);
    });
    make("kind2", 64, 32, [](QPainter &p) {
        monitorScreen(p, 2, 4, 16, 13);
        p.setPen(pen(kInk, 1.2));
        p.setBrush(QColor(90, 90, 100));
        p.drawRect(QRectF(20, 16, 8, 8));
        p.drawLine(QPointF(22, 16), QPointF(22, 12));
        p.drawLine(QPointF(26, 16), QPointF(26, 12));
        p.setPen(pen(kInk, 2));
        p.setBrush(Qt::NoBrush);
        QPainterPath cable;
        cable.moveTo(24, 24);
        cable.cubicTo(24, 30, 12, 30, 10, 24);
        p.drawPath(cable);
    });
    make("kind3", 64, 32, [](QPainter &p) {
        QRadialGradient g(QPointF(12, 11), 16);
        g.setColorAt(0, QColor(130, 200, 255));
        g.setColorAt(1, kBlue);
        p.setPen(pen(kBlue.darker(150), 1.2));
        p.setBrush(g);
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setBrush(Qt::NoBrush);
        p.setPen(pen(QColor(230, 245, 255), 1));
        p.drawEllipse(QRectF(10, 3, 12, 26));
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
        p.drawLine(QPointF(5, 9), QPointF(27, 9));
        p.drawLine(QPointF(5, 23), QPointF(27, 23));
    });
    make("kind4", 64, 32, [](QPainter &p) {
        p.setPen(pen(kInk, 1.2));
        p.setBrush(QColor(170, 175, 185));
        p.drawRoundedRect(QRectF(2, 9, 28, 14), 2, 2);
        p.setBrush(QColor(120, 125, 135));
        p.drawRect(QRectF(5, 18, 16, 2.5));
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(26, 19), 1.6, 1.6);
        // free-space gauge
        p.setBrush(kRed);
        p.drawRect(QRectF(5, 12, 10, 3));
        p.setBrush(kGreen);
        p.drawRect(QRectF(15, 12, 11, 3));
    });
    make("kind5", 64, 32, [](QPainter &p) {
        folder(p, 2, 6, 22, 18);
        p.setPen(pen(kInk, 1));
        p.setBrush(QColor(250, 235, 160));
        p.drawRect(QRectF(18, 10, 6, 20));
        for (int i = 0; i < 6; ++i)
            p.drawLine(QPointF(18, 12 + i * 3), QPointF(i % 2 ? 20 : 21.5, 12 + i * 3));
    });
    make("kind6", 64, 32, [](QPainter &p) {
        folder(p, 2, 6, 22, 18);
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(23, 22), 7, 7);
        p.setPen(pen(Qt::white, 2.2));
        QPolygonF tick;
        tick << QPointF(19.5, 22) << QPointF(22.2, 25) << QPointF(27, 19);
        p.drawPolyline(tick);
    });
    make("kind7", 64, 32, [](QPainter &p) {
        page(p, 2, 3, 13, 18);
        page(p, 17, 9, 13, 18);
        p.setPen(pen(kRed, 2));
        p.drawLine(QPointF(11, 25), QPointF(19, 25));
        p.drawLine(QPointF(11, 29), QPointF(19, 29));
    });
    make("kind8", 64, 32, [](QPainter &p) { cylinder(p, 6, 3, 20, 26, QColor(90, 140, 210)); });
}

void logo()
{
    // vlogo.dat: the pickers' picture strip, a Windows bitmap.
    QImage img(120, 360, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 360);
    g.setColorAt(0, QColor(18, 52, 110));
    g.setColorAt(1, QColor(40, 120, 190));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    for (int y = 0; y < 360; y += 12)
        p.drawLine(0, y, 120, y + 60);
    eyeLogo(p, 60, 70, 40);
    p.save();
    p.translate(74, 330);
    p.rotate(-90);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(235, 245, 255));
    p.drawText(0, 0, QStringLiteral("Sentrova"));
    f.setPixelSize(15);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(190, 215, 240));
    p.drawText(0, -34, QStringLiteral("Velmora"));
    p.restore();
    p.end();
    img.save(QDir(g_dir).filePath(QStringLiteral("vlogo.dat")), "BMP");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: sentrova_icongen RESOURCES_DIR\n";
        return 2;
    }
    g_dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(QDir(g_dir).filePath(QStringLiteral("icons")));
    icons();
    logo();
    return 0;
}
