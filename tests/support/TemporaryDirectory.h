#pragma once

#include <gtest/gtest.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

namespace tavrine::test {

// A fresh directory removed with everything in it when the test ends. Names are relative to it; a full
// path is taken as it is.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        if (!m_directory.isValid()) ADD_FAILURE() << "cannot create a temporary directory";
    }
    // Made in folder rather than in the system's temporary folder.
    explicit TemporaryDirectory(const QString& folder) : m_directory(folder + u"/tavrine-test-XXXXXX") {
        if (!m_directory.isValid()) ADD_FAILURE() << "cannot create a temporary directory in " << folder.toStdString();
    }

    QString path() const { return m_directory.path(); }
    QString filePath(const QString& name) const { return QDir(path()).filePath(name); }

    // Writes a file (creating folders on its path) and returns its full path; fails the test on error.
    QString write(const QString& name, const QByteArray& contents) const {
        QFile file(filePath(name));
        if (!QDir().mkpath(QFileInfo(file).absolutePath()) || !file.open(QIODevice::WriteOnly) ||
            file.write(contents) != contents.size()) {
            ADD_FAILURE() << "cannot write " << file.fileName().toStdString();
        }
        return file.fileName();
    }
    // The whole contents of a file, or nothing when it cannot be read.
    std::optional<QByteArray> read(const QString& name) const {
        QFile file(filePath(name));
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        return file.readAll();
    }
    bool exists(const QString& name) const { return QFileInfo::exists(filePath(name)); }
    // The names in the directory (or a folder under it), sorted.
    QStringList list(const QString& folder = QString()) const {
        return QDir(filePath(folder))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir m_directory;
};

}  // namespace tavrine::test
