#include "PelmoraMac/Menus/ReaderCommands.h"

#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Menus/ReaderMenuBarKeys.h"
#include "PelmoraMac/Source/InteractionTextView.h"
#include "PelmoraMac/Updates/MacUpdateController.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderWidgets/Style/ApplicationIcon.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

namespace tavrine {
using namespace Qt::StringLiterals;
using Item = ReaderMenuItem;
using Action = ReaderPlaybackRequest::Action;
using Keys = ReaderCommandShortcuts;

namespace {

enum class Menu { application, file, edit, view, rsvpSizes, sourceSizes, playback, window };

// One line of the menu bar.
struct Row {
    enum class Kind { item, checkItem, submenu, separator, quit };
    Menu menu;
    Kind kind;
    Item item = Item::openReader;
    std::optional<QKeyCombination> keys = std::nullopt;
    // Keys the focused text field handles itself; the item only shows them.
    QKeySequence::StandardKey shownKeys = QKeySequence::UnknownKey;
    QString help = {};
    Qt::ShortcutContext context = Qt::WindowShortcut;
};

using K = Row::Kind;

std::vector<Row> applicationRows() {
    return {
        {Menu::application, K::item, Item::checkForUpdates},
        {Menu::application, K::item, Item::settings, Keys::settings, {}, {}, Qt::ApplicationShortcut},
        {Menu::application, K::separator},
        {Menu::application, K::quit},
    };
}

std::vector<Row> fileRows() {
    return {
        {Menu::file, K::item, Item::importFile, Keys::importFile},
        {Menu::file, K::item, Item::addCurrent, Keys::addCurrent},
    };
}

std::vector<Row> editRows() {
    return {
        {Menu::edit, K::item, Item::undo, Keys::undo},
        {Menu::edit, K::item, Item::redo, Keys::redo},
        {Menu::edit, K::separator},
        {Menu::edit, K::item, Item::cut, {}, QKeySequence::Cut},
        {Menu::edit, K::item, Item::copy, {}, QKeySequence::Copy},
        {Menu::edit, K::item, Item::paste, {}, QKeySequence::Paste},
        {Menu::edit, K::item, Item::selectAll, {}, QKeySequence::SelectAll},
        {Menu::edit, K::separator},
        {Menu::edit, K::item, Item::importClipboard, Keys::importClipboard},
        {Menu::edit, K::item, Item::importPlainText, Keys::importPlainText},
        {Menu::edit, K::item, Item::frontmostShortcutLine},
        {Menu::edit, K::item, Item::clipboardShortcutLine},
        {Menu::edit, K::separator},
        {Menu::edit, K::item, Item::findInDocument, Keys::findInDocument},
        {Menu::edit, K::item, Item::findNext, Keys::findNext},
        {Menu::edit, K::item, Item::findPrevious, Keys::findPrevious},
    };
}

// A submenu's rows follow the row that makes it.
std::vector<Row> viewRows() {
    return {
        {Menu::view, K::submenu, Item::rsvpSizes},
        {Menu::rsvpSizes, K::item, Item::rsvpLarger, Keys::rsvpLarger},
        {Menu::rsvpSizes, K::item, Item::rsvpSmaller, Keys::rsvpSmaller},
        {Menu::rsvpSizes, K::item, Item::rsvpDefaultSize, Keys::rsvpDefaultSize},
        {Menu::view, K::submenu, Item::sourceSizes},
        {Menu::sourceSizes, K::item, Item::sourceLarger, Keys::sourceLarger},
        {Menu::sourceSizes, K::item, Item::sourceSmaller, Keys::sourceSmaller},
        {Menu::sourceSizes, K::item, Item::sourceDefaultSize, Keys::sourceDefaultSize},
        {Menu::view, K::separator},
        {Menu::view, K::checkItem, Item::toggleSource, Keys::toggleSource},
        {Menu::view, K::checkItem, Item::toggleHistory, Keys::toggleHistory},
        {Menu::view, K::checkItem, Item::toggleEPUBNavigation, Keys::toggleEPUBNavigation},
        {Menu::view, K::item, Item::documentInformation},
    };
}

std::vector<Row> playbackRows() {
    return {
        {Menu::playback, K::item, Item::togglePlayback, Keys::togglePlayback},
        {Menu::playback, K::item, Item::replay, Keys::replay},
        {Menu::playback, K::separator},
        {Menu::playback,
         K::item,
         Item::backSentence,
         Keys::backSentence,
         {},
         u"現在の文の先頭へ戻って一時停止します。先頭にいるときは前の文へ戻ります"_s},
        {Menu::playback,
         K::item,
         Item::forwardSentence,
         Keys::forwardSentence,
         {},
         u"次の文の先頭へ移動して一時停止します"_s},
        {Menu::playback,
         K::item,
         Item::backChapter,
         Keys::backChapter,
         {},
         u"現在の章の先頭へ戻って一時停止します。先頭にいるときは前の章へ戻ります。目次の章・節を使います"_s},
        {Menu::playback,
         K::item,
         Item::forwardChapter,
         Keys::forwardChapter,
         {},
         u"次の章の先頭へ移動して一時停止します。目次の章・節を使います"_s},
        {Menu::playback, K::separator},
        {Menu::playback,
         K::item,
         Item::speedLine,
         {},
         {},
         u"1.0×は補正前の表示時間0.3秒です。長さと句読点の補正は維持します。倍率は読書効果を保証しません。"_s},
        {Menu::playback, K::item, Item::slower, Keys::slower},
        {Menu::playback, K::item, Item::faster, Keys::faster},
    };
}

std::vector<Row> windowRows() {
    return {
        {Menu::window, K::item, Item::openReader},
    };
}

// Every row of the menu bar, menu by menu in the bar's order.
const std::vector<Row>& menuRows() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> all;
        for (std::vector<Row> (*menu)() : {applicationRows, fileRows, editRows, viewRows, playbackRows, windowRows}) {
            std::ranges::move(menu(), std::back_inserter(all));
        }
        return all;
    }();
    return rows;
}

