#include "shell/tray_icon.h"

void repeat_slow_calls(unsigned operation, TrayRecord* record, TrayCall call, TickSource ticks)
{
    for (unsigned calls = 0; calls < max_tray_calls; ++calls) {
        uint32_t start = ticks();
        call(operation, record);
        // Unsigned difference: right across a wrap of the tick count too.
        if (static_cast<uint32_t>(ticks() - start) <= slow_tray_call_ms) {
            return;
        }
    }
}
