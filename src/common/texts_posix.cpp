#include "common/texts.h"
#include "common/texts_posix.h"

#include "common/charset_posix.h"
#include "common/heap_text.h"

#include <cstring>
#include <libintl.h>

namespace {
struct CatalogueEntry {
    unsigned id;
    const char* text;
};

#define TEXT_ENTRY(id, text) {id, text},
const CatalogueEntry catalogue[] = {
#include "texts.inc"
};
#undef TEXT_ENTRY

// The texts a user reads, in English; their Russian in po/ru.po is the Windows
// catalogue's text, word for word.  The rest of the catalogue (title, hosts,
// request formats) is used as it stands.
const CatalogueEntry messages[] = {
    {TEXT_BAD_CREDENTIALS, N_("Wrong contract number and/or password!")},
    {TEXT_CONNECTION_ERROR, N_("Cannot connect to the server!")},
    {TEXT_TLS_DISABLED, N_("TLS must be enabled to connect to the server!\n"
                           "Start - Settings - Control Panel - Internet Options - Advanced - TLS 1.0")},
    {TEXT_HASH_ERROR, N_("Error computing the hash: %lu")},
    {TEXT_BALANCE_TEMPLATE, N_("Balance (roubles): #balance$\nDays of subscription fee (approx.): #balanceInfo$")},
};

const unsigned block_count = 1;  // the catalogue fills the first block of 16

char* copy_of(const char* text)
{
    size_t size = strlen(text) + 1;
    char* copy = alloc_text(size);
    if (copy != nullptr) {
        memcpy(copy, text, size);
    }
    return copy;
}
}  // namespace

const char* translate(const char* message)
{
    bindtextdomain("tarvelon", TARVELON_LOCALEDIR);
    return dgettext("tarvelon", message);
}

char* translate_utf8(const char* message)
{
    const char* text = translate(message);
    return convert_text(text, strlen(text), locale_charset(), "UTF-8");
}

namespace {
char* load_text_as(unsigned id, bool utf8)
{
    if (id / 16 >= block_count) {
        return nullptr;
    }
    for (const CatalogueEntry& entry : messages) {
        if (entry.id == id) {
            return utf8 ? translate_utf8(entry.text) : copy_of(translate(entry.text));
        }
    }
    for (const CatalogueEntry& entry : catalogue) {
        if (entry.id == id) {
            return utf8 ? copy_of(entry.text) : utf8_to_locale(entry.text);
        }
    }
    return alloc_text(1);
}
}  // namespace

char* load_text(unsigned id)
{
    return load_text_as(id, false);
}

char* load_text_utf8(unsigned id)
{
    return load_text_as(id, true);
}