// What the focused widget's text allows now. Read-only source views copy and select; only editable
// fields cut and paste. The clipboard is not asked: on X11 that is a round trip to its owner, and the
// state is read many times a second while a reading plays.
ReaderMenuInputs::TextOperations textOperations() {
    QWidget* focused = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focused)) {
        const bool selected = line->hasSelectedText() && line->echoMode() == QLineEdit::Normal;
        return {.cut = selected && !line->isReadOnly(),
                .copy = selected,
                .paste = !line->isReadOnly(),
                .selectAll = !line->text().isEmpty()};
    }
    const auto editor = [&](auto* text) -> ReaderMenuInputs::TextOperations {
        const bool selected = text->textCursor().hasSelection();
        return {.cut = selected && !text->isReadOnly(),
                .copy = selected,
                .paste = !text->isReadOnly(),
                .selectAll = !text->document()->isEmpty()};
    };
    if (auto* text = qobject_cast<QTextEdit*>(focused)) return editor(text);
    if (auto* plain = qobject_cast<QPlainTextEdit*>(focused)) return editor(plain);
    if (auto* view = dynamic_cast<InteractionTextView*>(focused)) {
        const auto ranges = view->selectedRanges();
        return {.copy =
                    std::any_of(ranges.begin(), ranges.end(), [](const TextRange& range) { return !range.isEmpty(); })};
    }
    return {};
}

void performTextOperation(Item item) {
    QWidget* focused = QApplication::focusWidget();
    const auto perform = [item](auto* text) {
        switch (item) {
        case Item::cut: text->cut(); break;
        case Item::copy: text->copy(); break;
        case Item::paste: text->paste(); break;
        default: text->selectAll(); break;
        }
    };
    if (auto* line = qobject_cast<QLineEdit*>(focused)) {
        perform(line);
    } else if (auto* text = qobject_cast<QTextEdit*>(focused)) {
        perform(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(focused)) {
        perform(plain);
    } else if (auto* view = dynamic_cast<InteractionTextView*>(focused); view && item == Item::copy) {
        view->copySelection();
    }
}

}  // namespace

