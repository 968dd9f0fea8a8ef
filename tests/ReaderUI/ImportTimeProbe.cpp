// Prints the information sheet's import time of a reading imported at 2026-12-07 05:50:01.5 UTC, as
// the sheet shows it in this process's locale and time zone: the test of the process locale runs it under
// several LANG values.
#include "ReaderUI/Workspace/ReaderDocumentInformation.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    using namespace Qt::StringLiterals;
    QCoreApplication application(argc, argv);
    tavrine::SavedReading reading;
    reading.document.text = u"本文"_s;
    reading.importedAt = tavrine::Date::fromUnixSeconds(1'796'622'601.5);
    for (const auto& row : tavrine::ReaderDocumentInformation::make(reading, std::nullopt).rows) {
        if (row.label == u"取り込み日時"_s) std::printf("%s\n", row.value.toUtf8().constData());
    }
    return 0;
}
