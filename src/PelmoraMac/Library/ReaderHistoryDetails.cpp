#include "PelmoraMac/Library/ReaderHistoryDetails.h"

#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/SheetFocus.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {
constexpr int kPadding = 24;
constexpr int kSpacing = 16;

// A text of the sheet: selectable with the mouse, which leaves the keys on 閉じる, and with the keys too
// (a stop of Tab) unless it only names a row.
QLabel* selectableLabel(const QString& text, QWidget* parent, TextSelection selection = TextSelection::byMouseAndKeys) {
    auto* label = new QLabel(text, parent);
    // Titles and previews are the reading's own text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    setSelectableText(*label, selection);
    return label;
}

void setForeground(QWidget& widget, const ReaderColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, toQColor(colour));
    widget.setPalette(palette);
}
}  // namespace

ReaderHistoryDetails::Content ReaderHistoryDetails::content(const StoredReading& item, const QLocale& locale,
                                                            const QTimeZone& timeZone) {
    const auto date = [&](Date value) {
        return ReaderDocumentInformation::formattedImportTime(value, locale, timeZone);
    };
    return Content{
        .title = ReaderDocumentIdentity::shownTitle(item.reading, kTitleCharacters),
        .preview = ReaderHistoryModel::rowPreview(item.reading),
        .rows =
            {
                {u"読書位置"_s, ReaderHistoryModel::rowProgress(item, false)},
                {u"ライブラリ"_s, item.isInLibrary ? u"保存済み"_s : u"未追加"_s},
                {u"取り込み"_s, date(item.reading.importedAt)},
                {u"最後の再生"_s, item.lastPlayedAt ? date(*item.lastPlayedAt) : u"未再生"_s},
            },
    };
}

ReaderHistoryDetails::ReaderHistoryDetails(StoredReading item, QWidget* parent)
    : QDialog(parent), m_item(std::move(item)) {
    Q_ASSERT(isMainThread());
    const Content shown = content(m_item);
    ReaderTheme::apply(*this);
    setFont(readerFont(ReaderTextStyle::body));
    setWindowTitle(shown.title);
    setWindowModality(Qt::WindowModal);
    setFixedWidth(kWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(kSpacing);

    QLabel* title = selectableLabel(shown.title, this);
    title->setFont(readerFont(ReaderTextStyle::headline));
    column->addWidget(title);
    QLabel* preview = selectableLabel(shown.preview, this);
    setForeground(*preview, ReaderPalette::secondaryText);
    column->addWidget(preview);

    // A label and its value on one line, the value at the trailing edge.
    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeading | Qt::AlignTop);
    form->setHorizontalSpacing(kSpacing);
    form->setVerticalSpacing(8);
    for (const ReaderDocumentInformation::Row& row : shown.rows) {
        QLabel* value = selectableLabel(row.value, this);
        value->setAlignment(Qt::AlignTrailing | Qt::AlignTop);
        setForeground(*value, ReaderPalette::secondaryText);
        form->addRow(selectableLabel(row.label, this, TextSelection::byMouse), value);
    }
    column->addLayout(form);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_closeButton = new QPushButton(u"閉じる"_s, this);
    // Return does not close the sheet; Escape is the dialog's own way out.
    m_closeButton->setAutoDefault(false);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(m_closeButton);
    column->addLayout(buttons);
    // It opens with the keys on its one control, ringed: Space closes it, Tab goes to the texts.
    m_closeButton->setFocus(Qt::OtherFocusReason);
    ringSheetFocus(*this);

    // As tall as its lines at the fixed width.
    const int height = column->totalHeightForWidth(kWidth);
    setFixedHeight(height > 0 ? height : sizeHint().height());
}

}  // namespace tavrine
