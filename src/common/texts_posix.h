// Messages of the Linux edition through gettext: English in the code, the
// Russian catalogue (po/ru.po) for a Russian locale.
#pragma once

// Marks a message for xgettext where it is defined; translate() is called where
// it is shown.
#define N_(text) text

// `message` in the user's language and the locale's charset (gettext converts);
// the English text itself when the locale is not Russian or no catalogue is found.
const char* translate(const char* message);
