#include "PelmoraMac/Library/ReaderFileDropTarget.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace tavrine {
using namespace Qt::StringLiterals;

const QString ReaderFileDropTarget::kTitle = u"ライブラリへコピーして追加"_s;
const QString ReaderFileDropTarget::kBody =
    u"単一の .txt（UTF-8）または .epub\n元ファイルは変更しません。先頭で停止して開きます。"_s;
const QString ReaderFileDropTarget::kUnavailableTitle = u"今は追加できません"_s;
const QString ReaderFileDropTarget::kUnavailableBody =
    u"取り込みを終えるか、設定や確認画面を閉じてから再試行してください。"_s;
const QString ReaderFileDropTarget::kHint = u"「取り込む」→「ファイルをライブラリに追加…」からも選べます。"_s;

// The frame and card over the widget while something is dragged over it: drawn, not built of labels,
// so that it is one element to accessibility.
class ReaderFileDropOverlay final : public QWidget {
public:
    ReaderFileDropOverlay(QWidget& parent, bool canReceive) : QWidget(&parent), m_canReceive(canReceive) {
        Q_ASSERT(isMainThread());
        setObjectName(u"fileDropOverlay"_s);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(title());
        setAccessibleDescription(body() + u'\n' + ReaderFileDropTarget::kHint);
        setGeometry(parent.rect());
        raise();
    }

    bool canReceive() const { return m_canReceive; }
    QString title() const {
        return m_canReceive ? ReaderFileDropTarget::kTitle : ReaderFileDropTarget::kUnavailableTitle;
    }
    QString body() const { return m_canReceive ? ReaderFileDropTarget::kBody : ReaderFileDropTarget::kUnavailableBody; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        constexpr qreal kLine = 3;
        painter.setPen(QPen(toQColor(m_canReceive ? ReaderPalette::strongBorder : ReaderPalette::border), kLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(kLine / 2, kLine / 2, -kLine / 2, -kLine / 2), 12, 12);

        QFont titleFont = font();
        titleFont.setBold(true);
        QFont hintFont = font();
        hintFont.setPointSizeF(font().pointSizeF() * 0.85);
        const int width = std::min(rect().width() - 32, 420);
        const QRect bounds(0, 0, width - 24, 10'000);
        const QFontMetrics titleMetrics(titleFont), bodyMetrics(font()), hintMetrics(hintFont);
        const int flags = Qt::AlignHCenter | Qt::TextWordWrap;
        const QRect titleRect = titleMetrics.boundingRect(bounds, flags, title());
        const QRect bodyRect = bodyMetrics.boundingRect(bounds, flags, body());
        const QRect hintRect = hintMetrics.boundingRect(bounds, flags, ReaderFileDropTarget::kHint);
        constexpr int kSpacing = 6, kPadding = 12;
        const int height = titleRect.height() + bodyRect.height() + hintRect.height() + 2 * kSpacing + 2 * kPadding;
        const QRect card(rect().center().x() - width / 2, rect().center().y() - height / 2, width, height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(toQColor(ReaderPalette::surface));
        painter.drawRoundedRect(card, 10, 10);

        int top = card.top() + kPadding;
        const auto draw = [&](const QFont& font, const QColor& color, int lineHeight, const QString& text) {
            painter.setFont(font);
            painter.setPen(color);
            painter.drawText(QRect(card.left() + kPadding, top, card.width() - 2 * kPadding, lineHeight), flags, text);
            top += lineHeight + kSpacing;
        };
        draw(titleFont, toQColor(ReaderPalette::text), titleRect.height(), title());
        draw(font(), toQColor(ReaderPalette::text), bodyRect.height(), body());
        draw(hintFont, toQColor(ReaderPalette::secondaryText), hintRect.height(), ReaderFileDropTarget::kHint);
    }

private:
    bool m_canReceive;
};

ReaderFileDropTarget::ReaderFileDropTarget(QWidget& widget, std::function<bool()> canReceive,
                                           std::function<bool(const QList<QUrl>&)> receive)
    : QObject(&widget), m_widget(widget), m_canReceive(std::move(canReceive)), m_receive(std::move(receive)) {
    Q_ASSERT(isMainThread());
    m_widget.setAcceptDrops(true);
    m_widget.installEventFilter(this);
}

ReaderFileDropTarget::~ReaderFileDropTarget() {
    delete m_overlay.data();
}

QWidget* ReaderFileDropTarget::overlay() const {
    return m_overlay.data();
}

void ReaderFileDropTarget::setTargeted(bool targeted) {
    m_targeted = targeted;
    delete m_overlay.data();
    // The overlay is made for each drag: whether a file can be received is read as the drag enters.
    if (targeted) {
        m_overlay = new ReaderFileDropOverlay(m_widget, !m_canReceive || m_canReceive());
        m_overlay->show();
    }
}

bool ReaderFileDropTarget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_widget) return false;
    const auto canReceive = [this] { return !m_canReceive || m_canReceive(); };
    switch (event->type()) {
    case QEvent::DragEnter: {
        // Taken whatever can be received, so that the overlay can say why a drop would do nothing.
        auto* enter = static_cast<QDragEnterEvent*>(event);
        setTargeted(true);
        if (canReceive()) {
            enter->setDropAction(Qt::CopyAction);
            enter->accept();
        } else {
            enter->accept();
            enter->setDropAction(Qt::IgnoreAction);
        }
        return true;
    }
    case QEvent::DragMove: {
        auto* move = static_cast<QDragMoveEvent*>(event);
        // An import that starts or ends during the drag changes what the overlay says.
        if (m_overlay && m_overlay->canReceive() != canReceive()) setTargeted(true);
        if (canReceive()) {
            move->setDropAction(Qt::CopyAction);
            move->accept();
        } else {
            move->ignore();
        }
        return true;
    }
    case QEvent::DragLeave: setTargeted(false); return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        setTargeted(false);
        if (!canReceive()) {
            drop->ignore();
            return true;
        }
        const QList<QUrl> urls = drop->mimeData() ? drop->mimeData()->urls() : QList<QUrl>();
        if (m_receive && m_receive(urls)) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        return true;
    }
    case QEvent::Resize:
        if (m_overlay) m_overlay->setGeometry(m_widget.rect());
        return false;
    default: return false;
    }
}

}  // namespace tavrine
