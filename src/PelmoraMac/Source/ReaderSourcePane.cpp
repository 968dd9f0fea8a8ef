#include "PelmoraMac/Source/ReaderSourcePane.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderUI/Workspace/ReaderSourceViewBinding.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tavrine {
namespace {

ReaderSourceViewInput inputOf(const ReaderSourceViewBinding& binding, const ReaderTextSizeSettings& textSizes) {
    return {
        .document = binding.document(),
        .cursor = binding.cursor(),
        .focusRelease = binding.releaseEditorFocus(),
        .highlightedRange = binding.highlightedRange(),
        .pointSize = textSizes.sourcePointSize(),
    };
}

}  // namespace

ReaderSourcePane::ReaderSourcePane(ReaderSourceNavigation& navigation, ReaderSourceViewInput input,
                                   std::function<void(qsizetype)> setCursor, std::function<void()> onInteraction,
                                   QWidget* parent)
    : QWidget(parent), m_navigation(navigation), m_onInteraction(std::move(onInteraction)) {
    Q_ASSERT(isMainThread());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    m_notice = new QLabel(kLinearTablesNotice, this);
    m_notice->setFont(readerFont(ReaderTextStyle::caption));
    m_notice->setWordWrap(true);
    QPalette colours = m_notice->palette();
    colours.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    m_notice->setPalette(colours);
    m_notice->setVisible(navigation.usesLinearTables());
    connect(&navigation, &ReaderSourceNavigation::usesLinearTablesChanged, m_notice,
            [this] { m_notice->setVisible(m_navigation.usesLinearTables()); });
    m_view = new ReaderSourceView(navigation, std::move(input), this);
    m_view->setOnCursorChanged(std::move(setCursor));
    m_view->setOnInteraction([this] { handleInteraction(); });
    layout->addWidget(m_notice);
    layout->addWidget(m_view, 1);
}

ReaderSourcePane::~ReaderSourcePane() = default;

ReaderSourcePane* ReaderSourcePane::over(ReaderSourceNavigation& navigation, ReaderSourceViewBinding& binding,
                                         ReaderTextSizeSettings& textSizes) {
    auto* pane = new ReaderSourcePane(
        navigation, inputOf(binding, textSizes), [&binding](qsizetype offset) { binding.setCursor(offset); },
        [&binding] { binding.interact(); });
    const auto follow = [pane, &binding, &textSizes] { pane->setInput(inputOf(binding, textSizes)); };
    connect(&binding, &ReaderSourceViewBinding::documentChanged, pane, follow);
    connect(&binding, &ReaderSourceViewBinding::cursorChanged, pane, follow);
    connect(&binding, &ReaderSourceViewBinding::releaseEditorFocusChanged, pane, follow);
    connect(&binding, &ReaderSourceViewBinding::highlightedRangeChanged, pane, follow);
    connect(&textSizes, &ReaderTextSizeSettings::sourcePointSizeChanged, pane, follow);
    return pane;
}

void ReaderSourcePane::setInput(ReaderSourceViewInput input) {
    m_view->setInput(std::move(input));
}

void ReaderSourcePane::handleInteraction() {
    Q_ASSERT(isMainThread());
    m_navigation.setFollowsPlayback(false);
    if (m_onInteraction) m_onInteraction();
}

}  // namespace tavrine
