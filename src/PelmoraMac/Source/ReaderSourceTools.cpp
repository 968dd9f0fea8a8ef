#include "PelmoraMac/Source/ReaderSourceTools.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderWidgets/Style/AccessibleValue.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ShortcutText.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

const QString kFindTitle = u"本文を検索"_s;
// The icon frames of the row's buttons and of the find area's smaller ones.
constexpr QSize kWideIcon(16, 16);
constexpr QSize kNarrowIcon(10, 16);

// The find field: ideally 160 wide; Escape closes the find area. A line edit lets Escape and Return
// travel on to the window after it has acted (to close a dialog or press its default button); here both
// keys belong to the field alone.
class FindField final : public QLineEdit {
public:
    FindField(std::function<void()> onEscape, QWidget* parent) : QLineEdit(parent), m_onEscape(std::move(onEscape)) {
        Q_ASSERT(isMainThread());
    }

    QSize sizeHint() const override { return {ReaderSourceTools::kFieldIdealWidth, QLineEdit::sizeHint().height()}; }

protected:
    bool event(QEvent* event) override {
        // Claimed before any shortcut of the window can take it.
        if (event->type() == QEvent::ShortcutOverride && isEscape(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        return QLineEdit::event(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (isEscape(event)) {
            event->accept();
            m_onEscape();
            return;
        }
        QLineEdit::keyPressEvent(event);
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) event->accept();
    }

private:
    static bool isEscape(const QKeyEvent* event) {
        return event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
    }

    std::function<void()> m_onEscape;
};

// An icon-only control of the row: the title is what assistive technology reads, the help its tooltip,
// the identifier its object name. A button whose state is read as words gets its accessible value first,
// before a change of its name can make assistive technology ask for its interface.
ReaderReadingControlButton* makeButton(QWidget* parent, ReaderSymbol symbol, QSize iconFrame, const QString& title,
                                       const QString& help, const QString& identifier = {},
                                       const std::optional<QString>& accessibleValue = {}) {
    auto* button = new ReaderReadingControlButton(ReaderPalette::control, parent);
    if (accessibleValue) setAccessibleValue(*button, *accessibleValue);
    button->setLabelStyle(ReaderReadingControlButton::LabelStyle::iconOnly);
    button->setSymbol(symbol);
    button->setLabelFrame(iconFrame);
    button->setText(title);
    button->setAccessibleName(title);
    button->setToolTip(help);
    button->setObjectName(identifier);
    return button;
}

}  // namespace

ReaderSourceTools::ReaderSourceTools(ReaderSourceNavigation& navigation, bool showsSource, bool canToggleSource,
                                     std::function<void()> toggleSource, std::function<void()> onInteraction,
                                     QWidget* parent)
    : QWidget(parent),
      m_navigation(navigation),
      m_showsSource(showsSource),
      m_canToggleSource(canToggleSource),
      m_toggleSource(std::move(toggleSource)),
      m_onInteraction(std::move(onInteraction)) {
    Q_ASSERT(isMainThread());
    setFont(readerFont(ReaderTextStyle::callout));
    setFixedHeight(kHeight);

    m_returnButton = makeButton(this, ReaderSymbol::scope, kWideIcon, u"現在の再生位置へ戻る"_s,
                                u"現在の再生位置へ戻る：選択や再生位置を変えず、原文の追従を再開します"_s,
                                u"readerReturnToPlayback"_s);
    m_findButton =
        makeButton(this, ReaderSymbol::magnifyingGlass, kWideIcon, kFindTitle,
                   withShortcut(kFindTitle, ReaderCommandShortcuts::findInDocument), u"readerFindInDocument"_s);
    buildFindArea();
    m_toggleButton = makeButton(this, ReaderSymbol::chevronUp, kWideIcon, {}, {}, u"readerToggleSource"_s, QString());

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    layout->addStretch(0);
    for (QWidget* child : {static_cast<QWidget*>(m_returnButton), static_cast<QWidget*>(m_findButton), m_findArea,
                           static_cast<QWidget*>(m_toggleButton)}) {
        layout->addWidget(child, 0, Qt::AlignVCenter);
    }

    m_focusTimer = new QTimer(this);
    m_focusTimer->setSingleShot(true);
    m_focusTimer->setInterval(0);
    connect(m_focusTimer, &QTimer::timeout, this, [this] {
        if (m_field->isVisibleTo(this)) m_field->setFocus(Qt::OtherFocusReason);
    });
    connectControls();
    for (const auto signal : {&ReaderSourceNavigation::showsFindChanged, &ReaderSourceNavigation::queryChanged,
                              &ReaderSourceNavigation::isSearchingChanged, &ReaderSourceNavigation::matchesChanged,
                              &ReaderSourceNavigation::matchIndexChanged}) {
        connect(&m_navigation, signal, this, [this] { refresh(); });
    }
    connect(&m_navigation, &ReaderSourceNavigation::focusRequestChanged, this, [this] { requestFieldFocus(); });
    refresh();
}

void ReaderSourceTools::buildFindArea() {
    m_findArea = new QWidget(this);
    m_field = new FindField([this] { closeFind(); }, m_findArea);
    m_field->setObjectName(u"readerDocumentSearch"_s);
    m_field->setAccessibleName(kFindTitle);
    m_field->setMinimumWidth(kFieldMinimumWidth);
    m_field->setMaximumWidth(kFieldMaximumWidth);
    m_field->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_status = new QLabel(m_findArea);
    m_status->setObjectName(u"readerDocumentSearchStatus"_s);
    m_status->setFont(readerFont(ReaderTextStyle::caption));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(false);
    QPalette statusPalette = m_status->palette();
    statusPalette.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    m_status->setPalette(statusPalette);
    m_previousButton =
        makeButton(m_findArea, ReaderSymbol::chevronUp, kNarrowIcon, u"前の検索結果"_s, u"前の検索結果"_s);
    m_nextButton = makeButton(m_findArea, ReaderSymbol::chevronDown, kNarrowIcon, u"次の検索結果"_s, u"次の検索結果"_s);
    m_closeButton = makeButton(m_findArea, ReaderSymbol::xmark, kNarrowIcon, u"本文検索を閉じる"_s,
                               withShortcut(u"本文検索を閉じる"_s, QKeyCombination(Qt::Key_Escape)));

    auto* findLayout = new QHBoxLayout(m_findArea);
    findLayout->setContentsMargins(0, 0, 0, 0);
    findLayout->setSpacing(kSpacing);
    for (QWidget* child :
         {static_cast<QWidget*>(m_field), static_cast<QWidget*>(m_status), static_cast<QWidget*>(m_previousButton),
          static_cast<QWidget*>(m_nextButton), static_cast<QWidget*>(m_closeButton)}) {
        findLayout->addWidget(child, 0, Qt::AlignVCenter);
    }
}

void ReaderSourceTools::connectControls() {
    connect(m_returnButton, &QAbstractButton::clicked, this, [this] { returnToPlayback(); });
    connect(m_findButton, &QAbstractButton::clicked, this, [this] { openFind(); });
    connect(m_previousButton, &QAbstractButton::clicked, this, [this] { selectMatch(false); });
    connect(m_nextButton, &QAbstractButton::clicked, this, [this] { selectMatch(true); });
    connect(m_closeButton, &QAbstractButton::clicked, this, [this] { closeFind(); });
    connect(m_toggleButton, &QAbstractButton::clicked, this, [this] {
        if (m_toggleSource) m_toggleSource();
    });
    // Only the user's edits search: the navigation's own writes of the query come back through refresh.
    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_navigation.setQuery(text);
        queryChanged();
    });
    connect(m_field, &QLineEdit::returnPressed, this, [this] { selectMatch(true); });
}