ReaderCommands::ReaderCommands(Inputs inputs, QObject* parent)
    : QObject(parent), m_in(std::move(inputs)), m_editFocus(std::make_unique<ReaderEditFocus>()) {
    Q_ASSERT(isMainThread());
    makeActions();
    followInputs();
    refresh();
    makeTrayIcon();
}

ReaderCommands::~ReaderCommands() {
    qApp->removeEventFilter(this);
}

void ReaderCommands::makeActions() {
    for (const Row& row : menuRows()) {
        if (row.kind != Row::Kind::item && row.kind != Row::Kind::checkItem) continue;
        auto* action = new QAction(this);
        m_actions[std::size_t(row.item)] = action;
        // Keys a text field handles itself are shown after a tab, as a menu shows an item's keys.
        if (row.shownKeys != QKeySequence::UnknownKey) {
            m_shownKeys[std::size_t(row.item)] =
                u"\t"_s + QKeySequence(row.shownKeys).toString(QKeySequence::NativeText);
        }
        if (row.keys) {
            action->setShortcut(*row.keys);
            action->setShortcutContext(row.context);
        }
        action->setCheckable(row.kind == Row::Kind::checkItem);
        if (!row.help.isEmpty()) action->setToolTip(row.help);
        const Item item = row.item;
        connect(action, &QAction::triggered, this, [this, item] { trigger(item); });
    }
}

QMenuBar* ReaderCommands::makeMenuBar(QWidget& window) {
    Q_ASSERT(isMainThread());
    auto* bar = new QMenuBar;
    std::array<QMenu*, 8> menus{};
    menus[int(Menu::application)] = bar->addMenu(u"Tavrine"_s);
    menus[int(Menu::file)] = bar->addMenu(u"ファイル"_s);
    menus[int(Menu::edit)] = bar->addMenu(u"編集"_s);
    menus[int(Menu::view)] = bar->addMenu(u"表示"_s);
    menus[int(Menu::playback)] = bar->addMenu(u"再生"_s);
    menus[int(Menu::window)] = bar->addMenu(u"ウインドウ"_s);
    for (const Row& row : menuRows()) {
        QMenu* menu = menus[int(row.menu)];
        switch (row.kind) {
        case Row::Kind::separator: menu->addSeparator(); break;
        case Row::Kind::quit: menu->addAction(&m_in.quit); break;
        case Row::Kind::submenu: {
            QMenu* submenu = menu->addMenu(QString());
            menus[int(row.item == Item::rsvpSizes ? Menu::rsvpSizes : Menu::sourceSizes)] = submenu;
            m_actions[std::size_t(row.item)] = submenu->menuAction();
            submenu->setTitle(m_state[row.item].title);
            break;
        }
        default:
            menu->addAction(m_actions[std::size_t(row.item)]);
            if (row.keys) window.addAction(m_actions[std::size_t(row.item)]);
            break;
        }
    }
    for (QMenu* menu : menus) {
        menu->setToolTipsVisible(true);
        // The menus are windows of their own: they take the reader window's theme only when asked.
        menu->setAttribute(Qt::WA_WindowPropagation);
        // A menu shows the state of the moment it opens, the edit focus included.
        connect(menu, &QMenu::aboutToShow, this, [this] {
            m_editFocus->refresh();
            refresh();
        });
    }
    new ReaderMenuBarKeys(*bar, window);
    return bar;
}

void ReaderCommands::makeTrayIcon() {
    // On X11 the icon is made even while no tray runs: a shown tray icon follows the tray manager
    // selection of its screen, so it docks in a tray that starts later (a panel started after Tavrine,
    // or restarted) and leaves one that goes. Elsewhere only a tray that exists now can take it.
    if (!QSystemTrayIcon::isSystemTrayAvailable() && QGuiApplication::platformName() != u"xcb") return;
    m_trayMenu = std::make_unique<QMenu>();
    m_trayMenu->addAction(&action(Item::openReader));
    m_trayMenu->addAction(&action(Item::settings));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(&m_in.quit);
    m_trayIcon = std::make_unique<QSystemTrayIcon>(applicationIcon());
    m_trayIcon->setToolTip(u"Tavrine"_s);
    m_trayIcon->setContextMenu(m_trayMenu.get());
    connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) m_in.actions.openReader();
    });
    m_trayIcon->show();
}

