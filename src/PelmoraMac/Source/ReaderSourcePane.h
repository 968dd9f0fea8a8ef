#pragma once

#include <QWidget>

namespace tavrine {

class ReaderSourceNavigation;

// Slot: filled by the source pane. Until then an empty widget over the navigation; the reader window
// builds none meanwhile.
//
// The whole text beside the display, following playback, with find in the document. Main thread only.
class ReaderSourcePane final : public QWidget {
public:
    explicit ReaderSourcePane(ReaderSourceNavigation& navigation, QWidget* parent = nullptr)
        : QWidget(parent), m_navigation(navigation) {}

    ReaderSourceNavigation& navigation() const { return m_navigation; }

private:
    ReaderSourceNavigation& m_navigation;
};

}  // namespace tavrine
