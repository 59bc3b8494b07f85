// SPDX-License-Identifier: MIT
// The tavolin window: Qt view, SDL sound device, documents on disk.
#include "app/qt/CTavolinApp.h"
#include "app/qt/TavolinWindow.h"
#include "window/WindowLayers.h"
#include "output/sdl/SdlAudioDevice.h"

int main(int argc, char** argv) {
    tavolin::qt::CTavolinApp app;
    return app.InitInstance(argc, argv, [](tavolin::qt::TavolinWindow& window) {
        return std::make_unique<tavolin::window::WindowLayers>(
            window.model(), tavolin::output::sdlAudioDeviceFactory(),
            std::make_unique<tavolin::document::RealFileSystem>(), tavolin::output::ExportOptions{},
            tavolin::window::defaultRecoverySetup());
    });
}
