// Writes the cursor art cursor-arrow.pdf and cursor-pointer.pdf: vector drawings
// on a 256 x 256 pt page, a white shape with a dark outline.
//
// The hot spots are fixed by the renderer (as fractions of the page size from
// the top-left corner): the arrow's tip at (0.015625, 0.0078125), that is
// (4, 2) pt; the hand's fingertip on the top edge at x = 0.296875, that is
// (76, 0) pt. The outer edge of the outline passes through those points.
//
// Usage: orvane-make-cursors OUTPUT_DIR

#include <QDir>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPdfWriter>
#include <cstdio>

namespace {

constexpr double kPage = 256.0;
constexpr double kOutline = 11.0; // width of the dark rim, pt
const QColor kDark(24, 24, 28);

QPainterPath arrowShape() {
    // The classic arrow: tip, left edge, notch, tail, back up to the right wing.
    QPainterPath p;
    p.moveTo(4, 2);
    p.lineTo(4, 200);
    p.lineTo(52, 156);
    p.lineTo(84, 230);
    p.lineTo(122, 214);
    p.lineTo(90, 142);
    p.lineTo(154, 142);
    p.closeSubpath();
    return p;
}

QPainterPath handShape() {
    // A pointing hand: raised index finger (its tip at the top edge, x = 76),
    // three folded fingers, a thumb and the palm, joined into one outline.
    QPainterPath p;
    p.setFillRule(Qt::WindingFill);
    p.addRoundedRect(QRectF(58, 0, 36, 150), 18, 18);    // index finger, centre x = 76
    p.addRoundedRect(QRectF(92, 82, 34, 84), 17, 17);    // middle finger
    p.addRoundedRect(QRectF(124, 92, 34, 80), 17, 17);   // ring finger
    p.addRoundedRect(QRectF(156, 104, 32, 74), 16, 16);  // little finger
    p.addRoundedRect(QRectF(58, 120, 130, 120), 34, 34); // palm
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-18, -17, 84, 34), 17, 17);
    QTransform t;
    t.translate(44, 168);
    t.rotate(52);
    p.addPath(t.map(thumb));
    return p.simplified();
}

// Paints `shape` as a dark rim of kOutline with a white inside.
void paintOutlined(QPainter& painter, const QPainterPath& shape) {
    QPainterPathStroker stroker;
    stroker.setWidth(2 * kOutline);
    stroker.setJoinStyle(Qt::RoundJoin);
    const QPainterPath inner = shape.subtracted(stroker.createStroke(shape));
    painter.setPen(Qt::NoPen);
    painter.fillPath(shape, kDark);
    painter.fillPath(inner, Qt::white);
}

// Folds between the fingers, drawn in the rim colour inside the white.
void paintFingerFolds(QPainter& painter) {
    QPen pen(kDark, 6, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(QPointF(109, 120), QPointF(109, 150));
    painter.drawLine(QPointF(141, 126), QPointF(141, 156));
}

bool writePdf(const QString& path, void (*draw)(QPainter&)) {
    QPdfWriter writer(path);
    writer.setResolution(72); // one device unit = one point
    writer.setCreator(QStringLiteral("Orvane tools"));
    writer.setPageLayout(QPageLayout(QPageSize(QSizeF(kPage, kPage), QPageSize::Point),
                                     QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return painter.end();
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const bool ok = writePdf(dir.filePath("cursor-arrow.pdf"),
                             [](QPainter& p) { paintOutlined(p, arrowShape()); }) &&
                    writePdf(dir.filePath("cursor-pointer.pdf"), [](QPainter& p) {
                        paintOutlined(p, handShape());
                        paintFingerFolds(p);
                    });
    if (!ok) {
        std::fprintf(stderr, "cannot write the cursor art\n");
        return 1;
    }
    return 0;
}
