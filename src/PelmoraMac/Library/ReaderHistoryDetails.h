#pragma once

#include "ReaderStorage/StoredReading.h"
#include "ReaderUI/Workspace/ReaderDocumentInformation.h"

#include <QDialog>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTimeZone>

class QPushButton;

namespace tavrine {

// The details sheet of one stored reading of the document list: its title, its one-line preview, and
// where the reading stands, whether it is in the library, when it came in and when it was last played.
// It shows the copy it was made with and does not follow the store while it is open. Window modal (shown
// with open()); "閉じる" and Escape close it. It opens with the keys on "閉じる", and the control that has
// them is ringed. Every text can be selected with the mouse, which leaves the keys where they were; the
// title, the preview and the values with the keys too. Main thread; the list pane owns it.
class ReaderHistoryDetails final : public QDialog {
public:
    static constexpr int kWidth = 400;
    static constexpr qsizetype kTitleCharacters = 100;

    // What the sheet says, top to bottom.
    struct Content {
        // The display title, cut to its first kTitleCharacters Characters, on one line.
        QString title;
        QString preview;
        // "読書位置", "ライブラリ", "取り込み", "最後の再生", in this order.
        QList<ReaderDocumentInformation::Row> rows;

        bool operator==(const Content&) const = default;
    };

    // The dates are shown as the information sheet shows its import time, in locale and timeZone.
    static Content content(const StoredReading& item, const QLocale& locale = QLocale(),
                           const QTimeZone& timeZone = QTimeZone::systemTimeZone());

    explicit ReaderHistoryDetails(StoredReading item, QWidget* parent = nullptr);

    const StoredReading& item() const { return m_item; }
    QPushButton* closeButton() const { return m_closeButton; }

private:
    StoredReading m_item;
    QPushButton* m_closeButton = nullptr;
};

}  // namespace tavrine
