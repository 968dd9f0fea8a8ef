#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <optional>

class QPushButton;

namespace tavrine {

struct SavedReading;

// The sheet that tells what a reading is: its name, original file, origin and import time and, for an
// EPUB book, its metadata and what the import left out. Every value can be selected and copied: with the
// mouse, which leaves the keys where they were, or with the keys once Tab reaches it. The keys start on
// "閉じる", and the control that has them is ringed. Window modal (shown with open()); "閉じる", Escape
// and Ctrl+Period close it. Main thread; the presenter owns it and is told through finished().
class ReaderDocumentInformationSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize kBookSize{480, 540};
    static constexpr QSize kDocumentSize{480, 360};

    ReaderDocumentInformationSheet(const SavedReading& reading, const std::optional<QString>& originalFilename,
                                   QWidget* parent = nullptr);

    QPushButton* closeButton() const { return m_closeButton; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPushButton* m_closeButton = nullptr;
};

}  // namespace tavrine
