#include "shell/main_window.h"

int main()
{
    program_entry();
}
