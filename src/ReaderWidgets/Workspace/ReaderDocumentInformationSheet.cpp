#include "ReaderWidgets/Workspace/ReaderDocumentInformationSheet.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderDocumentInformation.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/SheetFocus.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

constexpr int kMargin = 20;
constexpr int kGroupPadding = 12;
constexpr int kGroupSpacing = 16;

// A rounded, slightly raised panel holding one section of the form.
class FormGroup : public QWidget {
public:
    explicit FormGroup(QWidget* parent) : QWidget(parent) { Q_ASSERT(isMainThread()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(toQColor(ReaderPalette::border), 1));
        painter.setBrush(toQColor(ReaderPalette::surface));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

QLabel* textLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    // Titles and sources are data, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLabel* selectableLabel(const QString& text, QWidget* parent) {
    QLabel* label = textLabel(text, parent);
    setSelectableText(*label);
    return label;
}

// A value of the form: selectable plain text, aligned to the trailing edge, as tall as its lines. Unlike
// a label it breaks a word that is wider than the row (an address, an identifier) instead of running
// past the sheet's edge.
class ValueText : public QTextEdit {
public:
    ValueText(const QString& text, QWidget* parent) : QTextEdit(parent) {
        Q_ASSERT(isMainThread());
        setSelectableText(*this);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewport()->setAutoFillBackground(false);
        document()->setDocumentMargin(0);
        QTextOption option = document()->defaultTextOption();
        option.setAlignment(Qt::AlignTrailing);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        document()->setDefaultTextOption(option);
        setPlainText(text);
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        const std::unique_ptr<QTextDocument> measured(document()->clone());
        measured->setTextWidth(width);
        return static_cast<int>(std::ceil(measured->size().height()));
    }
    QSize sizeHint() const override {
        const int width = static_cast<int>(std::ceil(document()->idealWidth()));
        return {width, heightForWidth(width)};
    }
    QSize minimumSizeHint() const override { return {fontMetrics().averageCharWidth(), fontMetrics().height()}; }
};

void setForeground(QWidget& widget, const ReaderColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, toQColor(colour));
    widget.setPalette(palette);
}

QWidget* sectionHeader(const QString& text, QWidget* parent) {
    // A heading is read, not worked: selectable with the mouse, and no stop of Tab.
    QLabel* header = textLabel(text, parent);
    setSelectableText(*header, TextSelection::byMouse);
    header->setFont(readerFont(ReaderTextStyle::headline));
    return header;
}

QWidget* rowsGroup(const QList<ReaderDocumentInformation::Row>& rows, QWidget* parent) {
    auto* group = new FormGroup(parent);
    auto* form = new QFormLayout(group);
    form->setContentsMargins(kGroupPadding, kGroupPadding, kGroupPadding, kGroupPadding);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeading | Qt::AlignTop);
    form->setHorizontalSpacing(kGroupSpacing);
    form->setVerticalSpacing(8);
    for (const ReaderDocumentInformation::Row& row : rows) {
        QLabel* label = textLabel(row.label, group);
        label->setWordWrap(false);
        setForeground(*label, ReaderPalette::secondaryText);
        form->addRow(label, new ValueText(row.value, group));
    }
    return group;
}

QWidget* notesGroup(const QStringList& notes, QWidget* parent) {
    auto* group = new FormGroup(parent);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(kGroupPadding, kGroupPadding, kGroupPadding, kGroupPadding);
    layout->setSpacing(8);
    for (const QString& note : notes) {
        QLabel* label = selectableLabel(note, group);
        label->setFont(readerFont(ReaderTextStyle::callout));
        setForeground(*label, ReaderPalette::secondaryText);
        layout->addWidget(label);
    }
    return group;
}

}  // namespace

ReaderDocumentInformationSheet::ReaderDocumentInformationSheet(const SavedReading& reading,
                                                               const std::optional<QString>& originalFilename,
                                                               QWidget* parent)
    : QDialog(parent) {
    Q_ASSERT(isMainThread());
    const ReaderDocumentInformation information = ReaderDocumentInformation::make(reading, originalFilename);
    ReaderTheme::apply(*this);
    setFont(readerFont(ReaderTextStyle::body));
    setWindowTitle(information.title);
    setWindowModality(Qt::WindowModal);
    setFixedSize(reading.epub ? kBookSize : kDocumentSize);

    // The form scrolls when a long title or many identifiers outgrow the fixed sheet.
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* form = new QVBoxLayout(content);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(8);
    form->addWidget(sectionHeader(information.title, content));
    form->addWidget(rowsGroup(information.rows, content));
    if (information.importNotes) {
        form->addSpacing(kGroupSpacing - 8);
        form->addWidget(sectionHeader(ReaderDocumentInformation::importNotesTitle(), content));
        form->addWidget(notesGroup(*information.importNotes, content));
    }
    form->addStretch();

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    // It only holds the texts, which are stops of Tab themselves: a stop on the area would show nothing.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(content);

    auto* buttons = new QDialogButtonBox(this);
    m_closeButton = buttons->addButton(u"閉じる"_s, QDialogButtonBox::RejectRole);
    m_closeButton->setObjectName(u"readerInformationClose"_s);
    m_closeButton->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The sheet opens with the keys on its one control, ringed: Space closes it, Tab goes to the values.
    m_closeButton->setFocus(Qt::OtherFocusReason);
    ringSheetFocus(*this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kGroupSpacing);
    layout->addWidget(scroll, 1);
    layout->addWidget(buttons);
}

void ReaderDocumentInformationSheet::keyPressEvent(QKeyEvent* event) {
    // Escape is the dialog's own; Ctrl+Period is the other way out of a sheet.
    const QKeyCombination keys(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key()));
    if (keys == ReaderCommandShortcuts::dismissSheet) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tavrine
