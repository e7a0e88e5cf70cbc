// The settings file and the Balance command.
#pragma once

#include "common/app_state.h"

// Fills app_state.credentials from the settings file and validates them.
void read_settings();

// Validates app_state.credentials and, if both fields are non-empty, stores them.
void write_settings();

// One Balance request from start to end; every box is owned by `owner`.
void balance_command(WindowHandle owner);
