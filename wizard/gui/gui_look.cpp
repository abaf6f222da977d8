// The wizard's fonts and its pictures, drawn at run time.
//
// Icons are drawn on a 16-unit grid scaled to the pixmap's size: one-unit
// strokes sit on half units, so they cover whole pixels at 16, 32 and 48.
// The header and watermark are drawn in logical pixels at the application's
// device pixel ratio (rounded up), so they stay sharp on high-DPI screens.
// Every picture is made once, on the GUI thread, and kept.
#include "wizard/gui/gui_look.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "wizard/wiz_strings.h"

namespace {

// The palette: history in blues, the repository in teal.
const QColor k_deep(0x14, 0x3f, 0x63);
const QColor k_blue(0x23, 0x62, 0x8f);
const QColor k_teal(0x1f, 0x93, 0x8f);
const QColor k_mint(0x9f, 0xde, 0xd8);
const QColor k_ink(0x5d, 0x6d, 0x7e);

const char k_font_done[] = "vantorDialogFontApplied";

using draw_fn = void (*)(QPainter &);

}   // namespace

bool wiz_ui_is_japanese() {
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value.startsWith(QLatin1String("ja"));
    }
    return false;
}

void wiz_apply_dialog_font(QWidget *widget) {
    if (!widget || wiz_ui_is_japanese() || widget->property(k_font_done).toBool())
        return;
    widget->setProperty(k_font_done, true);
    QFont font = widget->font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 1.1);
    else
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * 1.1))));
    widget->setFont(font);
    for (QWidget *child : widget->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        child->setFont(font);
}

// Takes a trailing " Bold" or " Italic" off the face into the font's style.
static QString strip_style(QString face, bool &bold, bool &italic) {
    for (;;) {
        face = face.trimmed();
        if (face.endsWith(QLatin1String(" Bold"), Qt::CaseInsensitive)) {
            bold = true;
            face.chop(5);
        } else if (face.endsWith(QLatin1String(" Italic"), Qt::CaseInsensitive)) {
            italic = true;
            face.chop(7);
        } else {
            return face;
        }
    }
}

// The platform's general sans serif, never empty.
static QString sans_family() {
    QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (family.isEmpty() || !QFontDatabase::hasFamily(family)) {
        QFont hint;
        hint.setStyleHint(QFont::SansSerif);
        family = hint.defaultFamily();
    }
    if (family.isEmpty() || !QFontDatabase::hasFamily(family))
        family = QStringLiteral("DejaVu Sans");
    return family;
}

