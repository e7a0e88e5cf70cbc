// Messages of the Linux edition through gettext: English in the code, the
// Russian catalogue (po/ru.po) for a Russian locale.
#pragma once

// Marks a message for xgettext where it is defined; translate() is called where
// it is shown.
#define N_(text) text

// `message` in the user's language and the locale's charset (gettext converts);
// the English text itself when the locale is not Russian or no catalogue is found.
const char* translate(const char* message);

// The same in UTF-8 whatever the locale's charset (the tray program's texts on
// the bus and in GTK), in a fresh heap text; null when memory runs out.
char* translate_utf8(const char* message);

// load_text's text in UTF-8 whatever the locale's charset; null as load_text.
char* load_text_utf8(unsigned id);
