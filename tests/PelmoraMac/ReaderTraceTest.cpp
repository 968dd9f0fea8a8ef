#include "PelmoraMac/App/ReaderTrace.h"

#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QFile>

#include <cstdlib>
#include <string>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// A mark is written whole however long its name (a focus mark names a control by a reading's title), in a
// process of its own, since the trace file is chosen once per process.
TEST(ReaderTraceDeathTest, AMarkOfAnyLengthIsOneWholeLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test again from its start: it writes where the parent's folder is.
    test::TemporaryDirectory folder;
    if (!std::getenv("TAVRINE_TRACE_TEST_FILE"))
        ::setenv("TAVRINE_TRACE_TEST_FILE", QFile::encodeName(folder.filePath(u"trace"_s)).constData(), 1);
    const QString path = QFile::decodeName(std::getenv("TAVRINE_TRACE_TEST_FILE"));
    const std::string name = "focus 1 2 3 4 " + std::string(300, 'x') + "の操作";
    EXPECT_EXIT(
        {
            ::setenv("TAVRINE_TRACE_FILE", QFile::encodeName(path).constData(), 1);
            ReaderTrace::mark(name.c_str());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray line = file.readAll();
    ASSERT_TRUE(line.endsWith('\n'));
    EXPECT_TRUE(line.startsWith(QByteArray::fromStdString(name + ' ')));
    EXPECT_EQ(line.count('\n'), 1);
    ::unsetenv("TAVRINE_TRACE_TEST_FILE");
}

}  // namespace
}  // namespace tavrine
