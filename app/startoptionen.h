// Command-line options of kwd2steuerung. They are taken out of the argument list before the
// run mode is decided, so the access code still has to be the only argument left.
#pragma once

#include <ostream>

// Result of StartOptionenAnwenden when start-up goes on with the remaining arguments.
inline constexpr int START_WEITER = -1;

// Takes every known option out of argv and carries it out in order; argc shrinks, argv stays
// null-terminated and the other arguments keep their order. Returns START_WEITER, or the exit
// status to end with at once (after --version or --help: 0; an option that cannot be carried out:
// not 0, with the reason on `fehler`).
int StartOptionenAnwenden(int* argc, char* argv[], std::ostream& ausgabe, std::ostream& fehler);

// The file named by --record (made absolute before any option changes the working directory),
// or nullptr: start-up begins recording into it.
const char* StartOptionen_Aufzeichnung();
