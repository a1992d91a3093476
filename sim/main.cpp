#include "sim/kwd2sim.h"
int main() { return 0; }
