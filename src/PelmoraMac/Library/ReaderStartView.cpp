#include "PelmoraMac/Library/ReaderStartView.h"

#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderHeldModifiers.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

const QString ReaderStartView::kLoadingText = u"保存文書を読み込み中…"_s;
const QString ReaderStartView::kNoStoreText =
    u"保存先を開けないため、ファイルは追加できません。コピーした文章は読めます。保存先を確認してアプリを開き直してください。"_s;

namespace {
constexpr int kNestedSpacing = 10;
constexpr int kRowSpacing = 24;

QString rgba(const ReaderColor& colour, double alpha = 1) {
    const QColor value = toQColor(colour);
    return u"rgba(%1, %2, %3, %4)"_s.arg(value.red()).arg(value.green()).arg(value.blue()).arg(alpha);
}

QLabel* textLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    // The player's and the store's messages quote paths: data, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(readerFont(ReaderTextStyle::callout));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    label->setPalette(palette);
    return label;
}

// A small busy indicator with its label under it; the label is also the indicator's accessible name.
QWidget* labelledProgress(QLabel*& label, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* bar = new QProgressBar(box);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(64, 6);
    column->addWidget(bar, 0, Qt::AlignHCenter);
    label = textLabel(box);
    label->setAlignment(Qt::AlignHCenter);
    column->addWidget(label);
    return box;
}

void setProgressText(QWidget& progress, QLabel& label, const QString& text) {
    label.setText(text);
    if (auto* bar = progress.findChild<QProgressBar*>()) bar->setAccessibleName(text);
}

// The column asks for its full width, so that, between two stretches, it takes kColumnWidth or all there
// is if less. (Centring it by alignment instead would measure its wrapped lines at the layout's width.)
class Column final : public QWidget {
public:
    explicit Column(QWidget* parent) : QWidget(parent) { Q_ASSERT(isMainThread()); }
    QSize sizeHint() const override { return {maximumWidth(), QWidget::sizeHint().height()}; }
};

QPushButton* borderlessButton(const QString& title, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFocusPolicy(Qt::TabFocus);
    ReaderFocusRing::setDrawsOwnRing(*button);
    button->setFont(readerFont(ReaderTextStyle::body));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        u"QPushButton { border: 2px solid transparent; border-radius: 4px; padding: 2px 4px;"
        u" background: transparent; color: %1; outline: none; }"
        u"QPushButton:hover { color: %2; }"
        u"QPushButton:pressed { color: %3; }"
        u"QPushButton:disabled { color: %4; }"
        u"QPushButton:focus { border-color: %5; }"_s.arg(
            rgba(ReaderPalette::secondaryText), rgba(ReaderPalette::text), rgba(ReaderPalette::secondaryText, 0.7),
            rgba(ReaderPalette::secondaryText, 0.45), rgba(ReaderPalette::focus)));
    return button;
}
}  // namespace

// ---- ReaderSampleButton ----

ReaderSampleButton::ReaderSampleButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    Q_ASSERT(isMainThread());
}

void ReaderSampleButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space) {
        QPushButton::keyPressEvent(event);
        return;
    }
    if (event->isAutoRepeat() || holdsModifier(event->modifiers()) || !canOpen || !canOpen()) {
        event->ignore();
        return;
    }
    event->accept();
    if (open) open();
}

void ReaderSampleButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space) {
        QPushButton::keyReleaseEvent(event);
        return;
    }
    event->ignore();
}

// ---- ReaderStartView ----

ReaderStartView::ReaderStartView(Inputs inputs, QWidget* parent)
    : QScrollArea(parent), m_sample(new ReaderSampleButton(u"サンプルで試す"_s)) {
    Q_ASSERT(isMainThread());
    setFrameShape(QFrame::NoFrame);
    // A container: a click on its background takes no focus, and Tab passes through to the buttons.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);

    // The sections are made top to bottom, which is also the order Tab takes through them.
    auto* content = new QWidget;
    QVBoxLayout& column = makeCentredColumn(*content);
    makeSampleSection(column);
    makeImportSection(column);
    makeStatusSection(column);

    setWidget(content);
    setInputs(std::move(inputs));
}

QVBoxLayout& ReaderStartView::makeCentredColumn(QWidget& content) {
    // The column stands in the middle while it fits: stretches above and below share what is left over.
    content.setAutoFillBackground(false);
    auto* outer = new QVBoxLayout(&content);
    outer->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    outer->setSpacing(0);
    auto* columnBox = new Column(&content);
    columnBox->setMaximumWidth(kColumnWidth);
    auto* column = new QVBoxLayout(columnBox);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSpacing);
    auto* centred = new QHBoxLayout;
    centred->setSpacing(0);
    centred->addStretch(1);
    centred->addWidget(columnBox);
    centred->addStretch(1);
    outer->addStretch(1);
    outer->addLayout(centred);
    outer->addStretch(1);
    return *column;
}

