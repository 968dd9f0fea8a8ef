#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace tavrine::test {

// A fresh directory removed with everything in it when the test ends. Names are relative to it; a full
// path is taken as it is.
class TemporaryDirectory {
public:
    TemporaryDirectory();

    QString path() const { return m_directory.path(); }
    QString filePath(const QString& name) const { return m_directory.filePath(name); }

    // Writes a file (creating folders on its path) and returns its full path; fails the test on error.
    QString write(const QString& name, const QByteArray& contents) const;
    // The whole contents of a file, or nothing when it cannot be read.
    std::optional<QByteArray> read(const QString& name) const;
    bool exists(const QString& name) const;
    // The names in the directory (or a folder under it), sorted.
    QStringList list(const QString& folder = QString()) const;

private:
    QTemporaryDir m_directory;
};

}  // namespace tavrine::test
