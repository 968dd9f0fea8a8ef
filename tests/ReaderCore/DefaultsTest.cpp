#include "ReaderCore/AtomicFileWrite.h"
#include "ReaderCore/FileDefaults.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/MemoryDefaults.h"

#include "support/CapturedWarnings.h"
#include "support/EventLoop.h"
#include "support/FullDisk.h"
#include "support/QtPrinters.h"
#include "support/ReadOnlyFolder.h"
#include "support/RunTask.h"
#include "support/SpecialFiles.h"
#include "support/TemporaryDirectory.h"
#include "support/UnprivilegedUser.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <utility>

#include <cmath>
#include <limits>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The number under key, or nothing when the value is absent or of another type.
std::optional<double> numberAt(const Defaults& defaults, const QString& key) {
    const auto value = defaults.object(key);
    if (const double* number = value ? std::get_if<double>(&*value) : nullptr) return *number;
    return std::nullopt;
}

QByteArray everyByte() {
    QByteArray bytes;
    for (int byte = 0; byte < 256; ++byte) bytes.append(static_cast<char>(byte));
    return bytes;
}

// Sets one value of each type, the numbers JSON cannot write included.
void setEveryKind(Defaults& defaults) {
    defaults.setBool(u"flag"_s, true);
    defaults.setDouble(u"speed"_s, 0.123456789012345);
    defaults.setDouble(u"nan"_s, std::numeric_limits<double>::quiet_NaN());
    defaults.setDouble(u"infinity"_s, kInfinity);
    defaults.setDouble(u"negativeInfinity"_s, -kInfinity);
    defaults.setString(u"title"_s, u"吾輩は猫である 🐈"_s);
    defaults.setString(u"digits"_s, u"34"_s);
    defaults.setData(u"bytes"_s, everyByte());
}

void expectEveryKind(const Defaults& defaults) {
    EXPECT_EQ(defaults.object(u"flag"_s), DefaultsValue(true));
    EXPECT_EQ(numberAt(defaults, u"speed"_s), 0.123456789012345);  // exact, not rounded by the text form
    ASSERT_TRUE(numberAt(defaults, u"nan"_s));
    EXPECT_TRUE(std::isnan(*numberAt(defaults, u"nan"_s)));
    EXPECT_EQ(numberAt(defaults, u"infinity"_s), kInfinity);
    EXPECT_EQ(numberAt(defaults, u"negativeInfinity"_s), -kInfinity);
    EXPECT_EQ(defaults.object(u"title"_s), DefaultsValue(u"吾輩は猫である 🐈"_s));
    // A string of digits stays a string: it is no number to doubleForKey.
    EXPECT_EQ(defaults.object(u"digits"_s), DefaultsValue(u"34"_s));
    EXPECT_EQ(defaults.doubleForKey(u"digits"_s), 0);
    EXPECT_EQ(defaults.object(u"bytes"_s), DefaultsValue(everyByte()));
}

TEST(MemoryDefaults, KeepsEachTypeAndReadsNumbersOnlyFromNumbers) {
    MemoryDefaults defaults;
    EXPECT_EQ(defaults.object(u"missing"_s), std::nullopt);
    EXPECT_EQ(defaults.doubleForKey(u"missing"_s), 0);
    setEveryKind(defaults);
    expectEveryKind(defaults);
    EXPECT_EQ(defaults.doubleForKey(u"flag"_s), 0);
    EXPECT_EQ(defaults.doubleForKey(u"speed"_s), 0.123456789012345);
    defaults.setString(u"speed"_s, u"fast"_s);  // a new type replaces the old value
    EXPECT_EQ(defaults.doubleForKey(u"speed"_s), 0);
    defaults.remove(u"speed"_s);
    EXPECT_EQ(defaults.object(u"speed"_s), std::nullopt);
}

class FileDefaultsTest : public testing::Test {
protected:
    FileDefaultsTest() = default;
    explicit FileDefaultsTest(const QString& folder) : directory(folder) {}

    QString path() const { return directory.filePath(u"config/org.tavrine.Tavrine/defaults.json"_s); }

    test::TemporaryDirectory directory;
};

// Its folder where the user the test switches to can reach it.
class ProtectedFileDefaultsTest : public FileDefaultsTest {
protected:
    ProtectedFileDefaultsTest() : FileDefaultsTest(test::UnprivilegedUser::reachableTemporaryFolder()) {}
};

TEST_F(FileDefaultsTest, EveryTypeSurvivesTheFileAndANewReader) {
    {
        FileDefaults defaults(path());
        setEveryKind(defaults);
        defaults.setBool(u"removed"_s, true);
        defaults.remove(u"removed"_s);
    }  // written on destruction; the folders on the way are made
    FileDefaults reread(path());
    expectEveryKind(reread);
    EXPECT_EQ(reread.object(u"removed"_s), std::nullopt);
    // The file is a plain JSON object that others can read.
    const QJsonObject file = QJsonDocument::fromJson(*directory.read(path())).object();
    EXPECT_EQ(file.value(u"digits"_s), QJsonValue(u"34"_s));
    EXPECT_EQ(file.value(u"speed"_s), QJsonValue(0.123456789012345));
    EXPECT_EQ(file.value(u"infinity"_s), QJsonValue(QJsonObject{{u"number"_s, u"inf"_s}}));
}

TEST_F(FileDefaultsTest, EntriesOfOtherShapesReadAsNothingAndStayInTheFile) {
    directory.write(path(), R"({"list": [1, 2], "nothing": null, "object": {"data": "not base64!"},
                               "two": {"number": "nan", "data": ""}, "size": 40})");
    FileDefaults defaults(path());
    for (const QString& key : {u"list"_s, u"nothing"_s, u"object"_s, u"two"_s}) {
        EXPECT_EQ(defaults.object(key), std::nullopt) << key;
    }
    defaults.setDouble(u"size"_s, 41);
    ASSERT_TRUE(defaults.sync());
    const QJsonObject file = QJsonDocument::fromJson(*directory.read(path())).object();
    EXPECT_EQ(file.value(u"list"_s), QJsonValue(QJsonArray({1, 2})));
    EXPECT_EQ(file.value(u"size"_s), QJsonValue(41));
}