void ReaderCommands::followInputs() {
    const auto changed = [this] { scheduleRefresh(); };
    connect(&m_in.state, &ReaderWindowState::commandContextChanged, this, changed);
    connect(m_editFocus.get(), &ReaderEditFocus::changed, this, changed);
    connect(qApp, &QApplication::focusChanged, this, changed);
    ReadingPlayer& player = m_in.player;
    for (const auto signal :
         {&ReadingPlayer::sessionChanged, &ReadingPlayer::baseSecondsChanged, &ReadingPlayer::isWaitingToPlayChanged,
          &ReadingPlayer::isPreparingChanged, &ReadingPlayer::chapterNavigationChanged, &ReadingPlayer::readingChanged,
          &ReadingPlayer::replacementSnapshotChanged, &ReadingPlayer::sourceWindowChanged}) {
        connect(&player, signal, this, changed);
    }
    connect(&player.textSizes(), &ReaderTextSizeSettings::rsvpPointSizeChanged, this, changed);
    connect(&player.textSizes(), &ReaderTextSizeSettings::sourcePointSizeChanged, this, changed);
    ReaderSourceNavigation& navigation = m_in.sourceNavigation;
    connect(&navigation, &ReaderSourceNavigation::matchesChanged, this, changed);
    connect(&navigation, &ReaderSourceNavigation::matchIndexChanged, this, changed);
    connect(&m_in.updates, &MacUpdateController::canCheckForUpdatesChanged, this, changed);
    connect(&m_in.shortcut, &GlobalCaptureShortcut::chordChanged, this, changed);
    connect(&m_in.clipboardShortcut, &GlobalCaptureShortcut::chordChanged, this, changed);
    // Keys are matched against the items' keys after this event: a pending refresh runs first.
    qApp->installEventFilter(this);
}

bool ReaderCommands::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        if (m_refreshPending) refresh();
        break;
    case QEvent::Show:
    case QEvent::Hide:
        // A dialog over the reader window blocks its items; nothing else announces it coming or going.
        if (const auto* window = qobject_cast<QWidget*>(watched);
            window && window->isWindow() && window->windowModality() != Qt::NonModal) {
            scheduleRefresh();
        }
        break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

void ReaderCommands::scheduleRefresh() {
    if (m_refreshPending) return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_refreshPending) refresh();
    });
}

ReaderMenuInputs ReaderCommands::gatherInputs() {
    Q_ASSERT(isMainThread());
    ReadingPlayer& player = m_in.player;
    ReaderMenuInputs inputs;
    inputs.context = m_in.state.focusedCommandContext(m_in.readerWindow);
    for (const Action action : ReaderPlaybackRequest::allActions) {
        inputs.canPerform[std::size_t(action)] = player.canPerform(action);
    }
    inputs.canUndoReplacement = player.canUndoReplacement();
    inputs.canRedoReplacement = player.canRedoReplacement();
    inputs.isPlaying = player.session().status == ReadingSession::Status::playing || player.isWaitingToPlay();
    inputs.isEPUBReading = player.reading() && player.reading()->epub.has_value();
    inputs.speedLabel = player.speedLabel();
    const ReaderTextSizeSettings& sizes = player.textSizes();
    inputs.rsvpPointSize = sizes.rsvpPointSize();
    inputs.sourcePointSize = sizes.sourcePointSize();
    for (const auto target : {ReaderTextSizeSettings::Target::rsvp, ReaderTextSizeSettings::Target::source}) {
        for (const auto step : {ReaderTextSizeSettings::Action::increase, ReaderTextSizeSettings::Action::decrease,
                                ReaderTextSizeSettings::Action::reset}) {
            inputs.canChangeSize[std::size_t(target)][std::size_t(step)] = sizes.canPerform(step, target);
        }
    }
    inputs.hasCurrentMatch = m_in.sourceNavigation.currentMatch().has_value();
    inputs.prefersSource = m_in.presentation.prefersSource();
    inputs.presentationShowsHistory = m_in.presentation.showsHistory();
    inputs.edit = m_editFocus->state();
    inputs.text = textOperations();
    inputs.canCheckForUpdates = m_in.updates.canCheckForUpdates();
    inputs.settingsAreBlocked =
        m_in.state.readerHasSheet() || m_in.state.showsFilePicker() || ReaderWindowState::hasModalWindow();
    inputs.frontmostShortcutLabel = chordDisplayLabel(m_in.shortcut.chord());
    inputs.clipboardShortcutLabel = chordDisplayLabel(m_in.clipboardShortcut.chord());
    return inputs;
}

