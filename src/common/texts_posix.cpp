#include "common/texts.h"

#include "common/charset_posix.h"
#include "common/heap_text.h"


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

const unsigned block_count = 1;  // the catalogue fills the first block of 16
}  // namespace

char* load_text(unsigned id)
{
    if (id / 16 >= block_count) {
        return nullptr;
    }
    for (const CatalogueEntry& entry : catalogue) {
        if (entry.id == id) {
            return utf8_to_locale(entry.text);
        }
    }
    return alloc_text(1);
}
