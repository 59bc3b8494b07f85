// SPDX-License-Identifier: MIT
// The web engine writes WAV files only: the compressed types need libsndfile,
// which the browser build leaves out. The exporter asks for them only when
// told to write one, and then reports that the file could not be written.
#include <cerrno>

#include "output/AudioFile.h"

namespace tavolin::output {

std::unique_ptr<SampleSink> openSndfileSink(OutputFile&, AudioFileType, uint32_t) {
    errno = ENOTSUP;
    return nullptr;
}

}  // namespace tavolin::output
