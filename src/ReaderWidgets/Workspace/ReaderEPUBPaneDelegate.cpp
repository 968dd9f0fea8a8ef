#include "ReaderWidgets/Workspace/ReaderEPUBPaneDelegate.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QFontMetrics>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <climits>
#include <cmath>

namespace tavrine {
namespace {

using Kind = ReaderEPUBPaneModel::Kind;
constexpr int kTextFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;
constexpr int kSelectionInset = 4;
constexpr double kSelectionRadius = 6;

Kind kindOf(const QModelIndex& index) {
    return Kind(index.data(ReaderEPUBPaneModel::KindRole).toInt());
}

QFont fontOf(Kind kind) {
    switch (kind) {
    case Kind::fallbackHeader: {
        QFont font = readerFont(ReaderTextStyle::caption);
        font.setBold(true);
        return font;
    }
    case Kind::fallbackNote: return readerFont(ReaderTextStyle::caption);
    default: return readerFont(ReaderTextStyle::body);
    }
}

int textHeight(const QFont& font, int width, const QString& text) {
    if (text.isEmpty()) return QFontMetrics(font).height();
    return QFontMetrics(font).boundingRect(QRect(0, 0, std::max(width, 1), INT_MAX), kTextFlags, text).height();
}

// Where a row's main text goes, from the row's left edge, and how wide it may be.
struct TextBox {
    int x = 0;
    int width = 0;
};

TextBox textBox(Kind kind, const QModelIndex& index, int rowWidth) {
    const int inner = rowWidth - 2 * ReaderEPUBPaneDelegate::kHorizontalInset;
    const int symbolRoom = ReaderEPUBPaneDelegate::kSymbolSize + ReaderEPUBPaneDelegate::kSpacing;
    switch (kind) {
    case Kind::entry:
    case Kind::unavailableEntry: {
        const qsizetype depth = index.data(ReaderEPUBPaneModel::DepthRole).toLongLong();
        const int indent =
            depth > 0 ? int(ReaderEPUBPaneModel::indentation(depth)) + ReaderEPUBPaneDelegate::kSpacing : 0;
        // An entry keeps the room of the current-position symbol at its trailing edge.
        return {ReaderEPUBPaneDelegate::kHorizontalInset + indent,
                inner - indent - (kind == Kind::entry ? symbolRoom : 0)};
    }
    case Kind::chapter: return {ReaderEPUBPaneDelegate::kHorizontalInset + symbolRoom, inner - symbolRoom};
    case Kind::chapterGroup: return {ReaderEPUBPaneDelegate::kHorizontalInset, inner - symbolRoom};
    default: return {ReaderEPUBPaneDelegate::kHorizontalInset, inner};
    }
}

}  // namespace

ReaderEPUBPaneDelegate::ReaderEPUBPaneDelegate(QListView& view, QAbstractItemModel& model)
    : QStyledItemDelegate(&view), m_view(view) {
    Q_ASSERT(isMainThread());
    follow(&model);
}

int ReaderEPUBPaneDelegate::rowWidth() const {
    const int bar = m_view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &m_view);
    return std::max(m_view.width() - 2 * m_view.frameWidth() - bar, 1);
}

void ReaderEPUBPaneDelegate::follow(QAbstractItemModel* model) {
    // Rows before an insertion or removal keep their heights; the group's chapters come and go after it.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        if (first <= m_heights.size()) m_heights.insert(first, last - first + 1, -1);
    });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex&, int first, int last) {
        if (first < m_heights.size()) m_heights.remove(first, std::min(last + 1, int(m_heights.size())) - first);
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_heights.clear(); });
}

