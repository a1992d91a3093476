#include "platform/console.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>

int InitConsoleRuntime(char** argv) {
    if (QCoreApplication::instance() != nullptr) return 1;
    static int argc = 0;
    static char* fallback[] = {const_cast<char*>("kwd2ctl"), nullptr};
    char** arguments = argv != nullptr && argv[0] != nullptr ? argv : fallback;
    argc = 0;
    while (arguments[argc] != nullptr) ++argc;
    // Lives until the process ends, like the windowed program's application object.
    static QCoreApplication* application = nullptr;
    application = new QCoreApplication(argc, arguments);
    return application != nullptr ? 1 : 0;
}

int PutEnv(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) return 0;
    return qputenv(name, QByteArray(value)) ? 1 : 0;
}
