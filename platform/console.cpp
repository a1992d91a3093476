// Start-up of the run-time services: the one application object of the process, with windows
// (the panels) or without (kwd2ctl).
#include "platform/console.h"

#include <QApplication>
#include <QtCore/QByteArray>
#include <thread>

#if defined(KWD2_HAVE_FONTCONFIG)
#include <fontconfig/fontconfig.h>
#endif

#include "platform/userint.h"

namespace {

template <typename App>
int StartApplication(char** argv, const char* fallbackName) {
    // The application object keeps references to argc and argv for its whole life.
    static int gArgc = 0;
    static char* gFallback[] = {const_cast<char*>(fallbackName), nullptr};
    char** arguments = argv != nullptr && argv[0] != nullptr ? argv : gFallback;
    gArgc = 0;
    while (arguments[gArgc] != nullptr) ++gArgc;
    // Never destroyed: panels live until the process ends, and tearing the application object
    // down at exit before them (static destruction order) crashes in Qt.
    static App* gApplication = nullptr;
    gApplication = new App(gArgc, arguments);
    return gApplication != nullptr ? 1 : 0;
}

}  // namespace

int InitConsoleRuntime(char** argv) {
    if (QCoreApplication::instance() != nullptr) return 1;
    return StartApplication<QCoreApplication>(argv, "kwd2ctl");
}

int InitRunTimeEngine(void* /*reserved*/, char** argv, void* /*reserved2*/) {
    if (QApplication::instance() != nullptr) return 1;
#if defined(KWD2_HAVE_FONTCONFIG)
    // Reading the font configuration is the largest single cost before the first caption can
    // be measured, and the application object needs none of it: both run side by side. Qt's
    // own FcInit() later finds the configuration loaded. Joined before any font is touched, so
    // fontconfig never sees two first callers at once.
    std::thread fonts([] { FcInit(); });
    const int ok = StartApplication<QApplication>(argv, "kwd2steuerung");
    fonts.join();
#else
    const int ok = StartApplication<QApplication>(argv, "kwd2steuerung");
#endif
    QApplication::setQuitOnLastWindowClosed(false);
    return ok;
}

int PutEnv(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) return 0;
    return qputenv(name, QByteArray(value)) ? 1 : 0;
}
