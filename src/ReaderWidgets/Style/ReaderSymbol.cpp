#include "ReaderWidgets/Style/ReaderSymbol.h"

#include "ReaderWidgets/Style/ReaderSymbolNames.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <array>
#include <utility>

namespace tavrine {
namespace {

// Symbols are designed in a 16 by 16 box.
constexpr double kDesignSize = 16;
constexpr double kStroke = 1.75;
constexpr double kDisabledOpacity = 0.45;

// Strokes as round-capped outlines, merged with the filled parts.
class Builder {
public:
    void line(QPointF from, QPointF to) {
        m_strokes.moveTo(from);
        m_strokes.lineTo(to);
    }
    void polyline(std::initializer_list<QPointF> points) { m_strokes.addPolygon(QPolygonF(QList<QPointF>(points))); }
    void strokedRoundedRect(const QRectF& rect, double radius) { m_strokes.addRoundedRect(rect, radius, radius); }
    void ring(QPointF centre, double radius) { m_strokes.addEllipse(centre, radius, radius); }
    void polygon(std::initializer_list<QPointF> points) {
        QPolygonF polygon{QList<QPointF>(points)};
        polygon.append(polygon.first());
        m_fills.addPolygon(polygon);
    }
    void roundedRect(const QRectF& rect, double radius) { m_fills.addRoundedRect(rect, radius, radius); }
    void dot(QPointF centre, double radius) { m_fills.addEllipse(centre, radius, radius); }
    // A stroke taken out of everything else: the check cut into a filled circle.
    void cutPolyline(std::initializer_list<QPointF> points) { m_cuts.addPolygon(QPolygonF(QList<QPointF>(points))); }

