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
    const QString path = filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
    }
    return path;
}

QByteArray TemporaryDirectory::read(const QString& name) const {
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

bool TemporaryDirectory::exists(const QString& name) const {
    return QFileInfo::exists(filePath(name));
}

QStringList TemporaryDirectory::list(const QString& folder) const {
    return QDir(folder.isEmpty() ? path() : filePath(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace tavrine::test
