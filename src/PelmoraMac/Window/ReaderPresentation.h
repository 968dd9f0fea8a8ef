#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace tavrine {

class Defaults;

// The reader window's pane preferences, the one place they are kept: whether the user wants the
// document list and the source pane, how wide the list is, and how wide the window's split layout is
// now. The three choices live in the user's settings; the width of the layout is only reported by the
// layout and is never kept.
//
// Two values follow from them. showsHistory: the list is wanted and the layout is wide enough for it (at
// least 721 pixels, or not measured yet); a narrow window hides the list without changing the wish.
// readerLeading: where the reader column's content starts in the window (the list, the 1-pixel divider
// and the 12-pixel inset), which the toolbar title lines up with.
//
// Every assignment of a kept value writes its key, even when the value is the same; only a change
// notifies. The derived values notify only when they change. Made once by the application; main thread
// only; the settings must outlive it.
class ReaderPresentation final : public QObject {
    Q_OBJECT

public:
    static inline const QString kShowsHistoryKey = QStringLiteral("readerShowsHistory");
    static inline const QString kShowsSourceKey = QStringLiteral("readerShowsSource");
    static inline const QString kHistoryWidthKey = QStringLiteral("readerHistoryWidth");
    // An older setting that hid both panes at once; read once and removed at every start.
    static inline const QString kFocusedPresentationKey = QStringLiteral("readerFocusedPresentation");

    static constexpr double kMinimumHistoryWidth = 240;
    static constexpr double kMaximumHistoryWidth = 420;
    static constexpr double kDefaultHistoryWidth = 300;
    // What the reader column keeps beside the list, and the divider between them.
    static constexpr double kMinimumReaderWidth = 480;
    static constexpr double kDividerWidth = 1;
    // The narrowest layout that shows the list.
    static constexpr double kWideLayoutWidth = 721;
    // The title's inset from the reader column's leading edge.
    static constexpr double kTitleInset = 12;

    // Reads the three kept values (a value of the wrong type counts as missing; a width outside
    // 240...420 or not finite gives 300), turns both panes off when the older setting asked for that,
    // and removes the older setting.
    explicit ReaderPresentation(Defaults& defaults, QObject* parent = nullptr);

    bool prefersHistory() const { return m_prefersHistory; }
    void setPrefersHistory(bool prefers);
    bool prefersSource() const { return m_prefersSource; }
    void setPrefersSource(bool prefers);
    // Kept as given: the layout limits what it assigns, and a stored value out of range is replaced at
    // the next start.
    double historyWidth() const { return m_historyWidth; }
    void setHistoryWidth(double width);
    // The split layout's width as last reported; nothing before the first report.
    std::optional<double> availableWidth() const { return m_availableWidth; }
    void setAvailableWidth(std::optional<double> width);

    bool showsHistory() const;
    double readerLeading() const;

    // The one width rule of the list beside the reader column: the wanted width, less what would leave
    // the column under its minimum, but never under 240, in a layout layoutWidth wide.
    static double historyPaneWidth(double layoutWidth, double historyWidth);
    static bool isWideEnoughForHistory(double layoutWidth) { return layoutWidth >= kWideLayoutWidth; }

signals:
    void prefersHistoryChanged();
    void prefersSourceChanged();
    void historyWidthChanged();
    void availableWidthChanged();
    void showsHistoryChanged();
    void readerLeadingChanged();

private:
    struct Derived {
        bool showsHistory;
        double readerLeading;
    };
    Derived derived() const { return {showsHistory(), readerLeading()}; }
    // Emits the derived values' signals for those that differ from before.
    void notifyDerived(const Derived& before);

    Defaults& m_defaults;
    bool m_prefersHistory = false;
    bool m_prefersSource = true;
    std::optional<double> m_availableWidth;
    double m_historyWidth = kDefaultHistoryWidth;
};

}  // namespace tavrine
