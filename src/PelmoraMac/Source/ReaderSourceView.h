#pragma once

#include "PelmoraMac/Source/ReaderTextHighlight.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/TextRange.h"

#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractScrollArea;
class QVBoxLayout;

namespace tavrine {

class InteractionTextView;
class ReaderSourceNavigation;

// What the source view shows, as the workspace and the text-size settings give it.
struct ReaderSourceViewInput {
    ReadingDocument document;
    // The reading position, a UTF-16 offset of the text: the caret is put there.
    qsizetype cursor = 0;
    // Every new value asks the view to give up the keyboard focus.
    QUuid focusRelease;
    // The phrase being played; none while nothing is.
    std::optional<TextRange> highlightedRange;
    double pointSize = 15;

    bool operator==(const ReaderSourceViewInput&) const = default;
};

// The whole document, read-only and selectable, in the text view that suits it: the ordinary view up to
// 20,000 units, the bounded view beyond (kept while documents stay on the same side; the view is made
// anew only when that side changes, and any other new document or size is loaded into it in place).
//
// Every change of the input or of the navigation schedules one update on a later turn of the event loop
// (several in one turn make one), which draws the phrase being played and, while the navigation follows
// playback, brings it into view; answers the navigation's reveal requests (the phrase while following,
// else the current match, underlined); moves the caret to the cursor unless the selection already starts
// there; and gives up the focus for a new release token. What an update does itself is never reported:
// only the user's selection is told to onCursorChanged, and only the user's scrolling, clicks and keys
// to onInteraction. Hiding the view saves its selection and visible place into the navigation (while
// the navigation still has the same document); showing it again, or the next view made, restores them,
// the saved place at the top of the view. A new point size keeps the character at the top of the view
// at the top, and a new width or height the line at the top, unless the phrase being played would leave
// the view while the navigation follows playback: then the phrase is brought into view. Main thread only.
class ReaderSourceView final : public QWidget {
public:
    static constexpr qsizetype kOrdinaryViewLimit = 20'000;
    // The narrowest the bounded view's text is laid out.
    static constexpr double kBoundedMinimumWidth = 18;
    // The width per grid-table column, at point size 15, below which the bounded view scrolls sideways.
    static constexpr double kTableColumnWidth = 96;
    static inline const QString kAccessibleName = QStringLiteral("読む文章");
    static inline const QString kAccessibleDescription = QStringLiteral(
        "矢印キーで読む位置を選び、Spaceキーで再生または一時停止します。選択した文章はコピーできます。Tabキーで次の操作"
        "へ移ります。");

    ReaderSourceView(ReaderSourceNavigation& navigation, ReaderSourceViewInput input, QWidget* parent = nullptr);
    ~ReaderSourceView() override;

    // Told the offset of the user's new caret or selection start.
    void setOnCursorChanged(std::function<void(qsizetype)> onCursorChanged) {
        m_onCursorChanged = std::move(onCursorChanged);
    }
    // Told of every user interaction with the text (keys that move, clicks, the wheel, the scroll bars).
    void setOnInteraction(std::function<void()> onInteraction) { m_onInteraction = std::move(onInteraction); }

    const ReaderSourceViewInput& input() const { return m_input; }
    void setInput(ReaderSourceViewInput input);

    // Whether the current text view is the bounded one.
    bool usesBoundedLayout() const { return m_usesBoundedLayout; }
    InteractionTextView& textView() const { return *m_view; }
    QAbstractScrollArea& textWidget() const;
    // The width below which the text view is not laid out (see the class comment for its rule).
    double minimumWidth() const { return m_minimumWidth; }
    // Counts the text views made, the first included.
    int builds() const { return m_builds; }
    // Counts the loads of a document into a text view.
    int loads() const { return m_loads; }

    static bool usesBoundedView(const ReadingDocument& document) { return document.text.size() > kOrdinaryViewLimit; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scheduleUpdate();
    void runUpdate();
    // A new text view for the input's document, loaded, its selection and place restored from the
    // navigation.
    void build();
    void load();
    void restore();
    void save();
    void selectionChanged();

    ReaderSourceNavigation& m_navigation;
    ReaderSourceViewInput m_input;
    QVBoxLayout* m_layout;
    InteractionTextView* m_view = nullptr;
    ReaderTextHighlight m_highlight{InteractionTextView::Highlight::playback};
    ReaderTextHighlight m_searchHighlight{InteractionTextView::Highlight::search};
    std::function<void(qsizetype)> m_onCursorChanged;
    std::function<void()> m_onInteraction;

    // What the view last loaded and saw.
    ReadingDocument m_document;
    double m_pointSize = 15;
    std::optional<QUuid> m_documentID;
    QUuid m_focusRelease;
    std::optional<QUuid> m_revealRequest;
    bool m_usesBoundedLayout = false;
    double m_minimumWidth = 0;
    bool m_isUpdating = false;
    bool m_updateScheduled = false;
    bool m_wasHidden = false;
    int m_builds = 0;
    int m_loads = 0;
};

}  // namespace tavrine
