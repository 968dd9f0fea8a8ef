#pragma once

#include <QWidget>

#include <functional>

namespace tavrine {

class ReaderSourceNavigation;

// Slot: filled by the source toolbar. Until then an empty widget that keeps what it is given; the reader
// window builds none meanwhile.
//
// The source pane's tool row: find in the document and the pane's toggle. Main thread only.
class ReaderSourceTools final : public QWidget {
public:
    ReaderSourceTools(ReaderSourceNavigation& navigation, bool showsSource, bool canToggleSource,
                      std::function<void()> toggleSource, std::function<void()> onInteraction,
                      QWidget* parent = nullptr)
        : QWidget(parent),
          m_navigation(navigation),
          m_showsSource(showsSource),
          m_canToggleSource(canToggleSource),
          m_toggleSource(std::move(toggleSource)),
          m_onInteraction(std::move(onInteraction)) {}

    ReaderSourceNavigation& navigation() const { return m_navigation; }

private:
    ReaderSourceNavigation& m_navigation;
    bool m_showsSource;
    bool m_canToggleSource;
    std::function<void()> m_toggleSource;
    std::function<void()> m_onInteraction;
};

}  // namespace tavrine
