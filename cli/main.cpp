#include <iostream>
#include <string>
#include <vector>

#include "cli/kwd2ctl.h"
#include "platform/console.h"
#include "platform/stopsignal.h"

int main(int argc, char** argv) {
    InitConsoleRuntime(argv);
    StopSignal_Install();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return kwd2ctl::Run(args, std::cout, std::cerr);
}
