#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tavrine::test {

TemporaryDirectory::TemporaryDirectory() {
    if (!m_directory.isValid()) ADD_FAILURE() << "cannot create a temporary directory";
}

QString TemporaryDirectory::write(const QString& name, const QByteArray& contents) const {
    const QString file = QDir(path()).filePath(name);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(contents) != contents.size()) {
        ADD_FAILURE() << "cannot write " << file.toStdString();
    }
    return file;
}

std::optional<QByteArray> TemporaryDirectory::read(const QString& name) const {
    QFile file(QDir(path()).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

bool TemporaryDirectory::exists(const QString& name) const {
    return QFileInfo::exists(QDir(path()).filePath(name));
}

QStringList TemporaryDirectory::list(const QString& folder) const {
    return QDir(QDir(path()).filePath(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace tavrine::test