TEST_F(FileDefaultsTest, AFileThatIsNoJSONObjectIsKeptAsideBeforeItIsReplaced) {
    for (const QByteArray& contents : {QByteArray("{\"size\": 40"), QByteArray("[1, 2]"), QByteArray("\"34\"")}) {
        SCOPED_TRACE(contents.toStdString());
        directory.write(path(), contents);
        directory.write(path() + u".corrupt", "an older copy");
        QFile::remove(path() + u".corrupt-2");
        test::CapturedWarnings warnings;
        FileDefaults defaults(path());
        EXPECT_EQ(defaults.object(u"size"_s), std::nullopt);
        // The first free name: an older copy is never replaced.
        EXPECT_TRUE(warnings.mention(u"the file is kept as %1.corrupt-2 when"_s.arg(path())));
        EXPECT_EQ(directory.read(path()), contents);  // reading alone changes nothing

        defaults.setDouble(u"size"_s, 20);
        ASSERT_TRUE(defaults.sync());
        EXPECT_EQ(directory.read(path() + u".corrupt-2"), contents);
        EXPECT_EQ(directory.read(path() + u".corrupt"), QByteArray("an older copy"));
        EXPECT_EQ(warnings.messages().size(), 1);
        EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(20.0));
    }
}

// A settings object of exactly `size` bytes: {"size": 40} padded with spaces.
QByteArray paddedSettings(qsizetype size) {
    QByteArray contents = "{\"size\": 40}";
    return contents + QByteArray(size - contents.size(), ' ');
}

TEST_F(FileDefaultsTest, AFileOfMoreThanOneMebibyteIsNoSettingsAndIsKeptAside) {
    constexpr qsizetype kLimit = 1 << 20;
    directory.write(path(), paddedSettings(kLimit));
    EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(40.0));

    const QByteArray tooLarge = paddedSettings(2 * kLimit);
    directory.write(path(), tooLarge);
    test::CapturedWarnings warnings;
    FileDefaults defaults(path());
    EXPECT_EQ(defaults.object(u"size"_s), std::nullopt);
    EXPECT_EQ(warnings.messages().size(), 1);
    EXPECT_TRUE(warnings.mention(u"larger than"_s));
    defaults.setDouble(u"size"_s, 20);
    ASSERT_TRUE(defaults.sync());
    EXPECT_EQ(directory.read(path() + u".corrupt"), tooLarge);
    EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(20.0));
}

// A FIFO without a writer, a directory and an endless device (behind a link) in the file's place: the
// settings start empty at once, changes stay in memory, and what holds the place is left as it was.
TEST_F(FileDefaultsTest, WhatIsNoRegularFileIsNeverReadMovedOrReplaced) {
    const auto kindOf = [](const QString& file) {
        struct stat info {};
        return ::lstat(QFile::encodeName(file).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
    };
    const std::array<std::pair<const char*, std::function<void(const QString&)>>, 3> standIns{{
        {"fifo", [](const QString& file) { test::makeFifo(file); }},
        {"directory", [](const QString& file) { QDir().mkpath(file); }},
        {"link to /dev/zero", [](const QString& file) { QFile::link(u"/dev/zero"_s, file); }},
    }};
    for (const auto& [name, make] : standIns) {
        SCOPED_TRACE(name);
        test::TemporaryDirectory folder;
        const QString file = folder.filePath(u"defaults.json"_s);
        make(file);
        const auto kind = kindOf(file);
        test::CapturedWarnings warnings;
        std::optional<FileDefaults> defaults;
        {
            const test::Watchdog watchdog;
            defaults.emplace(file);
        }
        EXPECT_EQ(defaults->object(u"size"_s), std::nullopt);
        defaults->setDouble(u"size"_s, 20);
        EXPECT_FALSE(defaults->sync());
        EXPECT_FALSE(defaults->sync());
        EXPECT_EQ(defaults->object(u"size"_s), DefaultsValue(20.0));
        defaults.reset();
        // One warning, naming the file, for the whole life of the settings.
        ASSERT_EQ(warnings.messages().size(), 1) << warnings.messages().join(u'\n').toStdString();
        EXPECT_TRUE(warnings.mention(file));
        EXPECT_EQ(kindOf(file), kind);
        EXPECT_EQ(folder.list(), QStringList{u"defaults.json"_s});
    }
    EXPECT_TRUE(QFileInfo(u"/dev/zero"_s).exists());
}

TEST_F(FileDefaultsTest, AFolderThatCannotBeMadeFailsTheWriteAndKeepsTheValues) {
    // The folder's path is taken by a regular file (permissions prove nothing to a suite run as root).
    directory.write(u"config"_s, "a file");
    test::CapturedWarnings warnings;
    FileDefaults defaults(path());
    defaults.setDouble(u"size"_s, 20);
    EXPECT_FALSE(defaults.sync());
    EXPECT_TRUE(warnings.mention(u"cannot be made"_s));
    EXPECT_EQ(defaults.object(u"size"_s), DefaultsValue(20.0));
    EXPECT_EQ(defaults.writeCount(), 0);

    // Once the folder can be made, the values still in memory are written.
    QFile::remove(directory.filePath(u"config"_s));
    EXPECT_TRUE(defaults.sync());
    EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(20.0));
}

