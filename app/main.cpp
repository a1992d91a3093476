#include <iostream>

#include "app/kwd2Test.h"
#include "app/startoptionen.h"
#include "platform/userint.h"

int main(int argc, char* argv[]) {
    // Options first: --version and --help end here, before any window exists.
    if (const int status = StartOptionenAnwenden(&argc, argv, std::cout, std::cerr); status != START_WEITER) {
        return status;
    }
    if (ProgrammStarten(argc, argv) != 0) return -1;
    RunUserInterface();
    return 0;
}