void ReaderStartView::makeSampleSection(QVBoxLayout& column) {
    m_sample->setParent(column.parentWidget());
    m_sample->setObjectName(u"readerOpenSample"_s);
    m_sample->setToolTip(u"短いサンプル文を開きます。再生ボタンで読み始められます"_s);
    m_sample->setAccessibleDescription(m_sample->toolTip());
    m_sample->setFont(readerFont(ReaderTextStyle::headline));
    // Every button here acts on a click without taking the keyboard focus; Tab reaches each. The sample
    // button takes the focus when the reading area asks for it, and rings itself in its border (no frame of the style
    // inside it).
    m_sample->setFocusPolicy(Qt::TabFocus);
    ReaderFocusRing::setDrawsOwnRing(*m_sample);
    m_sample->setAutoDefault(false);
    m_sample->setMinimumHeight(36);
    m_sample->setStyleSheet(
        u"QPushButton { background: %1; color: %2; border: 2px solid transparent;"
        u" border-radius: 8px; padding: 6px 22px; outline: none; }"
        u"QPushButton:hover { background: %3; }"
        u"QPushButton:pressed { background: %4; }"
        u"QPushButton:focus { border-color: %5; }"
        u"QPushButton:disabled { color: %6; background: %7; }"_s.arg(
            rgba(ReaderPalette::selectedControl), rgba(ReaderPalette::text), rgba(ReaderPalette::border),
            rgba(ReaderPalette::navy), rgba(ReaderPalette::focus), rgba(ReaderPalette::text, 0.45),
            rgba(ReaderPalette::selectedControl, 0.6)));
    m_sample->canOpen = [this] { return m_inputs.canOpenSample; };
    m_sample->open = [this] {
        if (m_inputs.openSample) m_inputs.openSample();
    };
    connect(m_sample, &QPushButton::clicked, this, [this] {
        if (m_inputs.openSample) m_inputs.openSample();
    });
    column.addWidget(m_sample, 0, Qt::AlignHCenter);
}

void ReaderStartView::makeImportSection(QVBoxLayout& column) {
    // The paste and open-file row, and under it why pasting failed.
    auto* nested = new QWidget(column.parentWidget());
    auto* nestedColumn = new QVBoxLayout(nested);
    nestedColumn->setContentsMargins(0, 0, 0, 0);
    nestedColumn->setSpacing(kNestedSpacing);
    auto* row = new QHBoxLayout;
    row->setSpacing(kRowSpacing);
    m_paste = borderlessButton(u"文章を貼り付ける"_s, nested);
    m_paste->setObjectName(u"readerStartPaste"_s);
    m_paste->setToolTip(u"先に文章をコピーしてください。取り込んだ後、再生ボタンで開始します"_s);
    m_paste->setAccessibleDescription(m_paste->toolTip());
    connect(m_paste, &QPushButton::clicked, this, [this] {
        if (m_inputs.importClipboard) m_inputs.importClipboard();
    });
    m_openFile = borderlessButton(u"ファイルを開く…"_s, nested);
    m_openFile->setObjectName(u"readerStartOpenFile"_s);
    m_openFile->setAccessibleName(u"ファイルを開いてライブラリに追加"_s);
    m_openFile->setToolTip(
        u"UTF-8の.txt、またはDRMのないリフロー型.epubをライブラリへコピーして追加します。元ファイルは変更しません"_s);
    m_openFile->setAccessibleDescription(m_openFile->toolTip());
    connect(m_openFile, &QPushButton::clicked, this, [this] {
        if (m_inputs.importFile) m_inputs.importFile();
    });
    row->addStretch(1);
    row->addWidget(m_paste, 0, Qt::AlignVCenter);
    row->addWidget(m_openFile, 0, Qt::AlignVCenter);
    row->addStretch(1);
    nestedColumn->addLayout(row);
    m_clipboardNotice = new ReaderImportNotice(nested);
    m_clipboardNotice->setObjectName(u"readerStartPasteError"_s);
    nestedColumn->addWidget(m_clipboardNotice);
    column.addWidget(nested);
}