QFont wiz_title_font() {
    bool bold = false, italic = false;
    QString family = strip_style(QString::fromUtf8(wiz_string(IDS_TITLE_FONT_FACE)), bold, italic);
    bool ok = false;
    double points = QString::fromUtf8(wiz_string(IDS_TITLE_FONT_SIZE)).trimmed().toDouble(&ok);
    if (!ok || !(points > 0))
        points = 12;
    if (family.isEmpty() || !QFontDatabase::hasFamily(family))
        family = sans_family();
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// ---- drawing helpers -------------------------------------------------------

static qreal device_ratio() {
    return qGuiApp ? std::max<qreal>(1.0, std::ceil(qGuiApp->devicePixelRatio())) : 1.0;
}

// A transparent pixmap of a logical size at a device pixel ratio.
static QPixmap blank(int width, int height, qreal ratio) {
    QPixmap pixmap(static_cast<int>(std::ceil(width * ratio)), static_cast<int>(std::ceil(height * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

static void smooth(QPainter &p) { p.setRenderHint(QPainter::Antialiasing); }

static QPen pen(const QColor &color, qreal width, Qt::PenCapStyle cap = Qt::RoundCap) {
    return QPen(color, width, Qt::SolidLine, cap, Qt::RoundJoin);
}

static QLinearGradient vertical(qreal top, qreal bottom, const QColor &from, const QColor &to) {
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    return g;
}

// An icon with one pixmap per size, each drawn on the 16-unit grid.
static QIcon grid_icon(draw_fn draw, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap = blank(size, size, 1);
        QPainter p(&pixmap);
        smooth(p);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A sheet of paper with its top right corner folded over.
static void sheet(QPainter &p, const QRectF &r, bool lines) {
    const qreal fold = 3.5;
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(pen(k_ink, 1));
    p.setBrush(vertical(r.top(), r.bottom(), Qt::white, QColor(0xe6, 0xee, 0xf4)));
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(0xd3, 0xdd, 0xe6));
    p.drawPath(corner);
    if (!lines)
        return;
    p.setPen(pen(QColor(0x9c, 0xb1, 0xc3), 1, Qt::FlatCap));
    for (qreal y = r.top() + 5; y < r.bottom() - 1.5; y += 2)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

static void draw_folder(QPainter &p) {
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(5.5, 3.5);
    back.lineTo(7, 5);
    back.lineTo(14.5, 5);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    const QColor edge(0xa8, 0x7a, 0x1c);
    p.setPen(pen(edge, 1));
    p.setBrush(QColor(0xdc, 0xa8, 0x3c));
    p.drawPath(back);
    p.setBrush(vertical(6.5, 13.5, QColor(0xfb, 0xdc, 0x86), QColor(0xee, 0xbb, 0x4a)));
    p.drawRect(QRectF(1.5, 6.5, 13, 7));
}

// The SourceSafe mark: a teal dot, ringed so that it reads on any ground.
static void dot(QPainter &p, const QPointF &centre) {
    p.setPen(pen(Qt::white, 1));
    p.setBrush(k_teal);
    p.drawEllipse(centre, 2.75, 2.75);
}

static void draw_file(QPainter &p) { sheet(p, QRectF(3.5, 1.5, 9, 13), true); }

static void draw_archive(QPainter &p) {
    // Earlier versions stacked behind the sheet, a version chain on it.
    p.setPen(pen(k_ink, 1));
    p.setBrush(QColor(0xc8, 0xe6, 0xe8));
    p.drawRect(QRectF(6.5, 0.5, 8, 10));
    p.setBrush(QColor(0xe4, 0xf3, 0xf4));
    p.drawRect(QRectF(4.5, 2.5, 8, 10));
    sheet(p, QRectF(1.5, 4.5, 9, 11), false);
    p.setPen(pen(k_teal, 1, Qt::FlatCap));
    p.drawLine(QPointF(5, 8), QPointF(5, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(k_teal);
    for (qreal y : {8.0, 10.5, 13.0})
        p.drawEllipse(QPointF(5, y), 1.25, 1.25);
    p.setPen(pen(QColor(0x9c, 0xb1, 0xc3), 1, Qt::FlatCap));
    for (qreal y : {8.5, 13.5})
        p.drawLine(QPointF(7, y), QPointF(9, y));
}

static void draw_database(QPainter &p) {
    const QRectF top(2.5, 1.5, 11, 5), bottom(2.5, 10.5, 11, 5);
    QPainterPath body;
    body.moveTo(2.5, 4);
    body.lineTo(2.5, 13);
    body.arcTo(bottom, 180, 180);
    body.lineTo(13.5, 4);
    body.arcTo(top, 0, 180);
    QLinearGradient side(2.5, 0, 13.5, 0);
    side.setColorAt(0, k_blue);
    side.setColorAt(0.35, QColor(0x4a, 0x93, 0xbf));
    side.setColorAt(1, k_deep);
    p.setPen(pen(k_deep, 1));
    p.setBrush(side);
    p.drawPath(body);
    QPainterPath band;
    band.arcMoveTo(QRectF(2.5, 6, 11, 5), 180);
    band.arcTo(QRectF(2.5, 6, 11, 5), 180, 180);
    p.setPen(pen(k_mint, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(band);
    p.setPen(pen(k_deep, 1));
    p.setBrush(vertical(1.5, 6.5, QColor(0xc9, 0xee, 0xf0), k_mint));
    p.drawEllipse(top);
}

static void draw_project(QPainter &p) {
    draw_folder(p);
    dot(p, QPointF(11.5, 11));
}

static void draw_ssafe_file(QPainter &p) {
    sheet(p, QRectF(3.5, 1.5, 9, 13), true);
    dot(p, QPointF(11.5, 12));
}

// A safe: a heavy door with a dial on two feet; in detail also the door's
// frame, hinges, a handle and the slot on top that history drops into.
static void vault(QPainter &p, const QRectF &r, qreal unit, bool detail) {
    const QColor edge(0x0e, 0x2d, 0x48), frame(0x6d, 0xa8, 0xcc);
    p.setPen(Qt::NoPen);
    p.setBrush(edge);
    const qreal foot = 2 * unit;
    p.drawRect(QRectF(r.left() + unit, r.bottom(), foot, unit * 1.5));
    p.drawRect(QRectF(r.right() - unit - foot, r.bottom(), foot, unit * 1.5));
    p.setPen(pen(edge, unit));
    p.setBrush(vertical(r.top(), r.bottom(), QColor(0x3b, 0x7b, 0xa8), k_deep));
    p.drawRoundedRect(r, 1.5 * unit, 1.5 * unit);
    const qreal radius = std::min(r.width(), r.height()) * (detail ? 0.22 : 0.26);
    const QPointF centre = r.center() + QPointF(detail ? -r.width() * 0.08 : 0, 0);
    if (detail) {
        const QRectF door = r.adjusted(2.5 * unit, 2.5 * unit, -2.5 * unit, -2 * unit);
        p.setPen(pen(frame, unit * 0.75));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(door, unit, unit);
        p.setPen(Qt::NoPen);
        p.setBrush(frame);
        for (qreal f : {0.25, 0.75})
            p.drawRect(QRectF(door.left() - unit, door.top() + door.height() * f - unit, unit, 2 * unit));
        p.setPen(pen(k_mint, 1.25 * unit));
        const QPointF grip = centre + QPointF(radius + 2.5 * unit, 0);
        p.drawLine(grip, grip + QPointF(3 * unit, 0));
        p.setPen(pen(edge, unit));
        p.setBrush(QColor(0x0a, 0x22, 0x38));
        p.drawRoundedRect(
            QRectF(r.center().x() - r.width() * 0.18, r.top() - 0.5 * unit, r.width() * 0.36, 1.5 * unit),
            0.75 * unit, 0.75 * unit);
    }
    p.setPen(pen(edge, unit));
    p.setBrush(vertical(centre.y() - radius, centre.y() + radius, QColor(0xd8, 0xf4, 0xf1), k_mint));
    p.drawEllipse(centre, radius, radius);
    p.setPen(pen(k_teal, unit));
    p.drawLine(centre, centre + QPointF(0, -radius * 0.6));
}

static void draw_vob(QPainter &p) { vault(p, QRectF(1.5, 2.5, 13, 10), 1, false); }

static void draw_done(QPainter &p) {
    QPainterPath check;
    check.moveTo(3, 8.5);
    check.lineTo(6.5, 12);
    check.lineTo(13, 4);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(0x1f, 0x7a, 0x33), 3.6));
    p.drawPath(check);
    p.setPen(pen(QColor(0x3c, 0xb8, 0x55), 2.4));
    p.drawPath(check);
}

static void red_disc(QPainter &p) {
    QRadialGradient g(QPointF(6.5, 5.5), 9);
    g.setColorAt(0, QColor(0xf2, 0x6d, 0x62));
    g.setColorAt(1, QColor(0xc0, 0x2b, 0x26));
    p.setPen(pen(QColor(0x9c, 0x20, 0x1c), 1));
    p.setBrush(g);
    p.drawEllipse(QPointF(8, 8), 7, 7);
}

static void draw_failure(QPainter &p) {
    red_disc(p);
    p.setPen(pen(Qt::white, 1.8));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

static void draw_error(QPainter &p) {
    red_disc(p);
    p.setPen(pen(Qt::white, 2));
    p.drawLine(QPointF(8, 4.25), QPointF(8, 8.75));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 11.6), 1.2, 1.2);
}

// A side line of history: leaves the trunk at version `from`, keeps a
// version beside each one of the trunk, and merges back at `to`.
struct Branch {
    int from, to;
    qreal reach;   // signed: right of the trunk when positive
};

// History as rings on a trunk of `count` versions, with its branches, running
// down to `bottom` where an arrow drops it into the vault.
struct History {
    qreal x, top, step, bottom, ring, line;
    int count;
    std::vector<Branch> branches;
};

static void history(QPainter &p, const History &h, const QBrush &stroke, const QColor &fill) {
    auto at = [&](int i, qreal dx) { return QPointF(h.x + dx, h.top + i * h.step); };
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(stroke, h.line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(at(0, 0), QPointF(h.x, h.bottom));
    const qreal head = h.line * 1.6;
    p.drawPolyline(QPolygonF{QPointF(h.x - head, h.bottom - head), QPointF(h.x, h.bottom),
                             QPointF(h.x + head, h.bottom - head)});
    for (const Branch &b : h.branches) {
        QPainterPath side;
        side.moveTo(at(b.from, 0));
        const qreal bend = h.step * 0.55;
        side.cubicTo(at(b.from, b.reach * 0.1) + QPointF(0, bend), at(b.from + 1, b.reach) - QPointF(0, bend),
                     at(b.from + 1, b.reach));
        side.lineTo(at(b.to - 1, b.reach));
        side.cubicTo(at(b.to - 1, b.reach) + QPointF(0, bend), at(b.to, b.reach * 0.1) - QPointF(0, bend),
                     at(b.to, 0));
        p.drawPath(side);
    }
    p.setBrush(fill);
    for (int i = 0; i < h.count; ++i)
        p.drawEllipse(at(i, 0), h.ring, h.ring);
    for (const Branch &b : h.branches)
        for (int i = b.from + 1; i < b.to; ++i)
            p.drawEllipse(at(i, b.reach), h.ring, h.ring);
}

static QPixmap draw_header() {
    QPixmap pixmap = blank(49, 49, device_ratio());
    QPainter p(&pixmap);
    smooth(p);
    history(p, History{20.5, 4, 7, 28, 2.5, 1.5, 3, {{0, 2, 9.5}}}, k_teal, Qt::white);
    vault(p, QRectF(5.5, 30.5, 38, 14), 1.25, true);
    return pixmap;
}

static QPixmap draw_watermark() {
    // Tall enough to fill the side of the window at its usual size; the
    // motif keeps its place in the upper part.
    const int w = 164, h = 500;
    QPixmap pixmap = blank(w, h, device_ratio());
    QPainter p(&pixmap);
    smooth(p);
    QLinearGradient ground(0, 0, 0, h);
    ground.setColorAt(0, QColor(0x0f, 0x34, 0x56));
    ground.setColorAt(0.55, QColor(0x1d, 0x5d, 0x86));
    ground.setColorAt(1, QColor(0x27, 0x8a, 0x90));
    p.fillRect(QRectF(0, 0, w, h), ground);
    p.translate(0, 60);
    // A soft light where history enters the repository, and faint rings of
    // time around it.
    const QPointF heart(w / 2.0, 240);
    QRadialGradient glow(heart, 120);
    glow.setColorAt(0, QColor(255, 255, 255, 56));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, -60, w, h), glow);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(255, 255, 255, 16), 1));
    for (int i = 1; i <= 5; ++i)
        p.drawEllipse(heart, 40.0 + 36 * i, 40.0 + 36 * i);
    // The oldest versions fade into the ground.
    QLinearGradient fade(0, 20, 0, 200);
    fade.setColorAt(0, QColor(0xc9, 0xef, 0xec, 40));
    fade.setColorAt(1, QColor(0xc9, 0xef, 0xec, 235));
    history(p, History{78, 26, 34, 206, 6.5, 3, 5, {{0, 2, -30}, {1, 4, 34}}}, fade,
            QColor(0x1a, 0x52, 0x78));
    vault(p, QRectF(26, 216, 112, 64), 3, true);
    return pixmap;
}

QPixmap wiz_header_pixmap() {
    static const QPixmap pixmap = draw_header();
    return pixmap;
}

QPixmap wiz_watermark_pixmap() {
    static const QPixmap pixmap = draw_watermark();
    return pixmap;
}

QIcon wiz_done_icon() {
    static const QIcon icon = grid_icon(draw_done, {16, 32});
    return icon;
}

QIcon wiz_failure_icon() {
    static const QIcon icon = grid_icon(draw_failure, {16, 32});
    return icon;
}

QIcon wiz_error_icon() {
    static const QIcon icon = grid_icon(draw_error, {32, 48});
    return icon;
}

QIcon wiz_tree_icon(wiz_icon kind) {
    // In the order of wiz_icon.
    static const std::array<QIcon, 7> icons = {
        grid_icon(draw_folder, {16, 32}),  grid_icon(draw_file, {16, 32}),
        grid_icon(draw_archive, {16, 32}), grid_icon(draw_database, {16, 32}),
        grid_icon(draw_project, {16, 32}), grid_icon(draw_ssafe_file, {16, 32}),
        grid_icon(draw_vob, {16, 32}),
    };
    const auto index = static_cast<std::size_t>(kind);
    return index < icons.size() ? icons[index] : QIcon();
}
