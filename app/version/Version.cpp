// SPDX-License-Identifier: MIT
// The version text, from the header each build writes; only this file recompiles when it changes.
#include "app/version/Version.h"

namespace tavolin {

const char* programVersion() noexcept {
    return
#include "TavolinVersion.inc"
        ;
}

}  // namespace tavolin
