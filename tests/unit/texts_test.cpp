#include "common/charset_posix.h"
#include "common/heap_text.h"
#include "user_play.h"

#include <gtest/gtest.h>

TEST(Texts, RussianLocaleGetsTheWindowsTexts)
{
#define TEXT_ENTRY(id, text) EXPECT_EQ(text, catalogue_utf8(id)) << "text " << id;
#include "texts.inc"
#undef TEXT_ENTRY
}

// The tray's login dialog hands its UTF-8 entries on in Windows-1251.
TEST(ConvertText, FromTheFirstCharsetToTheSecond)
{
    char* converted = convert_text("\xD0\xB0\xD0\xB1", 4, "UTF-8", "WINDOWS-1251");
    EXPECT_STREQ("\xE0\xE1", converted);
    free_text(converted);
}
