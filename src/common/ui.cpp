#include "common/ui.h"

#include "common/heap_text.h"
#include "common/texts.h"

int message_box(WindowHandle owner, const char* text, unsigned icon)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(text);
    if (value >= 65536) {
        return show_box(owner, text, icon);
    }
    // A catalogue text that cannot be loaded shows no box: an empty box would
    // tell the user nothing.
    char* loaded = load_text(static_cast<unsigned>(value));
    int pressed = loaded == nullptr ? 0 : show_box(owner, loaded, icon);
    free_text(loaded);
    return pressed;
}
