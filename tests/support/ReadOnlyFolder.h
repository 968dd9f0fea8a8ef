#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QString>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <utility>

namespace tavrine::test {

// A folder (with everything under it) that this process cannot change, for as long as the object lives:
// a read-only bind mount of the folder over itself where the process may mount (root with the
// capability to), else the write permission of the folder and of every folder under it taken away,
// which binds every user but root.
// Neither is possible for root without the capability: way() is then nothing, and the test skips.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path) : m_path(QFile::encodeName(path)) {
        const char* folder = m_path.constData();
        if (::mount(folder, folder, nullptr, MS_BIND, nullptr) == 0) {
            if (::mount(nullptr, folder, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) {
                m_way = Way::mount;
                return;
            }
            ::umount2(folder, MNT_DETACH);
        }
        if (::geteuid() == 0) return;
        QStringList folders{path};
        QDirIterator below(path, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (below.hasNext()) folders.append(below.next());
        for (const QString& each : folders) {
            struct stat info {};
            const QByteArray native = QFile::encodeName(each);
            if (::stat(native.constData(), &info) != 0 || ::chmod(native.constData(), info.st_mode & 0555) != 0) break;
            m_modes.append({native, info.st_mode});
        }
        m_way = m_modes.size() == folders.size() ? Way::permissions : Way::none;
        if (m_way == Way::none) restoreModes();
    }
    ~ReadOnlyFolder() {
        if (m_way == Way::mount) ::umount2(m_path.constData(), MNT_DETACH);
        restoreModes();
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // How the folder was made read-only, for the test's messages; nothing when it could not be.
    std::optional<std::string> way() const {
        if (m_way == Way::mount) return "a read-only bind mount";
        if (m_way == Way::permissions) return "a folder without write permission";
        return std::nullopt;
    }

private:
    enum class Way { none, mount, permissions };

    void restoreModes() {
        for (auto it = m_modes.crbegin(); it != m_modes.crend(); ++it) ::chmod(it->first.constData(), it->second);
        m_modes.clear();
    }

    QByteArray m_path;
    Way m_way = Way::none;
    QList<std::pair<QByteArray, mode_t>> m_modes;
};

// Skips the test when folder could not be made read-only.
#define TAVRINE_SKIP_UNLESS_READ_ONLY(folder)                                                            \
    if (!(folder).way()) {                                                                               \
        GTEST_SKIP() << "this process can neither mount read-only nor be refused a write (root without " \
                        "CAP_SYS_ADMIN)";                                                                \
    }

}  // namespace tavrine::test
