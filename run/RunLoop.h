#pragma once
#include "ui/AnsiString.h"

// Run mode: covers the screen and runs the selected savers until the user ends one.
void RunSaverLoop(const AnsiString& cmdLine);
