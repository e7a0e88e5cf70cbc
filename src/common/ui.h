// Message boxes and window texts.
#pragma once

#include "common/app_state.h"

#include <cstdint>

enum BoxIcon : unsigned {
    BOX_ERROR = 16,        // MB_ICONERROR
    BOX_INFORMATION = 64,  // MB_ICONINFORMATION
};

const int BOX_PRESSED_OK = 1;  // IDOK

// Passes catalogue text `id` where message_box expects a text.
inline const char* catalogue_ref(unsigned id)
{
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(id));
}

// Shows `text` (or the catalogue text that catalogue_ref names) captioned with
// the owner's title; task-modal, foreground and topmost.  Returns the button
// pressed, or 0 when nothing was shown (a catalogue text that cannot be loaded).
// On Linux the text goes to the terminal: errors to stderr, the rest to stdout.
int message_box(WindowHandle owner, const char* text, unsigned icon);

// Platform side of message_box: shows a loaded text.
int show_box(WindowHandle owner, const char* text, unsigned icon);
