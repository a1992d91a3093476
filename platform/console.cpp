#include "platform/console.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>

int InitConsoleRuntime(char** argv) {
    if (QCoreApplication::instance() != nullptr) return 1;
    static int gArgc = 0;
    static char* gFallback[] = {const_cast<char*>("kwd2ctl"), nullptr};
    char** arguments = argv != nullptr && argv[0] != nullptr ? argv : gFallback;
    gArgc = 0;
    while (arguments[gArgc] != nullptr) ++gArgc;
    // Lives until the process ends, like the windowed program's application object.
    static QCoreApplication* gApplication = nullptr;
    gApplication = new QCoreApplication(gArgc, arguments);
    return gApplication != nullptr ? 1 : 0;
}

int PutEnv(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) return 0;
    return qputenv(name, QByteArray(value)) ? 1 : 0;
}