void ReaderCommands::refresh() {
    Q_ASSERT(isMainThread());
    m_refreshPending = false;
    apply(readerMenuState(gatherInputs()));
}

void ReaderCommands::apply(const ReaderMenuState& state) {
    for (std::size_t index = 0; index < kReaderMenuItemCount; ++index) {
        QAction* action = m_actions[index];
        // The submenus' titles are made with the menu bar.
        if (!action) continue;
        const ReaderMenuItemState& next = state.items[index];
        if (next.title != m_state.items[index].title) action->setText(next.title + m_shownKeys[index]);
        if (next.enabled != action->isEnabled()) action->setEnabled(next.enabled);
        if (next.checked && *next.checked != action->isChecked()) action->setChecked(*next.checked);
    }
    m_state = state;
}

void ReaderCommands::trigger(Item item) {
    Q_ASSERT(isMainThread());
    // The state may have moved on since the menu showed it: decide on a fresh one.
    refresh();
    const ReaderMenuItemState& now = m_state[item];
    QAction& chosen = action(item);
    // Qt flips the check mark itself before "triggered"; the mark shows the model, never the click.
    const auto restoreCheckMark = [&] {
        if (const auto checked = m_state[item].checked) chosen.setChecked(*checked);
    };
    if (!now.enabled) {
        restoreCheckMark();
        return;
    }
    emit itemTriggered(item);
    ReadingPlayer& player = m_in.player;
    if (const auto playback = playbackActionOf(item)) {
        m_in.actions.requestPlayback(*playback);
    } else if (const auto step = textSizeStepOf(item)) {
        player.textSizes().perform(step->action, step->target);
    } else {
        switch (item) {
        case Item::checkForUpdates: m_in.updates.checkForUpdates(); break;
        case Item::settings: m_in.actions.openSettings(); break;
        case Item::importFile: m_in.actions.importFile(); break;
        case Item::addCurrent: m_in.actions.addCurrentToLibrary(); break;
        case Item::undo:
        case Item::redo:
            if (QWidget* editor = ReaderEditFocus::editableEditor()) {
                ReaderEditFocus::undo(*editor, item == Item::redo);
            } else {
                m_in.actions.restoreReplacement(item == Item::redo);
            }
            break;
        case Item::cut:
        case Item::copy:
        case Item::paste:
        case Item::selectAll: performTextOperation(item); break;
        case Item::importClipboard: m_in.actions.importClipboard(false); break;
        case Item::importPlainText: m_in.actions.importClipboard(true); break;
        case Item::findInDocument: m_in.actions.findInDocument(); break;
        case Item::findNext: m_in.sourceNavigation.selectAdjacentMatch(true); break;
        case Item::findPrevious: m_in.sourceNavigation.selectAdjacentMatch(false); break;
        case Item::toggleSource: m_in.actions.toggleSource(); break;
        case Item::toggleHistory: m_in.actions.toggleHistory(); break;
        case Item::toggleEPUBNavigation: m_in.actions.toggleEPUBNavigation(); break;
        case Item::openReader: m_in.actions.openReader(); break;
        default: break;
        }
    }
    // Toggles change their state at once; anything else follows on the next turn.
    refresh();
    restoreCheckMark();
}

}  // namespace tavrine
