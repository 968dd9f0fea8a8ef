#pragma once

#include <QIcon>

namespace tavrine {

// Tavrine's own icon, the one the installed desktop entry names (org.tavrine.Tavrine): every window and
// the tray icon carry it. Drawn on an opaque tile, so that it reads on light and dark panels alike. It
// holds one image per size it was rendered at (16 to 256 pixels); a size between two is scaled down from
// the larger. Main thread.
QIcon applicationIcon();

}  // namespace tavrine
