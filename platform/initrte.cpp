// Start-up of the run-time services: the one application object of the process.
#include <QApplication>

#include "platform/userint.h"

int InitRunTimeEngine(void* /*reserved*/, char** argv, void* /*reserved2*/) {
    if (QApplication::instance() != nullptr) return 1;
    // QApplication keeps references to argc and argv for its whole life.
    static int argc = 0;
    static char* fallback[] = {const_cast<char*>("kwd2steuerung"), nullptr};
    char** arguments = argv != nullptr && argv[0] != nullptr ? argv : fallback;
    argc = 0;
    while (arguments[argc] != nullptr) ++argc;
    // Never destroyed: panels live until the process ends, and tearing the application object
    // down at exit before them (static destruction order) crashes in Qt.
    static QApplication* application = nullptr;
    application = new QApplication(argc, arguments);
    QApplication::setQuitOnLastWindowClosed(false);
    return application != nullptr ? 1 : 0;
}
