#include "PelmoraMac/Source/internal/BoundedTextAccessible.h"

#include "PelmoraMac/Source/BoundedTextView.h"

#include <QAccessibleWidget>

namespace tavrine {
namespace {

class Accessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit Accessible(BoundedTextView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    BoundedTextView* view() const { return static_cast<BoundedTextView*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }
    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Value ? view()->source() : QAccessibleWidget::text(type);
    }

    void selection(int index, int* startOffset, int* endOffset) const override {
        const TextRange range = view()->selectedRanges().value(0);
        const bool any = index == 0 && !range.isEmpty();
        *startOffset = any ? static_cast<int>(range.lowerBound) : 0;
        *endOffset = any ? static_cast<int>(range.upperBound) : 0;
    }
    int selectionCount() const override { return view()->selectedRanges().value(0).isEmpty() ? 0 : 1; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int) override { view()->setCaretPosition(view()->caretPosition()); }
    void setSelection(int, int startOffset, int endOffset) override {
        view()->setSelectedRange({std::min(startOffset, endOffset), std::max(startOffset, endOffset)});
    }
    int cursorPosition() const override { return static_cast<int>(view()->caretPosition()); }
    void setCursorPosition(int position) override { view()->setCaretPosition(position); }
    QString text(int startOffset, int endOffset) const override {
        const QString& source = view()->source();
        const qsizetype start = std::clamp<qsizetype>(startOffset, 0, source.size());
        const qsizetype end = std::clamp<qsizetype>(endOffset, start, source.size());
        return source.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(view()->source().size()); }
    QRect characterRect(int offset) const override {
        const QRect rect = view()->characterRect(offset).toAlignedRect();
        return QRect(view()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return static_cast<int>(view()->offsetAtViewportPoint(view()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int endIndex) override {
        view()->scrollRangeToVisible({startIndex, endIndex});
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = offset;
        *endOffset = offset;
        return {};
    }
};

}  // namespace

QAccessibleInterface* boundedTextAccessible(const QString&, QObject* object) {
    if (auto* view = dynamic_cast<BoundedTextView*>(object)) return new Accessible(view);
    return nullptr;
}

}  // namespace tavrine