TEST_F(FileDefaultsTest, ABurstOfChangesInOneTurnIsWrittenOnce) {
    FileDefaults defaults(path());
    for (int step = 1; step <= 1000; ++step) defaults.setDouble(u"reader.baseSeconds"_s, step / 1000.0);
    EXPECT_FALSE(directory.exists(path()));  // nothing is written inside the turn
    ASSERT_TRUE(test::processEventsUntil([&] { return defaults.writeCount() > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(defaults.writeCount(), 1);
    EXPECT_EQ(FileDefaults(path()).doubleForKey(u"reader.baseSeconds"_s), 1.0);
    EXPECT_TRUE(defaults.sync());  // nothing pending: no second write
    EXPECT_EQ(defaults.writeCount(), 1);
    // Setting the value held, or removing a key that is not there, changes nothing and writes nothing.
    defaults.setDouble(u"reader.baseSeconds"_s, 1.0);
    defaults.remove(u"missing"_s);
    EXPECT_TRUE(defaults.sync());
    EXPECT_EQ(defaults.writeCount(), 1);
}

// Settings whose indented form passes the limit a start reads, but whose compact form stays under it, are
// written so that the next start reads them; settings that would pass it even compact are not written at
// all, and the file on disk stays as the last start read it.
TEST_F(FileDefaultsTest, NoFileIsWrittenThatTheNextStartRefuses) {
    constexpr qsizetype kLimit = 1 << 20;
    // Entries of 116 bytes each ("entry00000":"x…x",), about 2,000 bytes short of the limit.
    QJsonObject entries;
    for (int index = 0; index < (kLimit - 2000) / 116; ++index) {
        entries.insert(u"entry%1"_s.arg(index, 5, 10, QLatin1Char('0')), QString(100, u'x'));
    }
    const QByteArray compact = QJsonDocument(entries).toJson(QJsonDocument::Compact);
    ASSERT_GT(compact.size(), kLimit - 2100);
    ASSERT_GT(QJsonDocument(entries).toJson(QJsonDocument::Indented).size(), kLimit);
    directory.write(path(), compact);

    FileDefaults defaults(path());
    int reports = 0;
    defaults.setKeepsChangesObserver([&] { ++reports; });
    defaults.setDouble(u"size"_s, 41);
    ASSERT_TRUE(defaults.sync());
    EXPECT_LE(directory.read(path())->size(), kLimit);
    EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(41.0));
    EXPECT_EQ(FileDefaults(path()).object(u"entry00000"_s), DefaultsValue(QString(100, u'x')));
    const QByteArray written = *directory.read(path());

    // 3,000 more bytes pass the limit: refused, said once, kept in memory; taken back, written again.
    test::CapturedWarnings warnings;
    defaults.setString(u"title"_s, QString(3000, u'y'));
    EXPECT_FALSE(defaults.sync());
    defaults.setString(u"title"_s, QString(4000, u'y'));
    EXPECT_FALSE(defaults.sync());
    EXPECT_FALSE(defaults.keepsChanges());
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(warnings.messages().size(), 1);
    EXPECT_EQ(directory.read(path()), written);
    EXPECT_EQ(defaults.object(u"title"_s), DefaultsValue(QString(4000, u'y')));
    defaults.remove(u"title"_s);
    defaults.setDouble(u"size"_s, 42);
    EXPECT_TRUE(defaults.sync());
    EXPECT_TRUE(defaults.keepsChanges());
    EXPECT_EQ(reports, 2);
    EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(42.0));
}

// A settings file in a folder that cannot be written: every change stays in memory, the failure is said
// once however often it is tried, and once the folder can be written again the next write keeps them all.
TEST_F(FileDefaultsTest, AFileThatCannotBeWrittenLosesNothingAndSaysSoOnce) {
    directory.write(path(), R"({"size": 40})");
    FileDefaults defaults(path());
    int reports = 0;
    defaults.setKeepsChangesObserver([&] { ++reports; });
    test::CapturedWarnings warnings;
    {
        const test::ReadOnlyFolder readOnly(directory.filePath(u"config/org.tavrine.Tavrine"_s));
        TAVRINE_SKIP_UNLESS_READ_ONLY(readOnly);
        defaults.setDouble(u"size"_s, 41);
        EXPECT_FALSE(defaults.sync());
        defaults.setBool(u"flag"_s, true);
        QCoreApplication::processEvents();  // the change's own write, which fails too
        EXPECT_FALSE(defaults.sync());
        EXPECT_FALSE(defaults.keepsChanges());
        EXPECT_EQ(reports, 1);
        EXPECT_EQ(warnings.messages().size(), 1);
        EXPECT_TRUE(warnings.mention(path()));
        EXPECT_EQ(defaults.object(u"size"_s), DefaultsValue(41.0));
        EXPECT_EQ(directory.read(path()), QByteArray(R"({"size": 40})"));
    }
    EXPECT_TRUE(defaults.sync());
    EXPECT_TRUE(defaults.keepsChanges());
    EXPECT_EQ(reports, 2);
    const FileDefaults reread(path());
    EXPECT_EQ(reread.object(u"size"_s), DefaultsValue(41.0));
    EXPECT_EQ(reread.object(u"flag"_s), DefaultsValue(true));
}

// A full disk under the settings file (a quota or an I/O error fails the same calls): the old file stays
// whole and no temporary file is left, every change stays in memory, the failure is said once however often
// the write is tried again, and once there is room the next write keeps them all.
TEST_F(FileDefaultsTest, AFullDiskKeepsTheOldFileWholeAndSaysSoOnce) {
    const QString folder = directory.filePath(u"config/org.tavrine.Tavrine"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    test::FullDisk disk(folder);
    SCOPED_TRACE(disk.way());
    directory.write(path(), R"({"size": 40})");
    FileDefaults defaults(path());
    int reports = 0;
    defaults.setKeepsChangesObserver([&] { ++reports; });
    test::CapturedWarnings warnings;
    disk.fill();
    const QString title(2 * test::FullDisk::kFallbackBytes, u'y');
    defaults.setString(u"title"_s, title);
    QCoreApplication::processEvents();  // the change's own write
    defaults.setDouble(u"size"_s, 41);
    EXPECT_FALSE(defaults.sync());
    EXPECT_FALSE(defaults.keepsChanges());
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(warnings.messages().size(), 1) << warnings.messages().join(u'\n').toStdString();
    EXPECT_TRUE(warnings.mention(path()));
    EXPECT_EQ(directory.read(path()), QByteArray(R"({"size": 40})"));
    QStringList names = directory.list(folder);
    names.removeAll(u".filler"_s);
    EXPECT_EQ(names, QStringList{u"defaults.json"_s});
    EXPECT_EQ(defaults.object(u"size"_s), DefaultsValue(41.0));

    disk.makeRoom();
    EXPECT_TRUE(defaults.sync());
    EXPECT_TRUE(defaults.keepsChanges());
    EXPECT_EQ(reports, 2);
    const FileDefaults reread(path());
    EXPECT_EQ(reread.object(u"size"_s), DefaultsValue(41.0));
    EXPECT_TRUE(reread.object(u"title"_s) == DefaultsValue(title));
}

// A settings file that this user may not write, in a folder it may: made read-only (also one that is no
// JSON), or another user's (also one it may not read). It is never replaced nor moved aside, every change
// stays in memory, the window and stderr are told once (stderr saying that the file is left as it is), and
// once the file may be written again the next change keeps them all. Root may write any file, and does.
TEST_F(ProtectedFileDefaultsTest, AFileThisUserMayNotWriteIsLeftAloneUntilItMay) {
    TAVRINE_SKIP_UNLESS_REACHABLE(directory.path());
    const QString folder = QFileInfo(path()).path();
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& each : {directory.path(), directory.filePath(u"config"_s), folder}) {
        ASSERT_TRUE(test::UnprivilegedUser::give(each));
    }
    struct Case {
        const char* what;
        QByteArray contents;
        bool othersFile;
        mode_t mode;
    };
    for (const Case& c :
         {Case{"read-only", R"({"size": 40})", false, 0444}, Case{"read-only, no JSON", "{", false, 0444},
          Case{"another user's", R"({"size": 40})", true, 0644},
          Case{"another user's, unreadable", "{}", true, 0600}}) {
        SCOPED_TRACE(c.what);
        if (c.othersFile && !test::UnprivilegedUser::isRoot()) continue;  // only root makes one
        QFile::remove(path());
        QFile::remove(path() + u".corrupt");
        directory.write(path(), c.contents);
        if (!c.othersFile) {
            ASSERT_TRUE(test::UnprivilegedUser::give(path()));
        }
        ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), c.mode), 0);
        const auto before = test::ownerAndMode(path());

        const test::UnprivilegedUser user;
        TAVRINE_SKIP_UNLESS_UNPRIVILEGED(user);
        SCOPED_TRACE(*user.way());
        test::CapturedWarnings warnings;
        FileDefaults defaults(path());
        if (!warnings.messages().isEmpty()) {
            EXPECT_TRUE(warnings.mention(u"left as it is"_s)) << warnings.messages().join(u'\n').toStdString();
            EXPECT_FALSE(warnings.mention(u".corrupt"_s));
        }
        int reports = 0;
        defaults.setKeepsChangesObserver([&] { ++reports; });
        defaults.setDouble(u"size"_s, 41);
        QCoreApplication::processEvents();  // the change's own write
        defaults.setBool(u"flag"_s, true);
        EXPECT_FALSE(defaults.sync());
        EXPECT_FALSE(defaults.keepsChanges());
        EXPECT_EQ(reports, 1);
        ASSERT_EQ(warnings.messages().size(), 1) << warnings.messages().join(u'\n').toStdString();
        EXPECT_TRUE(warnings.mention(path()));
        // (A file this user may not read it cannot read back either.)
        EXPECT_EQ(directory.read(path()), c.mode == 0600 ? std::nullopt : std::optional(c.contents));
        EXPECT_EQ(test::ownerAndMode(path()), before);
        EXPECT_EQ(directory.list(folder), QStringList{u"defaults.json"_s});
        EXPECT_EQ(defaults.object(u"size"_s), DefaultsValue(41.0));
        if (c.othersFile) continue;

        ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0644), 0);
        defaults.setDouble(u"size"_s, 42);
        ASSERT_TRUE(test::processEventsUntil([&] { return defaults.keepsChanges(); }));
        EXPECT_EQ(reports, 2);
        const FileDefaults reread(path());
        EXPECT_EQ(reread.object(u"size"_s), DefaultsValue(42.0));
        EXPECT_EQ(reread.object(u"flag"_s), DefaultsValue(true));
    }

    if (!test::UnprivilegedUser::isRoot()) return;
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0444), 0);
    FileDefaults defaults(path());
    defaults.setDouble(u"size"_s, 43);
    EXPECT_TRUE(defaults.sync());
    EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(43.0));
}

