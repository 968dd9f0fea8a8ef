#include "PelmoraMac/Library/LibraryFilePanel.h"

#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "ReaderCore/Defaults.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// The folder kept from the last import through the panel while it still is one, else the home folder.
QString startingFolder(const Defaults& defaults) {
    const std::optional<DefaultsValue> kept = defaults.object(kLibraryFilePanelFolderKey);
    if (const QString* folder = kept ? std::get_if<QString>(&*kept) : nullptr) {
        if (QDir::isAbsolutePath(*folder) && QFileInfo(*folder).isDir()) return *folder;
    }
    return QDir::homePath();
}

}  // namespace

void openLibraryFilePanel(QWidget& window, ReaderHistoryModel& model, Defaults& defaults,
                          std::function<void()> onClosed) {
    auto* dialog = new QFileDialog(&window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(u"libraryFilePanel"_s);
    ReaderTheme::apply(*dialog);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(u"テキストまたはEPUB (*.txt *.epub)"_s);
    dialog->setDirectory(startingFolder(defaults));
    if (onClosed)
        QObject::connect(dialog, &QDialog::finished, dialog, [onClosed = std::move(onClosed)] { onClosed(); });
    const QPointer<ReaderHistoryModel> target(&model);
    QObject::connect(dialog, &QFileDialog::accepted, dialog, [dialog, target, &defaults] {
        if (!target) return;
        const QList<QUrl> chosen = dialog->selectedUrls();
        if (chosen.size() != 1 || !chosen.constFirst().isLocalFile()) {
            target->fileSelectionFailed();
            return;
        }
        defaults.setString(kLibraryFilePanelFolderKey, QFileInfo(chosen.constFirst().toLocalFile()).absolutePath());
        target->beginFileImport(ReaderHistoryModel::passThroughURL(chosen.constFirst()));
    });
    dialog->open();
}

}  // namespace tavrine
