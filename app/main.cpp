#include "app/kwd2Test.h"
#include "platform/userint.h"

int main(int argc, char* argv[]) {
    if (ProgrammStarten(argc, argv) != 0) return -1;
    RunUserInterface();
    return 0;
}
