// SPDX-License-Identifier: MIT
// Start-up of the GUI: application, fonts, main window, optional file, the event loop.
#include "app/qt/CTavolinApp.h"

#include <cstdio>
#include <string_view>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFont>
#include <QTimer>

#include "app/qt/Language.h"
#include "app/qt/Resources.h"
#include "app/qt/TavolinWindow.h"
#include "app/version/Version.h"

namespace tavolin::qt {

namespace {

// Reports the time from start-up to the window's first paint and/or saves a picture
// of the window once it has painted, then quits.
class FirstPaintProbe : public QObject {
public:
    FirstPaintProbe(const QElapsedTimer& clock, QWidget& window, bool timing, QString screenshot)
        : m_clock(clock), m_window(window), m_timing(timing), m_screenshot(std::move(screenshot)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            if (m_timing) {
                // Since main() and, for callers that time the whole process launch,
                // the wall clock of the first paint.
                std::printf("startup-ms: %lld\npaint-epoch-ns: %lld\n", static_cast<long long>(m_clock.elapsed()),
                            static_cast<long long>(QDateTime::currentMSecsSinceEpoch()) * 1000000LL);
                std::fflush(stdout);
            }
            // Let the first paint finish (and late layout settle) before the picture.
            QTimer::singleShot(m_screenshot.isEmpty() ? 0 : 500, qApp, [this] {
                if (!m_screenshot.isEmpty() && !m_window.grab().save(m_screenshot)) {
                    std::fprintf(stderr, "tavolin: cannot write %s\n", qPrintable(m_screenshot));
                    QCoreApplication::exit(1);
                    return;
                }
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& m_clock;
    QWidget& m_window;
    bool m_timing;
    QString m_screenshot;
    bool m_done = false;
};

}  // namespace

int CTavolinApp::InitInstance(int argc, char** argv, const ServicesFactory& makeServices) {
    QElapsedTimer clock;
    clock.start();
    // Answered before Qt starts: they need no display, and without one QApplication would abort.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("tavolin %s\n", programVersion());
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("usage: tavolin [--startup-timing] [--screenshot PNG] [--version] [FILE]\n");
            return 0;
        }
    }
    QApplication app(argc, argv);
    // QSettings keeps ~/.config/tavolin/TavolinApp.conf.
    QApplication::setOrganizationName(QStringLiteral("tavolin"));
    QApplication::setApplicationName(QString::fromUtf8(window::kAppName));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setDesktopFileName(QStringLiteral("tavolin"));
    QApplication::setWindowIcon(applicationIcon());

    bool timing = false;
    QString screenshot;
    QString file;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--startup-timing")) timing = true;
        else if (args[i] == QStringLiteral("--screenshot") && i + 1 < args.size()) screenshot = args[++i];
        else file = args[i];
    }

    // Pictures and timing runs follow the locale alone, like a first start.
    const bool firstStart = timing || !screenshot.isEmpty();
    const LanguageChoice choice = firstStart ? LanguageChoice::Auto : storedLanguageChoice();
    if (!applyLanguage(resolveLanguage(choice, languageFromEnvironment())))
        std::fprintf(stderr, "tavolin: a translation file is missing; some texts stay untranslated\n");

    TavolinWindow window;
    if (makeServices) window.setServices(makeServices(window));
    FirstPaintProbe probe(clock, window, timing, screenshot);
    if (timing || !screenshot.isEmpty()) window.installEventFilter(&probe);
    // Timing runs and pictures show the window as it starts for anyone: no remembered
    // size, no recovery question.
    const bool probing = timing || !screenshot.isEmpty();
    if (!probing) window.useSettings();
    if (!file.isEmpty()) window.model().openFile(file.toStdString());
    window.show();
    // Once the window shows: documents left behind by a crashed or killed window.
    if (!probing) QTimer::singleShot(0, &window, [&window] { window.model().offerRecovery(); });
    return QApplication::exec();
}

}  // namespace tavolin::qt