// A file this user could not read at the start (root's, left by a sudo) handed to the user while the settings
// live: the next write takes it, entries and all, and moves nothing aside.
TEST_F(ProtectedFileDefaultsTest, AFileHandedBackWhileTheSettingsLiveIsTaken) {
    if (!test::UnprivilegedUser::isRoot()) GTEST_SKIP() << "only root makes a file of another user";
    TAVRINE_SKIP_UNLESS_REACHABLE(directory.path());
    const QString folder = QFileInfo(path()).path();
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& each : {directory.path(), directory.filePath(u"config"_s), folder}) {
        ASSERT_TRUE(test::UnprivilegedUser::give(each));
    }
    directory.write(path(), R"({"size": 40, "theirs": "kept"})");
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0600), 0);
    std::optional<FileDefaults> defaults;
    {
        const test::UnprivilegedUser user;
        TAVRINE_SKIP_UNLESS_UNPRIVILEGED(user);
        test::CapturedWarnings warnings;
        defaults.emplace(path());
        EXPECT_TRUE(warnings.mention(u"left as it is"_s));
        defaults->setDouble(u"frame"_s, 1);
        EXPECT_FALSE(defaults->sync());
    }
    ASSERT_TRUE(test::UnprivilegedUser::give(path()));
    {
        const test::UnprivilegedUser user;
        defaults->setDouble(u"frame"_s, 2);
        EXPECT_TRUE(defaults->sync());
        defaults.reset();
    }
    EXPECT_EQ(directory.list(folder), QStringList{u"defaults.json"_s});
    const FileDefaults reread(path());
    EXPECT_EQ(reread.object(u"size"_s), DefaultsValue(40.0));
    EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"kept"_s));
    EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(2.0));
}