void ReaderStartView::makeStatusSection(QVBoxLayout& column) {
    // At most one of the store's states, or the file import's notice and progress; then the player's
    // storage message.
    QWidget* columnBox = column.parentWidget();
    QLabel* loadingLabel = nullptr;
    m_loading = labelledProgress(loadingLabel, columnBox);
    setProgressText(*m_loading, *loadingLabel, kLoadingText);
    column.addWidget(m_loading, 0, Qt::AlignHCenter);
    m_noStore = new ReaderImportNotice(columnBox);
    column.addWidget(m_noStore);
    m_fileNotice = new ReaderImportNotice(columnBox);
    column.addWidget(m_fileNotice);
    m_fileProgress = new QWidget(columnBox);
    auto* progressColumn = new QVBoxLayout(m_fileProgress);
    progressColumn->setContentsMargins(0, 0, 0, 0);
    progressColumn->setSpacing(8);
    QWidget* progress = labelledProgress(m_fileProgressLabel, m_fileProgress);
    progressColumn->addWidget(progress, 0, Qt::AlignHCenter);
    m_cancelImport = new QPushButton(u"取り込みをキャンセル"_s, m_fileProgress);
    m_cancelImport->setAutoDefault(false);
    m_cancelImport->setFocusPolicy(Qt::TabFocus);
    connect(m_cancelImport, &QPushButton::clicked, this, [this] {
        if (m_inputs.history) m_inputs.history->cancelFileImport();
    });
    progressColumn->addWidget(m_cancelImport, 0, Qt::AlignHCenter);
    column.addWidget(m_fileProgress, 0, Qt::AlignHCenter);

    m_storageMessage = textLabel(columnBox);
    setSelectableText(*m_storageMessage);
    column.addWidget(m_storageMessage);
}

ReaderStartView::~ReaderStartView() {
    for (const QMetaObject::Connection& connection : m_followed) disconnect(connection);
}

void ReaderStartView::setInputs(Inputs inputs) {
    const bool renewed = inputs.focusRequest != m_inputs.focusRequest;
    const bool sourcesChanged = inputs.player != m_inputs.player || inputs.history != m_inputs.history;
    m_inputs = std::move(inputs);
    if (sourcesChanged) follow();
    refresh();
    // The button gives the focus up at once and takes it on the next turn, so it takes it again even
    // when it held it.
    if (renewed && m_hasAppeared) {
        if (m_sample->hasFocus()) m_sample->clearFocus();
        QTimer::singleShot(0, m_sample, [button = QPointer<QPushButton>(m_sample)] {
            if (button && button->isVisible() && button->isEnabled()) button->setFocus(Qt::OtherFocusReason);
        });
    }
}

void ReaderStartView::follow() {
    for (const QMetaObject::Connection& connection : m_followed) disconnect(connection);
    m_followed.clear();
    const auto later = [this] { scheduleRefresh(); };
    if (ReadingPlayer* player = m_inputs.player)
        m_followed.append(connect(player, &ReadingPlayer::storageMessageChanged, this, later));
    if (ReaderHistoryModel* history = m_inputs.history) {
        for (auto changed :
             {&ReaderHistoryModel::isLoadedChanged, &ReaderHistoryModel::fileImportMessageChanged,
              &ReaderHistoryModel::fileImportDetailsChanged, &ReaderHistoryModel::fileImportFailedChanged,
              &ReaderHistoryModel::isImportingFileChanged, &ReaderHistoryModel::isSavingFileChanged})
            m_followed.append(connect(history, changed, this, later));
    }
}

void ReaderStartView::scheduleRefresh() {
    if (m_refreshPending) return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshPending = false;
        refresh();
    });
}

void ReaderStartView::showEvent(QShowEvent* event) {
    m_hasAppeared = true;
    QScrollArea::showEvent(event);
}

void ReaderStartView::refresh() {
    m_sample->setEnabled(m_inputs.canOpenSample);
    m_paste->setEnabled(m_inputs.canImportClipboard);
    m_openFile->setEnabled(m_inputs.canImportFile);
    m_clipboardNotice->setNotice(m_inputs.clipboardFailureMessage, m_inputs.clipboardFailureDetails, true);

    // The first rule that applies wins; a store that could not be opened is told even before loading ends.
    const ReaderHistoryModel* history = m_inputs.history;
    const bool hasStore = history && history->playback().store() != nullptr;
    const bool loading = !history || (hasStore && !history->isLoaded());
    const bool showsFile = hasStore && history->isLoaded() && !m_inputs.showsHistory;
    m_loading->setVisible(loading);
    if (history && !hasStore) {
        m_noStore->setNotice(kNoStoreText, history->playback().refusalDetails(), false);
    } else {
        m_noStore->setNotice(std::nullopt, std::nullopt, false);
    }
    if (showsFile) {
        m_fileNotice->setNotice(history->fileImportMessage(), history->fileImportDetails(),
                                history->fileImportFailed());
    } else {
        m_fileNotice->setNotice(std::nullopt, std::nullopt, false);
    }
    const bool importing = showsFile && history->isImportingFile();
    m_fileProgress->setVisible(importing);
    if (importing) {
        setProgressText(*m_fileProgress, *m_fileProgressLabel,
                        history->isSavingFile() ? u"ファイルを保存中"_s : u"ファイルを読み込み中"_s);
        m_cancelImport->setVisible(!history->isSavingFile());
    }

    const std::optional<QString> storage = m_inputs.player ? m_inputs.player->storageMessage() : std::nullopt;
    m_storageMessage->setVisible(storage.has_value());
    m_storageMessage->setText(storage.value_or(QString()));
}

}  // namespace tavrine
