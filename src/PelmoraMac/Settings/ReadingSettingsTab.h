#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QToolButton;
class QPushButton;

namespace tavrine {

class ReaderPresentation;
class ReaderTextSizeSettings;

// The settings window's "読書" tab. "文字サイズ": a row per text size (the RSVP display, 18 to 72 by 2; the
// source pane, 10 to 32 by 1), each a label with the size ("RSVP：34 pt"), "−" and "+" that step it
// within its range, and "初期サイズに戻す", enabled while the size differs from its default. "表示": the two
// pane wishes the View menu also toggles, and a caption. Every change is written to the settings at once.
//
// Follows the sizes and the wishes; main thread only; both objects must outlive it.
class ReadingSettingsTab final : public QWidget {
    Q_OBJECT

public:
    struct SizeRow {
        QLabel* label;
        QToolButton* smaller;
        QToolButton* bigger;
        QPushButton* reset;
    };

    ReadingSettingsTab(ReaderTextSizeSettings& textSizes, ReaderPresentation& presentation, QWidget* parent = nullptr);

    const SizeRow& rsvpRow() const { return m_rows[0]; }
    const SizeRow& sourceRow() const { return m_rows[1]; }
    QCheckBox& showsSourceToggle() const { return *m_showsSource; }
    QCheckBox& showsHistoryToggle() const { return *m_showsHistory; }

private:
    void refresh();

    ReaderTextSizeSettings& m_textSizes;
    ReaderPresentation& m_presentation;
    SizeRow m_rows[2];
    QCheckBox* m_showsSource;
    QCheckBox* m_showsHistory;
};

}  // namespace tavrine