// What writes killed before they ended left beside the settings is removed at the start: the temporary
// files the writer names after the settings file, and nothing else.
TEST_F(FileDefaultsTest, AStartRemovesOnlyWhatInterruptedWritesLeft) {
    const QString folder = QFileInfo(path()).path();
    directory.write(path(), R"({"size": 40})");
    for (const QString& name : {u".defaults.json.tmp-a1B2c3"_s, u".defaults.json.tmp-ZZZZZZ"_s}) {
        directory.write(folder + u'/' + name, "{");
    }
    QStringList others{u".defaults.json.tmp-toolong"_s, u".defaults.json.tmp-abc"_s,
                       u"defaults.json.corrupt"_s,      u".reading-store.json.tmp-a1B2c3"_s,
                       u".defaults.json.tmp-folder"_s,  u".defaults.json.tmp-linked"_s};
    for (const QString& name : others.mid(0, 4)) directory.write(folder + u'/' + name, "x");
    ASSERT_TRUE(QDir(folder).mkdir(others.at(4)));
    ASSERT_TRUE(QFile::link(path(), folder + u'/' + others.at(5)));

    const FileDefaults defaults(path());
    EXPECT_EQ(defaults.object(u"size"_s), DefaultsValue(40.0));
    others.append(u"defaults.json"_s);
    others.sort();
    EXPECT_EQ(directory.list(folder), others);
}

// A link in the file's place that leads to no settings (a file that does not parse, or round a loop) is
// what moves aside at the first save: the file it leads to stays byte for byte, still opened as
// "defaults.json.corrupt", and the settings go into a regular file of their own, which the next start reads
// without a word. Stderr says so before it happens.
TEST_F(FileDefaultsTest, ALinkToNoSettingsIsKeptAsideAndWhatItLeadsToStaysWhole) {
    const QByteArray conflict = "{ \"reader.baseSeconds\": 0.25,\n<<<<<<< HEAD\n";
    const QString linked = directory.write(u"dots/tavrine.json"_s, conflict);
    const QString loop = directory.filePath(u"dots/loop.json"_s);
    ASSERT_TRUE(QFile::link(path(), loop));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).path()));
    for (const QString& leadsTo : {linked, loop}) {
        SCOPED_TRACE(leadsTo.toStdString());
        QFile::remove(path());
        QFile::remove(path() + u".corrupt");
        ASSERT_TRUE(QFile::link(leadsTo, path()));
        test::CapturedWarnings warnings;
        {
            FileDefaults defaults(path());
            EXPECT_EQ(defaults.object(u"reader.baseSeconds"_s), std::nullopt);
            defaults.setDouble(u"size"_s, 20);
            ASSERT_TRUE(defaults.sync());
        }
        ASSERT_EQ(warnings.messages().size(), 1) << warnings.messages().join(u'\n').toStdString();
        EXPECT_TRUE(warnings.mention(u"the link is kept as %1.corrupt"_s.arg(path())));
        EXPECT_EQ(QFileInfo(path() + u".corrupt").symLinkTarget(), leadsTo);
        EXPECT_FALSE(QFileInfo(path()).isSymLink());
        test::CapturedWarnings nextStart;
        EXPECT_EQ(FileDefaults(path()).object(u"size"_s), DefaultsValue(20.0));
        EXPECT_TRUE(nextStart.messages().isEmpty()) << nextStart.messages().join(u'\n').toStdString();
        if (leadsTo == linked) {
            EXPECT_EQ(directory.read(path() + u".corrupt"), conflict);
        }
    }
    EXPECT_EQ(directory.read(linked), conflict);
}

