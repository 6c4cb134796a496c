#include "run/RunLoop.h"

void RunSaverLoop(const AnsiString&) {}
