#pragma once

#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "ReaderCore/ImportedReading.h"

#include <QString>

#include <functional>
#include <optional>

namespace tavrine {

class Pasteboard;
class ReadingPlayer;

// How a clipboard import reads the clipboard: its best format, or its plain text only.
enum class ClipboardImportMode {
    automatic,
    plainText,
};

// Slot: filled by the capture model, its flows and its messages. Until then it holds the model's place
// in the application with its initial state: nothing is captured, no permission is granted, and every
// operation does nothing.
//
// The one model behind every capture of outside text (the application in front, the clipboard): what the
// interface shows about a capture and the reading it produced. Owned by the application; main thread only.
class CaptureModel final {
public:
    explicit CaptureModel(ReadingPlayer* player);

    // ---- What the shell reads ----
    const std::optional<ImportedReading>& importedText() const { return m_importedText; }
    bool isCapturing() const { return false; }
    std::optional<CaptureFailure> failure() const { return std::nullopt; }
    bool usesClipboard() const { return false; }
    std::optional<ArticleBrowser> sourceBrowser() const { return std::nullopt; }
    bool accessibilityGranted() const { return false; }
    bool isRequestingAutomation() const { return false; }
    ReadingPlayer* player() const { return m_player; }
    // The hot keys' labels in the messages, in Qt's key names; the application writes the shortcuts' own.
    const QString& frontmostShortcutLabel() const { return m_frontmostShortcutLabel; }
    void setFrontmostShortcutLabel(QString label) { m_frontmostShortcutLabel = std::move(label); }
    const QString& clipboardShortcutLabel() const { return m_clipboardShortcutLabel; }
    void setClipboardShortcutLabel(QString label) { m_clipboardShortcutLabel = std::move(label); }
    // The current failure or progress text; none yet.
    QString statusMessage() const { return {}; }
    std::optional<QString> clipboardFailureMessage() const { return std::nullopt; }

    // ---- Operations ----
    void refreshPermission() {}
    void cancel() {}
    void captureFrontmost(std::function<void()> present) { Q_UNUSED(present); }
    void importClipboard(Pasteboard& pasteboard, bool autoplay, ClipboardImportMode mode,
                         std::function<void()> present) {
        Q_UNUSED(pasteboard);
        Q_UNUSED(autoplay);
        Q_UNUSED(mode);
        Q_UNUSED(present);
    }
    void dismissClipboardFailure() {}
    void requestAccessibilityPermission() {}
    void requestAutomationPermission() {}
    void openAccessibilitySettings() {}
    void openAutomationSettings() {}

private:
    ReadingPlayer* m_player;
    std::optional<ImportedReading> m_importedText;
    QString m_frontmostShortcutLabel;
    QString m_clipboardShortcutLabel;
};

}  // namespace tavrine
