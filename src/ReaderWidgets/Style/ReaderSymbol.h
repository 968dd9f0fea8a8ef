#pragma once

#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QStringView>

#include <optional>

class QPainter;

namespace tavrine {

// The icons of the reader's controls, drawn by our own code as filled paths, one per symbol name the
// workspace uses ("play.fill", "chevron.left", ...). Each fills a square design box; strokes are
// outlined, so one fill paints any symbol in one colour at any size.
enum class ReaderSymbol {
    chevronLeft,
    chevronRight,
    chevronUp,
    chevronDown,
    backwardEndFill,
    forwardEndFill,
    playFill,
    pauseFill,
    minus,
    plus,
    xmark,
    docOnClipboard,
    locationFill,
    textAlignLeft,
    listBulletIndent,
    magnifyingGlass,
    scope,
    squareAndArrowDown,
    booksVertical,
    checkmarkCircleFill,
    sidebarLeft,
    exclamationmarkTriangle,
    textformatSize,
    keyboard,
    arrowDownCircle,
};

// The symbol's name ("list.bullet.indent").
QString symbolName(ReaderSymbol symbol);
// The symbol of that name; nothing for a name no symbol has.
std::optional<ReaderSymbol> symbolNamed(QStringView name);

// The symbol's outline fitted into the largest square centred in box.
QPainterPath symbolPath(ReaderSymbol symbol, const QRectF& box);
void paintSymbol(QPainter& painter, ReaderSymbol symbol, const QRectF& box, const QColor& colour);

// An icon that paints the symbol crisply at every size and pixel ratio: in colour, and at 45 % opacity
// in the disabled mode.
QIcon symbolIcon(ReaderSymbol symbol, const QColor& colour);

}  // namespace tavrine
