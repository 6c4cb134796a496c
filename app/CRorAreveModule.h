#pragma once
#include "ui/CAtlModule.h"

// The application module object: exactly one per process, alive around WinMain.
class CRorAreveModule : public CAtlExeModuleT<CRorAreveModule> { };