ReaderSourceTools::~ReaderSourceTools() = default;

void ReaderSourceTools::setShowsSource(bool showsSource) {
    if (showsSource == m_showsSource) return;
    m_showsSource = showsSource;
    refresh();
}

void ReaderSourceTools::setCanToggleSource(bool canToggleSource) {
    if (canToggleSource == m_canToggleSource) return;
    m_canToggleSource = canToggleSource;
    refresh();
}

void ReaderSourceTools::returnToPlayback() {
    m_navigation.resumeFollowingPlayback();
}

void ReaderSourceTools::openFind() {
    m_navigation.showFind();
    if (m_onInteraction) m_onInteraction();
}

void ReaderSourceTools::selectMatch(bool forward) {
    m_navigation.selectAdjacentMatch(forward);
}

void ReaderSourceTools::closeFind() {
    m_navigation.resetSearch();
}

void ReaderSourceTools::queryChanged() {
    m_navigation.startSearch();
}

void ReaderSourceTools::refresh() {
    const bool showsFind = m_showsSource && m_navigation.showsFind();
    m_returnButton->setVisible(m_showsSource);
    m_findButton->setVisible(m_showsSource && !showsFind);
    QWidget* focus = QApplication::focusWidget();
    const bool releasesFocus = !showsFind && focus && m_findArea->isAncestorOf(focus);
    if (releasesFocus) focus->clearFocus();
    m_findArea->setVisible(showsFind);
    if (showsFind && !m_findAreaShown) requestFieldFocus();
    if (releasesFocus && m_onFindFocusReleased) m_onFindFocusReleased();
    m_findAreaShown = showsFind;

    const QString& query = m_navigation.query();
    // Only a different text is written back, so the caret and the input method's state survive typing.
    if (m_field->text() != query) m_field->setText(query);
    const QString status = m_navigation.searchStatusText();
    m_status->setText(status);
    m_status->setToolTip(status);
    m_status->setVisible(!query.isEmpty());
    const bool hasMatches = !m_navigation.matches().isEmpty();
    m_previousButton->setEnabled(hasMatches);
    m_nextButton->setEnabled(hasMatches);

    const QString toggleTitle = m_showsSource ? u"原文を隠す"_s : u"原文を表示"_s;
    // Renamed only when the title changes: assistive technology hears of every renaming.
    if (m_toggleButton->text() != toggleTitle) {
        m_toggleButton->setText(toggleTitle);
        m_toggleButton->setAccessibleName(toggleTitle);
        m_toggleButton->setToolTip(withShortcut(toggleTitle, ReaderCommandShortcuts::toggleSource));
    }
    m_toggleButton->setSymbol(m_showsSource ? ReaderSymbol::chevronUp : ReaderSymbol::chevronDown);
    setAccessibleValue(*m_toggleButton, m_showsSource ? u"表示中"_s : u"非表示"_s);
    m_toggleButton->setEnabled(m_canToggleSource);
}

void ReaderSourceTools::requestFieldFocus() {
    m_focusTimer->start();
}

}  // namespace tavrine
