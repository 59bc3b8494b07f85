// SPDX-License-Identifier: MIT
// The application icon, embedded in the binary.
#pragma once

#include <QIcon>

namespace tavolin::qt {

QIcon applicationIcon();

}  // namespace tavolin::qt