// The file as other writers leave it while the settings live (an editor, a merge in a dotfiles folder, a link
// swapped or moved back): each write looks at it again first. One that no longer parses is kept aside under
// the first free name, the one stderr gives, with the person's bytes whole and an earlier copy (a read-only
// one too) untouched, and the settings held here go into a file of their own; one that parses keeps the
// person's entries, with only what was changed here since the last write put over them.
TEST_F(FileDefaultsTest, WhatAnotherWriterLeavesIsTakenOrKeptAsideNeverWrittenOver) {
    const QByteArray conflict = "{ \"reader.baseSeconds\": 0.15,\n<<<<<<< HEAD\n";
    const QString aside = path() + u".corrupt"_s;
    FileDefaults defaults(path());
    defaults.setDouble(u"reader.baseSeconds"_s, 0.2);
    defaults.setBool(u"flag"_s, true);
    ASSERT_TRUE(defaults.sync());
    const auto frame = [&defaults](double value) {
        test::CapturedWarnings warnings;
        defaults.setDouble(u"frame"_s, value);
        EXPECT_TRUE(defaults.sync());
        return warnings.messages();
    };

    // Saved half typed, in place.
    directory.write(path(), conflict);
    QStringList said = frame(1);
    ASSERT_EQ(said.size(), 1) << said.join(u'\n').toStdString();
    EXPECT_TRUE(said.first().contains(u"the file is kept as %1 when"_s.arg(aside))) << said.first().toStdString();
    EXPECT_EQ(directory.read(aside), conflict);
    {
        const FileDefaults reread(path());
        EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(1.0));
        EXPECT_EQ(reread.object(u"reader.baseSeconds"_s), DefaultsValue(0.2));
    }

    // A link swapped in, to a dotfile in conflict; the earlier copy made read-only.
    ASSERT_EQ(::chmod(QFile::encodeName(aside).constData(), 0444), 0);
    const QString dotfile = directory.write(u"dots/tavrine.json"_s, conflict + "=======\n");
    QFile::remove(path());
    ASSERT_TRUE(QFile::link(dotfile, path()));
    said = frame(2);
    ASSERT_EQ(said.size(), 1) << said.join(u'\n').toStdString();
    EXPECT_TRUE(said.first().contains(u"the link is kept as %1-2 when"_s.arg(aside))) << said.first().toStdString();
    EXPECT_EQ(directory.read(aside), conflict);
    EXPECT_EQ(QFileInfo(aside + u"-2").symLinkTarget(), dotfile);
    EXPECT_EQ(directory.read(dotfile), conflict + "=======\n");
    EXPECT_EQ(FileDefaults(path()).object(u"frame"_s), DefaultsValue(2.0));

    // The conflict resolved and the link moved back, as that name lets a person do: written through.
    directory.write(dotfile, R"({"reader.baseSeconds": 0.15, "theirs": "kept"})");
    ASSERT_EQ(::rename(QFile::encodeName(aside + u"-2").constData(), QFile::encodeName(path()).constData()), 0);
    EXPECT_TRUE(frame(3).isEmpty());
    EXPECT_EQ(QFileInfo(path()).symLinkTarget(), dotfile);
    {
        const FileDefaults reread(dotfile);
        EXPECT_EQ(reread.object(u"reader.baseSeconds"_s), DefaultsValue(0.15));
        EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"kept"_s));
        EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(3.0));
        EXPECT_EQ(reread.object(u"flag"_s), std::nullopt);  // the file chosen holds none
    }

    // An edit of other entries and of one changed here too: theirs stay, the one changed here is this one's.
    directory.write(dotfile, R"({"reader.baseSeconds": 0.3, "theirs": "edited", "frame": 9})");
    EXPECT_TRUE(frame(4).isEmpty());
    const FileDefaults reread(path());
    EXPECT_EQ(reread.object(u"reader.baseSeconds"_s), DefaultsValue(0.3));
    EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"edited"_s));
    EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(4.0));
    EXPECT_EQ(directory.list(QFileInfo(path()).path()), (QStringList{u"defaults.json"_s, u"defaults.json.corrupt"_s}));
}

// Settings whose writes let the test act as another writer at the moments a write cannot see: while the new
// file is written and synced (`during` once, `duringEach` at every write), in the instant between the last
// look and the rename (`afterTheLook`, once), right after each rename (`afterEachRename`), and in the pauses
// before a changed file that holds no settings is looked at again (`inPause` once, `atPause` with the
// count of pauses so far). They run on the settings' writer thread.
class SharedFileDefaultsTest : public FileDefaultsTest {
protected:
    FileDefaults::Steps steps() {
        FileDefaults::Steps made;
        made.replaceFile = [this](const QString& file, const std::function<bool(FileContents&)>& produce,
                                  const SharedFileCheck& check) {
            const auto producing = [&](FileContents& contents) {
                const bool whole = produce(contents);
                if (during) std::exchange(during, {})();
                if (duringEach) duringEach();
                return whole;
            };
            SharedFileCheck late = check;
            late.isUnchanged = [&] {
                const bool unchanged = check.isUnchanged();
                if (afterTheLook) std::exchange(afterTheLook, {})();
                return unchanged;
            };
            auto replaced = replaceFileAtomically(file, producing, late);
            if (replaced && afterEachRename) afterEachRename();
            return replaced;
        };
        made.pause = [this] {
            ++pauses;
            if (inPause) std::exchange(inPause, {})();
            if (atPause) atPause(pauses);
        };
        return made;
    }
    // Another writer's save as editors and sync tools make it: a whole new file renamed over the old one.
    void replaceFile(const QByteArray& contents) {
        const QString other = directory.write(u"other.json"_s, contents);
        ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path()).constData()), 0);
    }

    std::function<void()> during;
    std::function<void()> duringEach;
    std::function<void()> afterTheLook;
    std::function<void()> afterEachRename;
    std::function<void()> inPause;
    std::function<void(int)> atPause;
    std::atomic<int> pauses = 0;
};

