#pragma once

#include <QString>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QPushButton;

namespace tavrine {

class ReaderHistoryModel;
class ReadingPlayer;

// Slot: filled by the start screen. Until then it holds only the button that opens the built-in sample.
//
// What the reader shows while no document is open: the ways to bring a text in. Main thread only.
class ReaderStartView final : public QWidget {
public:
    struct Inputs {
        ReadingPlayer* player = nullptr;
        ReaderHistoryModel* history = nullptr;
        bool showsHistory = false;
        bool canOpenSample = false;
        bool canImportClipboard = false;
        bool canImportFile = false;
        std::function<void()> openSample;
        std::function<void()> importClipboard;
        std::function<void()> importFile;
        QUuid focusRequest;
        std::optional<QString> clipboardFailureMessage;
        std::optional<QString> clipboardFailureDetails;
    };

    explicit ReaderStartView(Inputs inputs, QWidget* parent = nullptr);

    const Inputs& inputs() const { return m_inputs; }
    // A new focus request moves the keyboard focus to the sample button.
    void setInputs(Inputs inputs);

    QPushButton& sampleButton() const { return *m_sample; }

private:
    Inputs m_inputs;
    QPushButton* m_sample;
};

}  // namespace tavrine
