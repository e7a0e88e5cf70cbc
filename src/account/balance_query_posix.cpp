#include "account/balance_query.h"

#include "common/charset_posix.h"
#include "common/heap_text.h"

#include <cstring>

void utf8_to_ansi(char* text)
{
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    char* converted = utf8_to_locale(text);
    if (converted != nullptr) {
        copy_text(text, converted, strlen(text) + 1);  // never grows the text
    }
    free_text(converted);
}
