#include "PelmoraMac/Library/LibraryFilePanel.h"

#include "PelmoraMac/Library/ReaderHistoryModel.h"

#include <QFileDialog>
#include <QPointer>

namespace tavrine {
using namespace Qt::StringLiterals;

void openLibraryFilePanel(QWidget& window, ReaderHistoryModel& model, std::function<void()> onClosed) {
    auto* dialog = new QFileDialog(&window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(u"libraryFilePanel"_s);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(u"テキストまたはEPUB (*.txt *.epub)"_s);
    if (onClosed)
        QObject::connect(dialog, &QDialog::finished, dialog, [onClosed = std::move(onClosed)] { onClosed(); });
    const QPointer<ReaderHistoryModel> target(&model);
    QObject::connect(dialog, &QFileDialog::accepted, dialog, [dialog, target] {
        if (!target) return;
        const QList<QUrl> chosen = dialog->selectedUrls();
        if (chosen.size() != 1 || !chosen.constFirst().isLocalFile()) {
            target->fileSelectionFailed();
            return;
        }
        target->beginFileImport(ReaderHistoryModel::passThroughURL(chosen.constFirst()));
    });
    dialog->open();
}

}  // namespace tavrine
