#include "account/balance_query.h"

#include "common/charset_posix.h"
#include "common/heap_text.h"

#include <cstring>

void utf8_to_ansi(char* text)
{
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    size_t length = strlen(text);
    char* converted = convert_text(text, length, "UTF-8", locale_charset());
    if (converted != nullptr) {
        copy_text(text, converted, length + 1);
    }
    free_text(converted);
}
