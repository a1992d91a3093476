// Panel definitions of the resource "kwd2Steuerung.ui".
#include "ui/kwd2Steuerung.h"

void RegisterKwd2SteuerungResource() {}
