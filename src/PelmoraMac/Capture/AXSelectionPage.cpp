#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/internal/AXSelectionSteps.h"

namespace tavrine {
using namespace Qt::StringLiterals;

bool AXSelectionReader::asksPage() const {
    if (!m_includeWebArticles || !m_browser) return false;
    const bool textInput = m_focusedKind == ElementKind::textField || m_focusedKind == ElementKind::textArea ||
                           m_focusedKind == ElementKind::comboBox;
    if (m_focused && textInput) return m_sawWebArea;
    return m_sawWebArea || !m_focusedShowsText;
}

CaptureResult<bool> AXSelectionReader::pageAnswered() {
    if (m_pageAsked) return m_page.has_value();
    m_pageAsked = true;
    if (!asksPage()) {
        // A browser whose page cannot be asked at all: the bus cannot tell a one-line field that only the
        // page's autocomplete names a password field.
        if (m_includeWebArticles && !m_browser && focusedPageField()) {
            return failed<bool>(pageFieldRefusal(CaptureFailure::browserUnsupported));
        }
        return false;
    }
    auto page = snapshotBrowserPage(*m_browser, m_pid, m_deadline, m_cancellation, m_environment.article);
    if (!page) {
        // Not allowed to ask, or nobody to ask: the page as the bus shows it, if it does.
        const CaptureFailure failure = page.error();
        const bool cannotAsk = failure == CaptureFailure::automationRequired ||
                               failure == CaptureFailure::automationDenied ||
                               failure == CaptureFailure::browserJavaScriptDisabled;
        // Except in a one-line field of the page: the bus cannot tell one that only the page's autocomplete
        // names a password field, so its text is never read without the page's answer.
        const bool pageField =
            m_focused && (m_focusedKind == ElementKind::textField || m_focusedKind == ElementKind::comboBox);
        if (cannotAsk) m_pageRefusal = failure;
        if (cannotAsk && m_sawWebArea && !pageField) return false;
        return failed<bool>(cannotAsk && focusedPageField() ? pageFieldRefusal(failure) : failure);
    }
    // The page the bus shows: the one that holds the focus, or the focused field.
    const std::optional<AccessibleElement> shown = m_webArea ? m_webArea : m_fieldPage;
    m_pageURL = m_webArea ? m_sourceURL : m_fieldPageURL;
    if (shown && m_pageURL && page->snapshot.url != m_pageURL) {
        // The focus may be in a frame, whose page is the one the bus shows around it.
        auto top = topPageURL(*shown);
        if (!top) return tl::unexpected(top.error());
        if (!*top || page->snapshot.url != *top) return failed<bool>(CaptureFailure::sourceChanged);
        m_pageURL = *top;
    }
    m_page = std::move(*page);
    return true;
}

bool AXSelectionReader::focusedPageField() const {
    return m_focused && m_sawWebArea &&
           (m_focusedKind == ElementKind::textField || m_focusedKind == ElementKind::comboBox);
}

CaptureFailure AXSelectionReader::pageFieldRefusal(CaptureFailure reason) {
    // The selected text is looked at only to tell masked text, and is never read.
    auto text = textSelection(*m_focused);
    if (!text) return text.error();
    if (!*text || (*text)->isEmpty()) return reason;
    const UnmaskedText shown = withoutBrowserMasks(withoutObjectReplacements(**text));
    return shown.maskedUnits > 0 && holdsNothingToRead(shown.text) ? CaptureFailure::protectedField : reason;
}

CaptureFailure AXSelectionReader::noSelectionShown() const {
    if (m_pageRefusal) return *m_pageRefusal;
    return m_includeWebArticles && !m_browser ? CaptureFailure::browserUnsupported : CaptureFailure::selectionUnknown;
}

std::optional<ReadingDocument> AXSelectionReader::convertedSelection(const QString& text) const {
    if (!m_page || !m_page->selectionDocument) return std::nullopt;
    if (withoutObjectReplacements(m_page->snapshot.selection.value_or(QString())) != text) return std::nullopt;
    return m_page->selectionDocument;
}

}  // namespace tavrine
