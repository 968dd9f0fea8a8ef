#include "PelmoraMac/App/ReaderTrace.h"

#include "support/FullDisk.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <optional>
#include <string>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// The trace file is chosen once per process, so each test marks in a child process of its own. The child
// runs the test again from its start and ends through exit(), which runs no destructor: whatever the test
// made before the child's statement, the child would make again and leave behind. So the parent alone
// makes the folder and names the trace file in the environment while this object lives; the child, which
// finds it named, makes nothing and marks into the parent's file.
class ChildTraceFile {
public:
    static constexpr const char* kVariable = "TAVRINE_TRACE_TEST_FILE";

    static bool isChild() { return std::getenv(kVariable) != nullptr; }
    // In the child: marks into the file the parent named.
    static void mark(const char* name) {
        ::setenv("TAVRINE_TRACE_FILE", std::getenv(kVariable), 1);
        ReaderTrace::mark(name);
    }

    explicit ChildTraceFile(QString path) : m_path(std::move(path)) {
        ::setenv(kVariable, QFile::encodeName(m_path).constData(), 1);
    }
    ~ChildTraceFile() { ::unsetenv(kVariable); }
    ChildTraceFile(const ChildTraceFile&) = delete;
    ChildTraceFile& operator=(const ChildTraceFile&) = delete;

    QByteArray contents() const {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString m_path;
};

// A mark is written whole however long its name (a focus mark names a control by a reading's title).
TEST(ReaderTraceDeathTest, AMarkOfAnyLengthIsOneWholeLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string name = "focus 1 2 3 4 " + std::string(300, 'x') + "の操作";
    std::optional<test::TemporaryDirectory> folder;
    std::optional<ChildTraceFile> trace;
    if (!ChildTraceFile::isChild()) trace.emplace(folder.emplace().filePath(u"trace"_s));
    EXPECT_EXIT(
        {
            ChildTraceFile::mark(name.c_str());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    const QByteArray line = trace->contents();
    ASSERT_TRUE(line.endsWith('\n'));
    EXPECT_TRUE(line.startsWith(QByteArray::fromStdString(name + ' ')));
    EXPECT_EQ(line.count('\n'), 1);
}

// On a full disk a mark that only part of fits is left out whole: no cut mark is read (a focus mark with a
// shorter name), and the next mark that fits starts a line of its own.
TEST(ReaderTraceDeathTest, AMarkTheDiskTakesOnlyInPartIsLeftOut) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string cut = "focus 1 2 3 4 " + std::string(2 * test::FullDisk::kFallbackBytes, 'x');
    std::optional<test::TemporaryDirectory> folder;
    std::optional<test::FullDisk> disk;
    std::optional<ChildTraceFile> trace;
    if (!ChildTraceFile::isChild()) {
        folder.emplace();
        const QString mounted = folder->filePath(u"disk"_s);
        ASSERT_TRUE(QDir().mkpath(mounted));
        disk.emplace(mounted);
        folder->write(u"disk/trace"_s, "main 1\n");
        trace.emplace(mounted + u"/trace"_s);
        disk->fill();
    }
    SCOPED_TRACE(disk ? disk->way() : std::string());
    EXPECT_EXIT(
        {
            ChildTraceFile::mark(cut.c_str());
            ChildTraceFile::mark("idle");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    disk->makeRoom();
    const QByteArrayList lines = trace->contents().split('\n');
    ASSERT_EQ(lines.size(), 3) << trace->contents().left(100).toStdString();
    EXPECT_EQ(lines[0], "main 1");
    EXPECT_TRUE(lines[1].startsWith("idle ")) << lines[1].left(100).toStdString();
    EXPECT_TRUE(lines[2].isEmpty());
}

// Each key press that reaches a window is marked once, with the modifiers held: a key a shortcut takes (it never
// comes as a key press), a key that comes as a key press after its shortcut override, and a modifier pressed
// alone, by its own name.
TEST(ReaderTraceDeathTest, EachKeyPressIsMarkedOnceShortcutsIncluded) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::optional<test::TemporaryDirectory> folder;
    std::optional<ChildTraceFile> trace;
    if (!ChildTraceFile::isChild()) trace.emplace(folder.emplace().filePath(u"trace"_s));
    EXPECT_EXIT(
        {
            ::setenv("TAVRINE_TRACE_FILE", std::getenv(ChildTraceFile::kVariable), 1);
            int played = 0;
            {
                QWidget window;
                auto* play = new QAction(&window);
                play->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Return));
                window.addAction(play);
                QObject::connect(play, &QAction::triggered, [&] { ++played; });
                const auto marks = ReaderTrace::inputMarks();
                qApp->installEventFilter(marks.get());
                window.show();
                if (!QTest::qWaitForWindowExposed(&window)) std::exit(2);
                QTest::keyClick(window.windowHandle(), Qt::Key_Return, Qt::ControlModifier);
                QTest::keyClick(window.windowHandle(), Qt::Key_A);
                QTest::keyClick(window.windowHandle(), Qt::Key_A);
                QTest::keyPress(window.windowHandle(), Qt::Key_Alt);
            }
            std::exit(played == 1 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    QByteArrayList names;
    for (const QByteArray& line : trace->contents().split('\n')) {
        if (!line.isEmpty()) names.append(line.left(line.lastIndexOf(' ')));
    }
    EXPECT_EQ(names, QByteArrayList({"key Control", "key Ctrl+Return", "key A", "key A", "key Alt"}));
}

}  // namespace
}  // namespace tavrine
