#include "PelmoraMac/Capture/CaptureModel.h"

namespace tavrine {
using namespace Qt::StringLiterals;

CaptureModel::CaptureModel(ReadingPlayer* player)
    : m_player(player),
      m_frontmostShortcutLabel(u"Meta+Ctrl+Alt+R"_s),
      m_clipboardShortcutLabel(u"Meta+Ctrl+Alt+V"_s) {}

}  // namespace tavrine
