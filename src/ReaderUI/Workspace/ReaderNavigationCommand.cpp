#include "ReaderUI/Workspace/ReaderNavigationCommand.h"

namespace tavrine {

using namespace Qt::StringLiterals;
using Command = ReaderNavigationCommand;

QString ReaderNavigationCommands::title(Command command) {
    switch (command) {
    case Command::backSentence: return u"文の先頭へ戻る"_s;
    case Command::forwardSentence: return u"次の文へ"_s;
    case Command::backChapter: return u"章の先頭へ戻る"_s;
    case Command::forwardChapter: return u"次の章へ"_s;
    }
    return {};
}

QString ReaderNavigationCommands::explanation(Command command) {
    switch (command) {
    case Command::backSentence: return u"現在の文の先頭へ戻って一時停止します。先頭にいるときは前の文へ戻ります"_s;
    case Command::forwardSentence: return u"次の文の先頭へ移動して一時停止します"_s;
    case Command::backChapter:
        return u"現在の章の先頭へ戻って一時停止します。先頭にいるときは前の章へ戻ります。目次の章・節を使います"_s;
    case Command::forwardChapter: return u"次の章の先頭へ移動して一時停止します。目次の章・節を使います"_s;
    }
    return {};
}

QString ReaderNavigationCommands::symbol(Command command) {
    switch (command) {
    case Command::backSentence: return u"chevron.left"_s;
    case Command::forwardSentence: return u"chevron.right"_s;
    case Command::backChapter: return u"backward.end.fill"_s;
    case Command::forwardChapter: return u"forward.end.fill"_s;
    }
    return {};
}

QString ReaderNavigationCommands::helpText(Command command) {
    return title(command) + u"："_s + explanation(command);
}

}  // namespace tavrine
