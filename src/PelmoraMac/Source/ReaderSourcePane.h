#pragma once

#include "PelmoraMac/Source/ReaderSourceView.h"

#include <QWidget>

#include <functional>

class QLabel;

namespace tavrine {

class ReaderSourceNavigation;
class ReaderSourceViewBinding;
class ReaderTextSizeSettings;

// The whole text beside the display, following playback, with find in the document: the source view
// under a one-line notice that shows while the navigation reads tables linearly (and goes as soon as it
// does not). Any interaction of the user with the text stops following playback first and is then
// reported, so the workspace pauses a pane that no longer moves. The pane keeps no state of its own: the
// navigation holds following and find, the view what it last loaded. Main thread only.
class ReaderSourcePane final : public QWidget {
public:
    static constexpr int kSpacing = 6;
    static inline const QString kLinearTablesNotice =
        QStringLiteral("長い段落や大きな表を含むため、表はセルの本文順に表示しています。");

    // setCursor is told the user's new reading position, onInteraction each interaction (after
    // following has stopped).
    ReaderSourcePane(ReaderSourceNavigation& navigation, ReaderSourceViewInput input,
                     std::function<void(qsizetype)> setCursor, std::function<void()> onInteraction,
                     QWidget* parent = nullptr);
    ~ReaderSourcePane() override;

    // The application's pane over the workspace's binding (which must outlive it), showing the source
    // text size of textSizes and following both.
    static ReaderSourcePane* over(ReaderSourceNavigation& navigation, ReaderSourceViewBinding& binding,
                                  ReaderTextSizeSettings& textSizes);

    ReaderSourceNavigation& navigation() const { return m_navigation; }
    ReaderSourceView& sourceView() const { return *m_view; }
    QLabel& notice() const { return *m_notice; }

    void setInput(ReaderSourceViewInput input);
    // What the view reports for every interaction: following stops, then onInteraction.
    void handleInteraction();

private:
    ReaderSourceNavigation& m_navigation;
    std::function<void()> m_onInteraction;
    QLabel* m_notice;
    ReaderSourceView* m_view;
};

}  // namespace tavrine
