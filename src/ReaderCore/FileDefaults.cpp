#include "ReaderCore/FileDefaults.h"

#include "ReaderCore/ApplicationIdentifier.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/PrintableText.h"
#include "ReaderCore/internal/SettingsFile.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QStandardPaths>

#include <cmath>
#include <limits>
#include <utility>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr QStringView kDataKey = u"data";
constexpr QStringView kNumberKey = u"number";

// The words for the numbers that JSON cannot write.
constexpr QStringView kNaN = u"nan";
constexpr QStringView kInfinity = u"inf";
constexpr QStringView kNegativeInfinity = u"-inf";

// One line to stderr; the paths in it are the user's and may hold anything a file name can.
void warn(const QString& message) {
    qWarning().noquote() << escapingControlCharacters(message);
}

QJsonValue encodeNumber(double number) {
    if (std::isfinite(number)) return number;
    const QStringView word = std::isnan(number) ? kNaN : number > 0 ? kInfinity : kNegativeInfinity;
    return QJsonObject{{kNumberKey.toString(), word.toString()}};
}

QJsonValue encode(const DefaultsValue& value) {
    return std::visit(
        [](const auto& content) -> QJsonValue {
            using T = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<T, double>) {
                return encodeNumber(content);
            } else if constexpr (std::is_same_v<T, QByteArray>) {
                return QJsonObject{{kDataKey.toString(), QString::fromLatin1(base64Text(content))}};
            } else {
                return content;
            }
        },
        value);
}

// The value an entry of the file holds, or nothing for an entry of any other shape.
std::optional<DefaultsValue> decode(const QJsonValue& entry) {
    if (entry.isBool()) return entry.toBool();
    if (entry.isDouble()) return entry.toDouble();
    if (entry.isString()) return entry.toString();
    if (!entry.isObject()) return std::nullopt;
    const QJsonObject object = entry.toObject();
    if (object.size() != 1) return std::nullopt;
    if (object.contains(kDataKey)) {
        const QJsonValue data = object.value(kDataKey);
        if (!data.isString()) return std::nullopt;
        return decodeBase64Strictly(data.toString().toLatin1());
    }
    const QJsonValue word = object.value(kNumberKey);
    if (word == kNaN.toString()) return std::numeric_limits<double>::quiet_NaN();
    if (word == kInfinity.toString()) return std::numeric_limits<double>::infinity();
    if (word == kNegativeInfinity.toString()) return -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

}  // namespace

// A save handed to the writer thread, and what tells the main thread, on a later turn, that it has ended.
struct FileDefaults::Save {
    QFuture<SettingsSave> result;
    std::unique_ptr<QFutureWatcher<SettingsSave>> watcher = std::make_unique<QFutureWatcher<SettingsSave>>();
};

QString FileDefaults::applicationFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QString::fromUtf16(kApplicationIdentifier) + u"/defaults.json";
}

FileDefaults::FileDefaults(QString path) : FileDefaults(std::move(path), Steps{}) {}

FileDefaults::FileDefaults(QString path, Steps steps)
    : m_path(std::move(path)), m_file(std::make_unique<SettingsFile>(m_path, std::move(steps))) {
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(0);
    QObject::connect(&m_writeTimer, &QTimer::timeout, [this] { handOver(); });
    // Read here, before any save: the start has the settings before anything asks for them.
    const SettingsSave opened = m_file->open();
    m_entries = opened.entries;
    for (const QString& line : opened.lines) warn(line);
    m_warnedNotSaved = opened.saidWhyNotSaved;
}

FileDefaults::~FileDefaults() {
    // Whoever watches whether the settings are kept may be gone already.
    setKeepsChangesObserver({});
    sync();
}

std::optional<DefaultsValue> FileDefaults::object(const QString& key) const {
    const auto entry = m_entries.constFind(key);
    if (entry == m_entries.constEnd()) return std::nullopt;
    return decode(*entry);
}

void FileDefaults::setValue(const QString& key, DefaultsValue value) {
    QJsonValue entry = encode(value);
    if (m_entries.value(key) == entry) return;
    m_entries.insert(key, std::move(entry));
    changed(key);
}

void FileDefaults::remove(const QString& key) {
    if (!m_entries.contains(key)) return;
    m_entries.remove(key);
    changed(key);
}

void FileDefaults::changed(const QString& key) {
    m_unsent.insert(key);
    if (!m_writeTimer.isActive()) m_writeTimer.start();
}

void FileDefaults::handOver() {
    if (m_save) return;
    SettingsFile::Changes changes;
    for (const QString& key : std::as_const(m_unsent)) {
        const auto entry = m_entries.constFind(key);
        changes.insert(key, entry == m_entries.constEnd() ? std::optional<QJsonValue>() : entry.value());
    }
    m_unsent.clear();
    m_save = std::make_unique<Save>();
    m_save->result = m_writer.run([file = m_file.get(), changes = std::move(changes)] { return file->save(changes); });
    QObject::connect(m_save->watcher.get(), &QFutureWatcherBase::finished, [this] { takeSave(true); });
    m_save->watcher->setFuture(m_save->result);
}

void FileDefaults::takeSave(bool toldByWatcher) {
    Q_ASSERT(isMainThread());
    // Already taken by sync(), which waited for it.
    if (!m_save || !m_save->result.isFinished()) return;
    const SettingsSave save = m_save->result.result();
    // The watcher that tells of it goes once it has finished telling.
    const std::unique_ptr<Save> done = std::move(m_save);
    done->watcher->disconnect();
    if (toldByWatcher) done->watcher.release()->deleteLater();
    // What the file holds now, with what was changed here since the save was handed over put over it.
    QJsonObject entries = save.entries;
    for (const QString& key : std::as_const(m_unsent)) {
        if (const auto entry = m_entries.constFind(key); entry != m_entries.constEnd()) {
            entries.insert(key, *entry);
        } else {
            entries.remove(key);
        }
    }
    m_entries = std::move(entries);
    m_writeCount += save.writes;
    for (const QString& line : save.lines) warn(line);
    if (save.saidWhyNotSaved) m_warnedNotSaved = true;
    m_savedAll = !save.failure;
    if (save.failure) {
        ++m_failedSaveCount;
        // Said once until the settings are kept again: a dragged slider over a read-only file is one line.
        if (!m_warnedNotSaved) warn(*save.failure);
        m_warnedNotSaved = true;
    } else {
        m_warnedNotSaved = false;
    }
    // What was changed meanwhile goes now, in one save; the last value of each key wins.
    if (!m_unsent.isEmpty()) handOver();
    setKeepsChanges(m_savedAll);
}

bool FileDefaults::sync() {
    Q_ASSERT(isMainThread());
    m_writeTimer.stop();
    // A save that failed is tried again, although nothing changed since.
    if (!m_unsent.isEmpty() || !m_savedAll) handOver();
    while (m_save) {
        m_save->result.waitForFinished();
        takeSave(false);
    }
    return m_savedAll;
}

}  // namespace tavrine
