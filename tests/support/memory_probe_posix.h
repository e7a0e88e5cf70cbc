// From inside a Linux test program: secrets left in freed heap blocks and on the stack.
#pragma once

#include <string>
#include <vector>

// Looked for in every block the product frees: its free() is wrapped at link time (-Wl,--wrap=free).
extern std::vector<std::string> freed_secrets;
extern int freed_holding_secret;  // the blocks found holding one

// Whether the stack below the caller, as deep as this process ever used it, holds `secret`.
bool stack_holds(const std::string& secret);
