#pragma once

#include <QMetaObject>
#include <QPushButton>
#include <QScrollArea>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QVBoxLayout;

namespace tavrine {

class ReaderHistoryModel;
class ReaderImportNotice;
class ReadingPlayer;

// The button that opens the built-in sample. It takes Space itself, never through QPushButton's own
// activation (which clicks on release and ignores modifiers): the first press with no modifier held,
// while the sample may be opened, opens it once and is accepted; every other Space press and every
// release is ignored and travels on to the parent.
class ReaderSampleButton final : public QPushButton {
public:
    std::function<bool()> canOpen;
    std::function<void()> open;

    explicit ReaderSampleButton(const QString& text, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

// What the reader shows while no document is open: the ways to bring a text in (the sample, the
// clipboard, a file), why pasting failed, and the state of the store and of a running file import. It
// decides nothing itself: the buttons call the closures it is given, and it reads the player's storage
// message and the document-list model, whose changes it follows and shows at most once per turn of the
// event loop. The content is a centred column at most kColumnWidth wide that stands in the middle of the
// area while it fits and scrolls once it does not. Main thread only; the player and the model must
// outlive the view.
class ReaderStartView final : public QScrollArea {
public:
    static constexpr int kColumnWidth = 440;
    static constexpr int kPadding = 24;
    static constexpr int kSpacing = 28;

    struct Inputs {
        ReadingPlayer* player = nullptr;
        // None until the application has made the document list.
        ReaderHistoryModel* history = nullptr;
        // The list pane is shown beside the reader, with the file notice and progress of its own.
        bool showsHistory = false;
        bool canOpenSample = false;
        bool canImportClipboard = false;
        bool canImportFile = false;
        std::function<void()> openSample;
        std::function<void()> importClipboard;
        std::function<void()> importFile;
        // Renewed whenever the reading area should take the keyboard focus.
        QUuid focusRequest;
        std::optional<QString> clipboardFailureMessage;
        std::optional<QString> clipboardFailureDetails;
    };

    static const QString kLoadingText;
    static const QString kNoStoreText;

    explicit ReaderStartView(Inputs inputs, QWidget* parent = nullptr);
    ~ReaderStartView() override;

    const Inputs& inputs() const { return m_inputs; }
    // Takes the new inputs and shows them at once. A renewed focus request, once the view has been
    // shown, takes the focus from the sample button at once and gives it back on the next turn.
    void setInputs(Inputs inputs);
    // Shows the inputs, the model and the player as they are now.
    void refresh();

    ReaderSampleButton& sampleButton() const { return *m_sample; }
    QPushButton& pasteButton() const { return *m_paste; }
    QPushButton& openFileButton() const { return *m_openFile; }
    ReaderImportNotice& clipboardNotice() const { return *m_clipboardNotice; }
    // The status section: the loading indicator, the text of a store that could not be opened, the file
    // import's notice, its progress (with its label) and the cancel button.
    QWidget& loadingIndicator() const { return *m_loading; }
    // The text of a store that did not open, with the refusal's details.
    ReaderImportNotice& noStoreNotice() const { return *m_noStore; }
    ReaderImportNotice& fileNotice() const { return *m_fileNotice; }
    QWidget& fileProgress() const { return *m_fileProgress; }
    QLabel& fileProgressLabel() const { return *m_fileProgressLabel; }
    QPushButton& cancelImportButton() const { return *m_cancelImport; }
    QLabel& storageMessageLabel() const { return *m_storageMessage; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The column of the sections, centred in the content; the sections are made into it in Tab order.
    static QVBoxLayout& makeCentredColumn(QWidget& content);
    void makeSampleSection(QVBoxLayout& column);
    void makeImportSection(QVBoxLayout& column);
    void makeStatusSection(QVBoxLayout& column);
    void follow();
    void scheduleRefresh();

    Inputs m_inputs;
    ReaderSampleButton* m_sample;
    QPushButton* m_paste;
    QPushButton* m_openFile;
    ReaderImportNotice* m_clipboardNotice;
    QWidget* m_loading;
    ReaderImportNotice* m_noStore;
    ReaderImportNotice* m_fileNotice;
    QWidget* m_fileProgress;
    QLabel* m_fileProgressLabel;
    QPushButton* m_cancelImport;
    QLabel* m_storageMessage;
    QList<QMetaObject::Connection> m_followed;
    bool m_hasAppeared = false;
    bool m_refreshPending = false;
};

}  // namespace tavrine
