#include "sim/kwd2sim.h"