// A save by another writer that lands while this one's new file is written and synced, or in the instant
// after the last look: one that parses is taken, its entries kept under the one set here; one that does not
// is kept aside under the name stderr gives, with the other writer's bytes, and the settings go into a file
// of their own.
TEST_F(SharedFileDefaultsTest, ASaveThatLandsWhileTheFileIsWrittenIsTakenOrKeptAside) {
    FileDefaults defaults(path(), steps());
    defaults.setDouble(u"reader.baseSeconds"_s, 0.2);
    ASSERT_TRUE(defaults.sync());

    test::CapturedWarnings warnings;
    during = [this] { replaceFile(R"({"reader.baseSeconds": 0.3, "theirs": "kept"})"); };
    defaults.setDouble(u"frame"_s, 1);
    EXPECT_TRUE(defaults.sync());
    afterTheLook = [this] { replaceFile(R"({"reader.baseSeconds": 0.3, "theirs": "kept", "late": true})"); };
    defaults.setDouble(u"frame"_s, 1.5);
    EXPECT_TRUE(defaults.sync());
    EXPECT_FALSE(during || afterTheLook);
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join(u'\n').toStdString();
    EXPECT_EQ(directory.list(QFileInfo(path()).path()), QStringList{u"defaults.json"_s});
    {
        const FileDefaults reread(path());
        EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"kept"_s));
        EXPECT_EQ(reread.object(u"late"_s), DefaultsValue(true));
        EXPECT_EQ(reread.object(u"reader.baseSeconds"_s), DefaultsValue(0.3));
        EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(1.5));
    }

    const QByteArray conflict = "{ \"reader.baseSeconds\": 0.15,\n<<<<<<< HEAD\n";
    during = [&] { replaceFile(conflict); };
    defaults.setDouble(u"frame"_s, 2);
    EXPECT_TRUE(defaults.sync());
    EXPECT_EQ(pauses, 1);
    ASSERT_EQ(warnings.messages().size(), 1) << warnings.messages().join(u'\n').toStdString();
    EXPECT_TRUE(warnings.mention(u"was changed and now is not a JSON object"_s));
    EXPECT_TRUE(warnings.mention(u"the file is kept as %1.corrupt when"_s.arg(path())));
    EXPECT_EQ(directory.read(path() + u".corrupt"), conflict);
    {
        const FileDefaults reread(path());
        EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(2.0));
        EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"kept"_s));
    }

    // A writer that saves during every try: none of its saves is replaced, the write fails and says so, and
    // once it is quiet the next write keeps both sides.
    int saves = 0;
    duringEach = [&] { replaceFile(u"{\"theirs\": %1}"_s.arg(++saves).toUtf8()); };
    defaults.setDouble(u"frame"_s, 3);
    EXPECT_FALSE(defaults.sync());
    EXPECT_EQ(warnings.messages().size(), 2);
    EXPECT_TRUE(warnings.mention(u"another program changed it again"_s));
    EXPECT_EQ(FileDefaults(path()).object(u"theirs"_s), DefaultsValue(double(saves)));
    duringEach = {};
    EXPECT_TRUE(defaults.sync());
    const FileDefaults reread(path());
    EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(3.0));
    EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(double(saves)));
}

// A writer in place (an editor saving through a link) cuts the file, then writes it: a write that finds it
// empty looks again after the pause and takes what it holds then; one written again during the pause but
// still broken is looked at once more, and kept aside once it stood still, the bytes stderr speaks of.
TEST_F(SharedFileDefaultsTest, AFileCaughtMidWriteInPlaceIsJudgedOnlyAfterThePause) {
    FileDefaults defaults(path(), steps());
    defaults.setDouble(u"reader.baseSeconds"_s, 0.2);
    ASSERT_TRUE(defaults.sync());

    test::CapturedWarnings warnings;
    directory.write(path(), {});
    inPause = [this] { directory.write(path(), R"({"reader.baseSeconds": 0.3, "theirs": "kept"})"); };
    defaults.setDouble(u"frame"_s, 1);
    EXPECT_TRUE(defaults.sync());
    EXPECT_EQ(pauses, 1);
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join(u'\n').toStdString();
    EXPECT_EQ(directory.list(QFileInfo(path()).path()), QStringList{u"defaults.json"_s});
    {
        const FileDefaults reread(path());
        EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"kept"_s));
        EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(1.0));
    }

    directory.write(path(), {});
    inPause = [this] { directory.write(path(), "{ \"theirs\": "); };
    defaults.setDouble(u"frame"_s, 2);
    EXPECT_TRUE(defaults.sync());
    EXPECT_EQ(pauses, 3);
    ASSERT_EQ(warnings.messages().size(), 1) << warnings.messages().join(u'\n').toStdString();
    EXPECT_TRUE(warnings.mention(u"was changed and now is not a JSON object"_s));
    EXPECT_EQ(directory.read(path() + u".corrupt"), QByteArray("{ \"theirs\": "));
    EXPECT_EQ(FileDefaults(path()).object(u"frame"_s), DefaultsValue(2.0));
}

// A save that waits on a slow sync holds nothing of the main thread: the values change, and the event loop
// turns, while it waits; the changes made meanwhile go in one more save, the last value winning; and the end
// of the settings (as at quit) waits for the save under way and writes what came after it.
TEST_F(SharedFileDefaultsTest, TheMainThreadNeverWaitsForASaveAndNothingIsLostAtTheEnd) {
    QSemaphore synced;
    std::atomic<int> saves = 0;
    std::atomic<bool> savedOnTheMainThread = false;
    duringEach = [&] {
        if (isMainThread()) savedOnTheMainThread = true;
        ++saves;
        // A sync that ends when the test lets it (or, should it wait for the main thread, a while later).
        synced.tryAcquire(1, 10000);
    };
    std::optional<FileDefaults> defaults(std::in_place, path(), steps());
    int reports = 0;
    defaults->setKeepsChangesObserver([&] { ++reports; });
    defaults->setDouble(u"reader.baseSeconds"_s, 0.1);
    ASSERT_TRUE(test::processEventsUntil([&] { return saves == 1; }));
    for (const double seconds : {0.2, 0.3, 0.4}) {
        defaults->setDouble(u"reader.baseSeconds"_s, seconds);
        QCoreApplication::processEvents();
        EXPECT_EQ(defaults->object(u"reader.baseSeconds"_s), DefaultsValue(seconds));
    }
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(savedOnTheMainThread);
    synced.release(2);
    EXPECT_TRUE(defaults->sync());
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(defaults->writeCount(), 2);
    EXPECT_EQ(FileDefaults(path()).object(u"reader.baseSeconds"_s), DefaultsValue(0.4));

    defaults->setDouble(u"reader.baseSeconds"_s, 0.5);
    ASSERT_TRUE(test::processEventsUntil([&] { return saves == 3; }));
    defaults->setDouble(u"reader.baseSeconds"_s, 0.6);
    synced.release(2);
    defaults.reset();
    EXPECT_EQ(saves, 4);
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(FileDefaults(path()).object(u"reader.baseSeconds"_s), DefaultsValue(0.6));
}

