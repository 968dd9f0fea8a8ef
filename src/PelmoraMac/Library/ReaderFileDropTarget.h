#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace tavrine {

class ReaderFileDropOverlay;

// Lets files be dropped on a widget of the reader window: canReceive says whether a drop is taken now,
// receive imports the dropped files (the URLs the drag carries, none for a text) and says whether it
// took them. While something is dragged over the widget an overlay covers it, saying whether a file can
// be added now; the overlay takes no mouse events. A drag that cannot be received is refused with the
// forbidden cursor, and its drop does nothing. Main thread only; the widget must outlive the target.
class ReaderFileDropTarget final : public QObject {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kBody;
    static const QString kUnavailableTitle;
    static const QString kUnavailableBody;
    static const QString kHint;

    ReaderFileDropTarget(QWidget& widget, std::function<bool()> canReceive,
                         std::function<bool(const QList<QUrl>&)> receive);
    ~ReaderFileDropTarget() override;

    QWidget& widget() const { return m_widget; }
    // Something is being dragged over the widget; the overlay shows.
    bool isTargeted() const { return m_targeted; }
    // The overlay, present while targeted.
    QWidget* overlay() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setTargeted(bool targeted);

    QWidget& m_widget;
    std::function<bool()> m_canReceive;
    std::function<bool(const QList<QUrl>&)> m_receive;
    QPointer<ReaderFileDropOverlay> m_overlay;
    bool m_targeted = false;
};

}  // namespace tavrine
