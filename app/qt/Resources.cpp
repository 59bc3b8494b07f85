// SPDX-License-Identifier: MIT
// Loads the embedded application icon (PNG renderings of data/tavolin.svg).
#include "app/qt/Resources.h"

// The resources live in a static library; registering them by hand keeps the
// linker from dropping them.
static void registerResources() { Q_INIT_RESOURCE(tavolin); }

namespace tavolin::qt {

QIcon applicationIcon() {
    static const bool registered = (registerResources(), true);
    (void)registered;
    QIcon icon;
    icon.addFile(QStringLiteral(":/tavolin/tavolin-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/tavolin/tavolin-256.png"), QSize(256, 256));
    return icon;
}

}  // namespace tavolin::qt
