#include "ReaderWidgets/Style/ApplicationIcon.h"

#include <array>

namespace tavrine {
using namespace Qt::StringLiterals;

QIcon applicationIcon() {
    // Files of the resource are read when a size is first painted, not here.
    QIcon icon;
    for (const int size : std::array{16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(u":/ApplicationIcon/%1.png"_s.arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace tavrine
