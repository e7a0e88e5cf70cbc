// Entry point, the hidden main window and its commands.
#pragma once

#include "common/app_state.h"

[[noreturn]] void program_entry();
void open_in_shell(WindowHandle owner, const char* target);
void drop_to_bottom(WindowHandle window);
