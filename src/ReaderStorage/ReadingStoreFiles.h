#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tavrine {

// Where the store keeps its files, all derived from the path of the store file:
//   reading-store.json                        the store file
//   reading-store.json.lock                   locked by the store that owns the others, never removed
//   reading-store.json.progress-REVISION.json the progress file of one revision
//   reading-store.json.originals/ID.epub      the kept copy of each imported EPUB file
// Identifiers appear in their upper-case canonical form.
class ReadingStoreFiles {
public:
    explicit ReadingStoreFiles(QString storeFile) : m_storeFile(std::move(storeFile)) {}

    // The application's one store file: <user data directory>/org.tavrine.Tavrine/reading-store.json;
    // nothing when the user has no data directory. Only looked up; nothing is created.
    static std::optional<QString> applicationStoreFile();

    const QString& storeFile() const { return m_storeFile; }
    // The folder that holds the store file, its progress files and its originals folder.
    QString folder() const;
    // The store file's own name ("reading-store.json").
    QString storeFileName() const;
    QString lockFile() const;
    QString progressFile(const QUuid& revision) const;
    // The revision whose progress file is called fileName (a name in folder()), or nothing.
    std::optional<QUuid> progressFileRevision(const QString& fileName) const;
    QString originalsDirectory() const;
    QString originalFile(const QUuid& readingID) const;
    // "ID.epub", the name of a kept original inside the originals directory.
    static QString originalFileName(const QUuid& readingID);
    // The reading whose kept original is called fileName (the identifier in either case, the extension
    // in lower case exactly), or nothing.
    static std::optional<QUuid> originalFileReadingID(const QString& fileName);

private:
    QString m_storeFile;
};

}  // namespace tavrine
