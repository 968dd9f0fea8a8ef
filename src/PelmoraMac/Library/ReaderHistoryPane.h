#pragma once

#include <QWidget>

namespace tavrine {

class ReaderHistoryModel;

// Slot: filled by the document list pane. Until then an empty widget over the model.
//
// The document list pane: the history and library table with its search field, shown as the reader
// window's sidebar and in the compact popup. Main thread only.
class ReaderHistoryPane final : public QWidget {
public:
    explicit ReaderHistoryPane(ReaderHistoryModel& model, QWidget* parent = nullptr)
        : QWidget(parent), m_model(model) {}

    ReaderHistoryModel& model() const { return m_model; }

private:
    ReaderHistoryModel& m_model;
};

}  // namespace tavrine