    QPainterPath path() const {
        QPainterPathStroker stroker;
        stroker.setWidth(kStroke);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        QPainterPath result = m_fills;
        if (!m_strokes.isEmpty()) result.addPath(stroker.createStroke(m_strokes));
        result.setFillRule(Qt::WindingFill);
        result = result.simplified();
        if (!m_cuts.isEmpty()) result = result.subtracted(stroker.createStroke(m_cuts));
        return result;
    }

private:
    QPainterPath m_strokes;
    QPainterPath m_fills;
    QPainterPath m_cuts;
};

// Arrows and chevrons: which way things go.
void drawArrow(Builder& b, ReaderSymbol symbol) {
    switch (symbol) {
    case ReaderSymbol::chevronLeft: b.polyline({{10.5, 2.5}, {5, 8}, {10.5, 13.5}}); break;
    case ReaderSymbol::chevronRight: b.polyline({{5.5, 2.5}, {11, 8}, {5.5, 13.5}}); break;
    case ReaderSymbol::chevronUp: b.polyline({{2.5, 10.5}, {8, 5}, {13.5, 10.5}}); break;
    case ReaderSymbol::chevronDown: b.polyline({{2.5, 5.5}, {8, 11}, {13.5, 5.5}}); break;
    case ReaderSymbol::arrowDownCircle:
        b.ring({8, 8}, 6.5);
        b.line({8, 4.5}, {8, 11.2});
        b.polyline({{5.2, 8.6}, {8, 11.4}, {10.8, 8.6}});
        break;
    case ReaderSymbol::squareAndArrowDown:
        // An open tray with an arrow coming down into it.
        b.polyline({{5, 6.5}, {2.75, 6.5}, {2.75, 14.25}, {13.25, 14.25}, {13.25, 6.5}, {11, 6.5}});
        b.line({8, 1.5}, {8, 10.5});
        b.polyline({{5, 7.75}, {8, 10.75}, {11, 7.75}});
        break;
    case ReaderSymbol::locationFill: b.polygon({{14.5, 1.5}, {1.5, 7.2}, {7.6, 8.4}, {8.8, 14.5}}); break;
    default: break;
    }
}

// The transport controls of the reading column.
void drawPlaybackControl(Builder& b, ReaderSymbol symbol) {
    switch (symbol) {
    case ReaderSymbol::backwardEndFill:
        b.roundedRect({2, 2.5, 2.2, 11}, 0.8);
        b.polygon({{14, 2.5}, {5.2, 8}, {14, 13.5}});
        break;
    case ReaderSymbol::forwardEndFill:
        b.roundedRect({11.8, 2.5, 2.2, 11}, 0.8);
        b.polygon({{2, 2.5}, {10.8, 8}, {2, 13.5}});
        break;
    case ReaderSymbol::playFill: b.polygon({{3.5, 1.5}, {14, 8}, {3.5, 14.5}}); break;
    case ReaderSymbol::pauseFill:
        b.roundedRect({3, 2, 3.4, 12}, 1);
        b.roundedRect({9.6, 2, 3.4, 12}, 1);
        break;
    default: break;
    }
}

// Signs: add, remove, close, done and warning.
void drawSign(Builder& b, ReaderSymbol symbol) {
    switch (symbol) {
    case ReaderSymbol::minus: b.line({2.5, 8}, {13.5, 8}); break;
    case ReaderSymbol::plus:
        b.line({2.5, 8}, {13.5, 8});
        b.line({8, 2.5}, {8, 13.5});
        break;
    case ReaderSymbol::xmark:
        b.line({3.5, 3.5}, {12.5, 12.5});
        b.line({12.5, 3.5}, {3.5, 12.5});
        break;
    case ReaderSymbol::checkmarkCircleFill:
        b.dot({8, 8}, 7);
        b.cutPolyline({{4.8, 8.3}, {7, 10.5}, {11.2, 5.8}});
        break;
    case ReaderSymbol::exclamationmarkTriangle:
        b.polyline({{8, 2}, {14.5, 13.5}, {1.5, 13.5}, {8, 2}});
        b.line({8, 6.2}, {8, 9});
        b.dot({8, 11.3}, 1);
        break;
    default: break;
    }
}

// Texts and what holds them.
void drawTextSymbol(Builder& b, ReaderSymbol symbol) {
    switch (symbol) {
    case ReaderSymbol::docOnClipboard:
        b.strokedRoundedRect({2.75, 2.75, 10.5, 12}, 1.5);
        b.roundedRect({5.5, 1, 5, 3.2}, 1);
        b.line({5.5, 8}, {10.5, 8});
        b.line({5.5, 11}, {9, 11});
        break;
    case ReaderSymbol::textAlignLeft:
        b.line({2, 3}, {14, 3});
        b.line({2, 6.3}, {10, 6.3});
        b.line({2, 9.7}, {14, 9.7});
        b.line({2, 13}, {9, 13});
        break;
    case ReaderSymbol::listBulletIndent:
        b.dot({2.5, 3.5}, 1.3);
        b.line({5.5, 3.5}, {14, 3.5});
        b.dot({6, 8}, 1.3);
        b.line({9, 8}, {14, 8});
        b.dot({6, 12.5}, 1.3);
        b.line({9, 12.5}, {14, 12.5});
        break;
    case ReaderSymbol::textformatSize:
        // A small A beside a large one.
        b.polyline({{1.5, 13.5}, {4, 7}, {6.5, 13.5}});
        b.line({2.5, 11}, {5.5, 11});
        b.polyline({{7.5, 13.5}, {11, 3}, {14.5, 13.5}});
        b.line({8.8, 10}, {13.2, 10});
        break;
    case ReaderSymbol::booksVertical:
        // Two books standing and a third leaning on them.
        b.strokedRoundedRect({1.75, 2.5, 3.25, 11.75}, 0.8);
        b.strokedRoundedRect({6, 2.5, 3.25, 11.75}, 0.8);
        b.polyline({{10.2, 4.1}, {12.9, 3.4}, {15.1, 13.5}, {12.4, 14.2}, {10.2, 4.1}});
        b.line({1.75, 11.5}, {5, 11.5});
        b.line({6, 11.5}, {9.25, 11.5});
        break;
    default: break;
    }
}

// Tools: find, the playback position, the sidebar, the keyboard.
void drawTool(Builder& b, ReaderSymbol symbol) {
    switch (symbol) {
    case ReaderSymbol::magnifyingGlass:
        b.ring({6.75, 6.75}, 4.75);
        b.line({10.2, 10.2}, {14.25, 14.25});
        break;
    case ReaderSymbol::scope:
        b.ring({8, 8}, 5);
        b.line({8, 1}, {8, 3.75});
        b.line({8, 12.25}, {8, 15});
        b.line({1, 8}, {3.75, 8});
        b.line({12.25, 8}, {15, 8});
        b.dot({8, 8}, 1.4);
        break;
    case ReaderSymbol::sidebarLeft:
        b.strokedRoundedRect({1.5, 2.5, 13, 11}, 2);
        b.line({6, 2.5}, {6, 13.5});
        b.line({3.2, 5.2}, {4.3, 5.2});
        b.line({3.2, 7.4}, {4.3, 7.4});
        break;
    case ReaderSymbol::keyboard:
        b.strokedRoundedRect({1.25, 3.5, 13.5, 9}, 1.5);
        for (const double x : {4.0, 6.67, 9.33, 12.0}) b.dot({x, 6.4}, 0.8);
        for (const double x : {4.0, 12.0}) b.dot({x, 9}, 0.8);
        b.line({6.2, 9.6}, {9.8, 9.6});
        break;
    default: break;
    }
}

QPainterPath buildDesignPath(ReaderSymbol symbol) {
    Builder b;
    switch (symbol) {
    case ReaderSymbol::chevronLeft:
    case ReaderSymbol::chevronRight:
    case ReaderSymbol::chevronUp:
    case ReaderSymbol::chevronDown:
    case ReaderSymbol::arrowDownCircle:
    case ReaderSymbol::squareAndArrowDown:
    case ReaderSymbol::locationFill: drawArrow(b, symbol); break;
    case ReaderSymbol::backwardEndFill:
    case ReaderSymbol::forwardEndFill:
    case ReaderSymbol::playFill:
    case ReaderSymbol::pauseFill: drawPlaybackControl(b, symbol); break;
    case ReaderSymbol::minus:
    case ReaderSymbol::plus:
    case ReaderSymbol::xmark:
    case ReaderSymbol::checkmarkCircleFill:
    case ReaderSymbol::exclamationmarkTriangle: drawSign(b, symbol); break;
    case ReaderSymbol::docOnClipboard:
    case ReaderSymbol::textAlignLeft:
    case ReaderSymbol::listBulletIndent:
    case ReaderSymbol::textformatSize:
    case ReaderSymbol::booksVertical: drawTextSymbol(b, symbol); break;
    case ReaderSymbol::magnifyingGlass:
    case ReaderSymbol::scope:
    case ReaderSymbol::sidebarLeft:
    case ReaderSymbol::keyboard: drawTool(b, symbol); break;
    }
    return b.path();
}

// Built once per symbol: outlining and merging strokes is far dearer than scaling the result.
const QPainterPath& designPath(ReaderSymbol symbol) {
    static constexpr auto kSymbols = enumCases<ReaderSymbol>();
    static const auto paths = [] {
        std::array<QPainterPath, kSymbols.size()> built;
        for (std::size_t i = 0; i < kSymbols.size(); ++i) built[i] = buildDesignPath(kSymbols[i]);
        return built;
    }();
    const auto position = std::find(kSymbols.begin(), kSymbols.end(), symbol) - kSymbols.begin();
    return paths[static_cast<std::size_t>(position)];
}

class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(ReaderSymbol symbol, const QColor& colour) : m_symbol(symbol), m_colour(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        if (mode == QIcon::Disabled) painter->setOpacity(painter->opacity() * kDisabledOpacity);
        paintSymbol(*painter, m_symbol, QRectF(rect), m_colour);
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }
    QIconEngine* clone() const override { return new SymbolIconEngine(m_symbol, m_colour); }
    QString key() const override { return QStringLiteral("ReaderSymbol"); }

private:
    ReaderSymbol m_symbol;
    QColor m_colour;
};

}  // namespace

QString symbolName(ReaderSymbol symbol) {
    return rawValue(symbol);
}

std::optional<ReaderSymbol> symbolNamed(QStringView name) {
    return enumFromRawValue<ReaderSymbol>(name);
}

QPainterPath symbolPath(ReaderSymbol symbol, const QRectF& box) {
    const double side = std::min(box.width(), box.height());
    const QPointF origin(box.center().x() - side / 2, box.center().y() - side / 2);
    const double scale = side / kDesignSize;
    return QTransform::fromTranslate(origin.x(), origin.y()).scale(scale, scale).map(designPath(symbol));
}

void paintSymbol(QPainter& painter, ReaderSymbol symbol, const QRectF& box, const QColor& colour) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(symbolPath(symbol, box), colour);
    painter.restore();
}

QIcon symbolIcon(ReaderSymbol symbol, const QColor& colour) {
    return QIcon(new SymbolIconEngine(symbol, colour));
}

}  // namespace tavrine
