#include "PelmoraMac/Library/ReaderStartView.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderStartView::ReaderStartView(Inputs inputs, QWidget* parent)
    : QWidget(parent), m_sample(new QPushButton(u"サンプルで試す"_s, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sample, 0, Qt::AlignCenter);
    connect(m_sample, &QPushButton::clicked, this, [this] {
        if (m_inputs.openSample) m_inputs.openSample();
    });
    setInputs(std::move(inputs));
}

void ReaderStartView::setInputs(Inputs inputs) {
    const bool newFocusRequest = inputs.focusRequest != m_inputs.focusRequest;
    m_inputs = std::move(inputs);
    m_sample->setEnabled(m_inputs.canOpenSample);
    if (newFocusRequest && isVisible()) m_sample->setFocus();
}

}  // namespace tavrine