// A tool that saves the file by reading it, changing an entry of its own and writing it back, right after
// each of this writer's saves: the file holds the values set here and the tool's own, which is a save that
// landed, not one overtaken: nothing is written again, nothing fails, nothing is said.
TEST_F(SharedFileDefaultsTest, AWriterThatKeepsTheValuesIsASaveThatLanded) {
    FileDefaults defaults(path(), steps());
    int toolSaves = 0;
    afterEachRename = [&] {
        QJsonObject entries = QJsonDocument::fromJson(*directory.read(path())).object();
        entries.insert(u"tool.count"_s, ++toolSaves);
        replaceFile(QJsonDocument(entries).toJson());
    };
    test::CapturedWarnings warnings;
    for (const double seconds : {0.2, 0.3}) {
        defaults.setDouble(u"reader.baseSeconds"_s, seconds);
        EXPECT_TRUE(defaults.sync());
    }
    EXPECT_TRUE(defaults.keepsChanges());
    EXPECT_EQ(defaults.writeCount(), 2);
    EXPECT_EQ(defaults.failedSaveCount(), 0);
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join(u'\n').toStdString();
    EXPECT_EQ(defaults.object(u"tool.count"_s), DefaultsValue(2.0));
    const FileDefaults reread(path());
    EXPECT_EQ(reread.object(u"reader.baseSeconds"_s), DefaultsValue(0.3));
    EXPECT_EQ(reread.object(u"tool.count"_s), DefaultsValue(2.0));
}

// An editor that cuts the file, then writes it through the same descriptor a second later, while a save
// looks at it: the file is taken once written, never kept aside. One that stays empty for 2 s is kept aside;
// should the editor write it after all (into the copy, through its descriptor), the next save takes its
// entries, says so, and nothing said is untrue.
TEST_F(SharedFileDefaultsTest, AnEmptyFileIsJudgedOnlyOnceItStoodStillAndAWrittenCopyIsTaken) {
    FileDefaults defaults(path(), steps());
    defaults.setDouble(u"reader.baseSeconds"_s, 0.2);
    ASSERT_TRUE(defaults.sync());
    const auto editorCuts = [this] {
        const int fd = ::open(QFile::encodeName(path()).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        return fd;
    };
    const auto editorWrites = [](int fd, const QByteArray& contents) {
        EXPECT_EQ(::write(fd, contents.constData(), size_t(contents.size())), contents.size());
        ::close(fd);
    };

    test::CapturedWarnings warnings;
    int editor = editorCuts();
    atPause = [&](int pause) {
        if (pause == 10) editorWrites(editor, R"({"reader.baseSeconds": 0.3, "theirs": "kept"})");
    };
    defaults.setDouble(u"frame"_s, 1);
    EXPECT_TRUE(defaults.sync());
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join(u'\n').toStdString();
    EXPECT_EQ(directory.list(QFileInfo(path()).path()), QStringList{u"defaults.json"_s});
    {
        const FileDefaults reread(path());
        EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"kept"_s));
        EXPECT_EQ(reread.object(u"reader.baseSeconds"_s), DefaultsValue(0.3));
        EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(1.0));
    }

    editor = editorCuts();
    atPause = {};
    pauses = 0;
    defaults.setDouble(u"frame"_s, 2);
    EXPECT_TRUE(defaults.sync());
    EXPECT_EQ(pauses, 20);
    ASSERT_EQ(warnings.messages().size(), 1) << warnings.messages().join(u'\n').toStdString();
    EXPECT_TRUE(warnings.mention(u"was changed and now is empty"_s));
    EXPECT_TRUE(warnings.mention(u"the file is kept as %1.corrupt when"_s.arg(path())));
    editorWrites(editor, R"({"reader.baseSeconds": 0.4, "theirs": "edited", "frame": 9})");
    defaults.setDouble(u"size"_s, 3);
    EXPECT_TRUE(defaults.sync());
    ASSERT_EQ(warnings.messages().size(), 2) << warnings.messages().join(u'\n').toStdString();
    EXPECT_TRUE(warnings.mention(u"kept as %1.corrupt was written"_s.arg(path())));
    EXPECT_EQ(defaults.object(u"theirs"_s), DefaultsValue(u"edited"_s));
    const FileDefaults reread(path());
    EXPECT_EQ(reread.object(u"reader.baseSeconds"_s), DefaultsValue(0.4));
    EXPECT_EQ(reread.object(u"theirs"_s), DefaultsValue(u"edited"_s));
    EXPECT_EQ(reread.object(u"frame"_s), DefaultsValue(2.0));
    EXPECT_EQ(reread.object(u"size"_s), DefaultsValue(3.0));
}

// What a person made of the settings file stays when it is written: a link in its place still leads to
// the file, which is the one replaced, and the file keeps who may read it.
TEST_F(FileDefaultsTest, ALinkInTheFilesPlaceAndTheFilesPermissionsStay) {
    const QString kept = directory.write(u"dotfiles/tavrine.json"_s, R"({"size": 40})");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).path()));
    ASSERT_TRUE(QFile::link(kept, path()));
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0644), 0);
    FileDefaults defaults(path());
    defaults.setDouble(u"size"_s, 41);
    ASSERT_TRUE(defaults.sync());
    EXPECT_EQ(QFileInfo(path()).symLinkTarget(), kept);
    EXPECT_EQ(FileDefaults(kept).object(u"size"_s), DefaultsValue(41.0));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(FileDefaultsLocation, LivesInTheApplicationsConfigurationFolder) {
    EXPECT_TRUE(FileDefaults::applicationFile().endsWith(u"/org.tavrine.Tavrine/defaults.json"_s));
}

}  // namespace
}  // namespace tavrine
