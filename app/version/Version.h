// SPDX-License-Identifier: MIT
// The program's version as a bug report would quote it: the project's release number
// and, in a build from a git checkout, the commit (see cmake/WriteVersion.cmake).
#pragma once

namespace tavolin {

// "0.1.0", "0.1.0+g3bdd75d1a2" or "0.1.0+g3bdd75d1a2.dirty"; static storage.
const char* programVersion() noexcept;

}  // namespace tavolin
