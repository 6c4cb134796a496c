#include "preview/RunPreview.h"

void RunPreview(HWND) {}
