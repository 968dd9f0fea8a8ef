#pragma once

#include <QString>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

namespace tavrine {

class ReaderHistoryModel;
class ReadingPlayer;

// Slot: filled by the start screen. Until then an empty widget that keeps what it is given.
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

    explicit ReaderStartView(Inputs inputs, QWidget* parent = nullptr) : QWidget(parent), m_inputs(std::move(inputs)) {}

    const Inputs& inputs() const { return m_inputs; }
    void setInputs(Inputs inputs) { m_inputs = std::move(inputs); }

private:
    Inputs m_inputs;
};

}  // namespace tavrine
