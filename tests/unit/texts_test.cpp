// The Linux catalogue: a Russian locale reads the Windows catalogue's texts word for word, others English.
#include "common/heap_text.h"
#include "common/texts.h"
#include "user_play.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>

namespace {
struct WindowsText {
    unsigned id;
    const char* text;
};
#define TEXT_ENTRY(id, text) {id, text},
const WindowsText windows_texts[] = {
#include "texts.inc"
};
#undef TEXT_ENTRY

TEST(Texts, RussianLocaleGetsTheWindowsTextsOthersPlainEnglish)
{
    for (const WindowsText& entry : windows_texts) {
        EXPECT_EQ(entry.text, catalogue_utf8(entry.id)) << "text " << entry.id;
        for (const char* locale : {"C", "C.UTF-8"}) {
            ASSERT_NE(setlocale(LC_ALL, locale), nullptr) << locale << " is not installed";
            char* loaded = load_text(entry.id);
            std::string text = loaded != nullptr ? loaded : "";
            free_text(loaded);
            EXPECT_FALSE(text.empty()) << locale << ", text " << entry.id;
            for (char c : text) {
                ASSERT_TRUE(c == '\n' || (c >= ' ' && c < 0x7F)) << locale << ", text " << entry.id << ": " << text;
            }
            // A character the charset lacks would have become "?".
            std::string windows = entry.text;
            EXPECT_EQ(std::count(windows.begin(), windows.end(), '?'), std::count(text.begin(), text.end(), '?'))
                << locale << ", text " << entry.id << ": " << text;
        }
    }
}
}  // namespace
