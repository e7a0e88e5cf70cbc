#include "account/settings.h"

#include "account/ini_file.h"
#include "common/heap_text.h"
#include "common/heap_text_posix.h"
#include "common/texts.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {
const char* settings_path = "Tarvelon.ini";
int store_result = SETTINGS_STORED;
int store_error = 0;

void note_store(int result, int error)
{
    store_result = result;
    store_error = error;
}

// The file holds the pass-hash, which is as good as the password.
void wipe_and_free(char* text)
{
    secure_wipe(text, text_capacity(text));
    free_text(text);
}
}  // namespace

void set_settings_path(const char* path)
{
    settings_path = path != nullptr ? path : "Tarvelon.ini";
}

void read_setting(const char* key, char* out, size_t size)
{
    char* text = ini_load(settings_path);
    ini_get(text, settings_section, key, out, size);
    wipe_and_free(text);
}

// Both keys go into the file in one replacement, so that no crash can leave a
// new username beside an old pass-hash.
void write_setting_pair(const char* username, const char* passhash)
{
    char* text = ini_load(settings_path);
    if (text == nullptr) {
        // Replacing it would lose what it holds.
        bool not_a_file = errno == ENOTSUP || errno == EISDIR;
        note_store(errno == EILSEQ ? SETTINGS_UNREPRESENTABLE
                   : not_a_file    ? SETTINGS_NOT_A_FILE
                                   : SETTINGS_UNREADABLE,
                   errno);
        return;
    }
    char* with_username = ini_set(text, settings_section, username_key, username);
    wipe_and_free(text);
    char* with_both = with_username != nullptr
        ? ini_set(with_username, settings_section, passhash_key, passhash)
        : nullptr;
    wipe_and_free(with_username);
    if (with_both == nullptr) {
        note_store(SETTINGS_WRITE_FAILED, ENOMEM);
    } else if (ini_replace(settings_path, with_both, strlen(with_both)) != 0) {
        note_store(SETTINGS_WRITE_FAILED, errno);
    } else {
        note_store(SETTINGS_STORED, 0);
    }
    wipe_and_free(with_both);
}

int settings_store_result(int* error)
{
    *error = store_error;
    return store_result;
}

unsigned tls_failure_text()
{
    return TEXT_CONNECTION_ERROR;
}

bool default_settings_path(char* out, size_t size)
{
    const char* config = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    int length = -1;
    if (config != nullptr && config[0] == '/') {
        length = snprintf(out, size, "%s/tarvelon/Tarvelon.ini", config);
    } else if (home != nullptr && home[0] != '\0') {
        length = snprintf(out, size, "%s/.config/tarvelon/Tarvelon.ini", home);
    }
    return length > 0 && static_cast<size_t>(length) < size;
}

void make_private_parent_dirs(const char* path)
{
    char dir[PATH_MAX];
    copy_text(dir, path, sizeof dir);
    for (char* slash = strchr(dir + 1, '/'); slash != nullptr; slash = strchr(slash + 1, '/')) {
        *slash = '\0';
        if (mkdir(dir, 0700) != 0 && errno != EEXIST) {
            return;
        }
        *slash = '/';
    }
}
