// SPDX-License-Identifier: MIT
// The sound device on SDL2's default audio output.
#pragma once

#include <memory>

#include "output/AudioDevice.h"

namespace tavolin::output {

// Blocks written are copied out in order by SDL's audio callback, silence
// fills the gaps, and a block is reported done once it has been copied out
// entirely. Notifications arrive on a thread of the device's own, never on
// SDL's audio thread, so a write from a Done notification cannot deadlock
// against SDL's device lock.
std::unique_ptr<AudioDevice> makeSdlAudioDevice();

// A factory for the player.
AudioDeviceFactory sdlAudioDeviceFactory();

}  // namespace tavolin::output
