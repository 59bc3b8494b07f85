// SPDX-License-Identifier: MIT
// The application object: starts Qt, runs the main window, ends with it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "window/CTavolinDlg.h"

namespace tavolin::qt {

class TavolinWindow;

// Makes the layers below for a window (playback, export, documents). The GUI
// executable passes the SDL sound device; tests pass a virtual one.
using ServicesFactory = std::function<std::unique_ptr<window::WindowServices>(TavolinWindow&)>;

class CTavolinApp {
public:
    // Command line: tavolin [--startup-timing] [--screenshot PNG] [--version] [FILE]
    int InitInstance(int argc, char** argv, const ServicesFactory& makeServices);
};

}  // namespace tavolin::qt
