// Start-up of the run-time services: the one application object of the process.
#include <QApplication>

#include "platform/userint.h"

int InitRunTimeEngine(void* /*reserved*/, char** argv, void* /*reserved2*/) {
    if (QApplication::instance() != nullptr) return 1;
    // QApplication keeps references to argc and argv for its whole life.
    static int gArgc = 0;
    static char* gFallback[] = {const_cast<char*>("kwd2steuerung"), nullptr};
    char** arguments = argv != nullptr && argv[0] != nullptr ? argv : gFallback;
    gArgc = 0;
    while (arguments[gArgc] != nullptr) ++gArgc;
    // Never destroyed: panels live until the process ends, and tearing the application object
    // down at exit before them (static destruction order) crashes in Qt.
    static QApplication* gApplication = nullptr;
    gApplication = new QApplication(gArgc, arguments);
    QApplication::setQuitOnLastWindowClosed(false);
    return gApplication != nullptr ? 1 : 0;
}
