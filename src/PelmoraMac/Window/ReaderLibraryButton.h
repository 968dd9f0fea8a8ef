#pragma once

#include <QRectF>
#include <QToolButton>

namespace tavrine {

struct ReaderImportAvailability;

// The toolbar's icon-only button that adds the current reading to the library. While the reading is in
// the library it says so: a check badge over the books, "ライブラリに追加済み" to assistive technology and
// its own help text. Its enabled state follows canAddCurrent alone, so it may be disabled while it shows
// the badge. It binds no keys; the window connects clicked() to the reader's operation, which checks its
// guard again when it runs. Main thread; owned by the toolbar.
class ReaderLibraryButton final : public QToolButton {
    Q_OBJECT

public:
    static constexpr int kIconSize = 16;
    static constexpr double kBadgeSize = 9;

    explicit ReaderLibraryButton(QWidget* parent = nullptr);

    void apply(const ReaderImportAvailability& availability);
    bool showsBadge() const { return m_isInLibrary; }

    // Where the badge is drawn: over the icon's bottom-right corner, moved 4 right and 3 down.
    QRectF badgeRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect iconRect() const;

    bool m_isInLibrary = false;
};

}  // namespace tavrine