QSize ReaderEPUBPaneDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const int width = rowWidth();
    if (m_heightsWidth != width || m_heights.size() != index.model()->rowCount()) {
        if (m_heightsWidth != width) m_heights.clear();
        m_heightsWidth = width;
        m_heights.resize(index.model()->rowCount(), -1);
    }
    int& height = m_heights[index.row()];
    if (height < 0) {
        const Kind kind = kindOf(index);
        const TextBox box = textBox(kind, index, width);
        height = textHeight(fontOf(kind), box.width, index.data(Qt::DisplayRole).toString());
        if (kind == Kind::unavailableEntry) {
            height += kReasonSpacing + textHeight(readerFont(ReaderTextStyle::caption), box.width,
                                                  index.data(ReaderEPUBPaneModel::ReasonRole).toString());
        }
        height = std::max(height, kSymbolSize) + 2 * kVerticalInset;
    }
    return {width, height};
}

void ReaderEPUBPaneDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const Kind kind = kindOf(index);
    const QRect row = option.rect;
    const bool enabled = option.state & QStyle::State_Enabled;
    const QColor text = toQColor(enabled ? ReaderPalette::text : ReaderPalette::secondaryText);
    const QColor secondary = toQColor(ReaderPalette::secondaryText);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (option.state & QStyle::State_Selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(toQColor(ReaderPalette::selectedControl));
        painter->drawRoundedRect(QRectF(row.adjusted(kSelectionInset, 1, -kSelectionInset, -1)), kSelectionRadius,
                                 kSelectionRadius);
    }

    const TextBox box = textBox(kind, index, row.width());
    const QRect textRect(row.left() + box.x, row.top() + kVerticalInset, box.width, row.height() - 2 * kVerticalInset);
    const QString label = index.data(Qt::DisplayRole).toString();
    const bool current = index.data(ReaderEPUBPaneModel::CurrentRole).toBool();
    const QFont font = fontOf(kind);
    const int firstLine = QFontMetrics(font).height();
    // A symbol sits centred on the first line of its text.
    const auto symbolBox = [&](int x) {
        return QRectF(x, textRect.top() + (firstLine - kSymbolSize) / 2.0, kSymbolSize, kSymbolSize);
    };
    const QColor mark = toQColor(enabled ? ReaderPalette::gold : ReaderPalette::secondaryText);

    painter->setFont(font);
    switch (kind) {
    case Kind::entry:
        painter->setPen(text);
        painter->drawText(textRect, kTextFlags, label);
        if (current)
            paintSymbol(*painter, ReaderSymbol::locationFill, symbolBox(textRect.right() + 1 + kSpacing), mark);
        break;
    case Kind::unavailableEntry: {
        painter->setPen(secondary);
        const int labelHeight = textHeight(font, box.width, label);
        painter->drawText(textRect, kTextFlags, label);
        painter->setFont(readerFont(ReaderTextStyle::caption));
        painter->drawText(textRect.adjusted(0, labelHeight + kReasonSpacing, 0, 0), kTextFlags,
                          index.data(ReaderEPUBPaneModel::ReasonRole).toString());
        break;
    }
    case Kind::chapter:
        paintSymbol(*painter, current ? ReaderSymbol::locationFill : ReaderSymbol::textAlignLeft,
                    symbolBox(row.left() + kHorizontalInset), current ? mark : secondary);
        painter->setPen(text);
        painter->drawText(textRect, kTextFlags, label);
        break;
    case Kind::chapterGroup: {
        painter->setPen(text);
        painter->drawText(textRect, kTextFlags, label);
        const QRectF chevron = symbolBox(textRect.right() + 1 + kSpacing);
        painter->translate(chevron.center());
        if (index.data(ReaderEPUBPaneModel::ExpandedRole).toBool()) painter->rotate(90);
        paintSymbol(*painter, ReaderSymbol::chevronRight, chevron.translated(-chevron.center()), secondary);
        break;
    }
    case Kind::fallbackHeader:
    case Kind::fallbackNote:
        painter->setPen(secondary);
        painter->drawText(textRect, kTextFlags, label);
        break;
    }
    painter->restore();
}

}  // namespace tavrine
