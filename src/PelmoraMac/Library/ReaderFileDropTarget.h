#pragma once

#include <QList>
#include <QUrl>

#include <functional>

class QWidget;

namespace tavrine {

// Slot: filled by the file drop target. Until then it takes no drop.
//
// Lets files be dropped on a widget of the reader window: canReceive says whether a drop is taken now,
// receive imports the dropped files and says whether it took them. Main thread only.
class ReaderFileDropTarget final {
public:
    ReaderFileDropTarget(QWidget& widget, std::function<bool()> canReceive,
                         std::function<bool(const QList<QUrl>&)> receive)
        : m_widget(widget), m_canReceive(std::move(canReceive)), m_receive(std::move(receive)) {}

    QWidget& widget() const { return m_widget; }

private:
    QWidget& m_widget;
    std::function<bool()> m_canReceive;
    std::function<bool(const QList<QUrl>&)> m_receive;
};

}  // namespace tavrine
