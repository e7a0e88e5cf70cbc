// Windows side of the user interface helpers.
#pragma once

#include "common/ui.h"

// The title or content of a window in a fresh buffer of its length + 1, or null.
char* window_text_copy(WindowHandle window);
