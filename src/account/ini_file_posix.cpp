#include "account/ini_file.h"

#include "common/heap_text.h"

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const off_t largest_file = 1024 * 1024;  // far beyond any settings file
const char temporary_infix[] = ".new-";   // Tarvelon.ini.new-...: ours, holding a pass-hash
const time_t stale_seconds = 60;          // no writer of ours lives that long
const int link_hops = 40;

// The bytes read, at most `length`, or -1.  A file shorter than its size (one
// that shrank meanwhile, a sysfs file) is read as far as it goes.
ssize_t read_all(int fd, char* out, size_t length)
{
    size_t done = 0;
    while (done < length) {
        ssize_t got = read(fd, out + done, length - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0 ? static_cast<ssize_t>(done) : -1;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool write_all(int fd, const char* text, size_t length)
{
    size_t done = 0;
    while (done < length) {
        ssize_t put = write(fd, text + done, length - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

bool fill_temporary(int fd, const char* text, size_t length)
{
    return fchmod(fd, S_IRUSR | S_IWUSR) == 0 && write_all(fd, text, length) && fsync(fd) == 0;
}

char* directory_of(const char* path)
{
    size_t size = strlen(path) + 2;  // "." for ""
    char* copy = alloc_text(size);
    if (copy != nullptr) {
        copy_text(copy, path, size);
        const char* directory = dirname(copy);
        memmove(copy, directory, strlen(directory) + 1);
    }
    return copy;
}

// Makes the rename itself durable.
void sync_directory_of(const char* path)
{
    char* directory = directory_of(path);
    int fd = directory != nullptr ? open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    free_text(directory);
}

// `directory` + "/" + `name` (or `name` alone when it is absolute) in a fresh heap text.
char* join_path(const char* directory, const char* name)
{
    size_t size = strlen(directory) + strlen(name) + 2;
    char* joined = alloc_text(size);
    if (joined != nullptr) {
        if (name[0] == '/') {
            copy_text(joined, name, size);
        } else {
            format_text(joined, size, "%s/%s", directory, name);
        }
    }
    return joined;
}

// The file that `path` names through any symbolic links (which may end at a
// file yet to be made), so that the rename replaces that file and not the link.
char* link_target(const char* path)
{
    size_t size = strlen(path) + 1;
    char* current = alloc_text(size);
    if (current != nullptr) {
        copy_text(current, path, size);
    }
    for (int hop = 0; current != nullptr && hop < link_hops; ++hop) {
        char target[PATH_MAX];
        ssize_t length = readlink(current, target, sizeof target - 1);
        if (length < 0) {
            if (errno == EINVAL || errno == ENOENT) {
                return current;  // not a link, or nothing there yet
            }
            break;
        }
        target[length] = '\0';
        char* directory = directory_of(current);
        free_text(current);
        current = directory != nullptr ? join_path(directory, target) : nullptr;
        free_text(directory);
    }
    free_text(current);
    return nullptr;
}

// A writer killed between its temporary file and the rename leaves the file,
// with a pass-hash in it, behind: such files of ours, old enough that no live
// writer owns them, are removed.
void remove_stale_temporaries(const char* path)
{
    char* directory = directory_of(path);
    DIR* dir = directory != nullptr ? opendir(directory) : nullptr;
    const char* base = strrchr(path, '/') != nullptr ? strrchr(path, '/') + 1 : path;
    size_t base_length = strlen(base);
    while (dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
        struct stat status;
        if (strncmp(entry->d_name, base, base_length) != 0 ||
            strncmp(entry->d_name + base_length, temporary_infix, sizeof temporary_infix - 1) != 0 ||
            fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISREG(status.st_mode) && status.st_uid == geteuid() && (status.st_mode & 07777) == 0600 &&
            status.st_mtime + stale_seconds < time(nullptr)) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    free_text(directory);
}

// The new text in a file of its own beside `path`, named `temporary` once it is
// complete.  Where the system allows, the file has no name while it is written,
// so a writer killed meanwhile leaves nothing behind.
bool write_named_temporary(const char* path, char* temporary, const char* text, size_t length)
{
    char* directory = directory_of(path);
    bool can_link = directory != nullptr && access("/proc/self/fd", F_OK) == 0;
    int fd = can_link ? open(directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1;
    free_text(directory);
    if (fd < 0) {
        int named = mkostemp(temporary, O_CLOEXEC);
        if (named < 0) {
            return false;
        }
        bool written = fill_temporary(named, text, length);
        written = close(named) == 0 && written;
        if (!written) {
            int error = errno;
            unlink(temporary);
            errno = error;
        }
        return written;
    }
    bool written = fill_temporary(fd, text, length);
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    // The process id makes the name ours alone; one left by a dead namesake goes.
    char id[16];
    snprintf(id, sizeof id, "%06u", static_cast<unsigned>(getpid()) % 1000000u);
    memcpy(temporary + strlen(temporary) - 6, id, 6);
    unlink(temporary);
    bool linked = written && linkat(AT_FDCWD, self, AT_FDCWD, temporary, AT_SYMLINK_FOLLOW) == 0;
    return close(fd) == 0 && linked;
}
}  // namespace

char* ini_load(const char* path)
{
    // A FIFO would block the open until a writer came, a device may act on it:
    // neither is opened as more than a name to look at.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // A path through a plain file can hold no settings, as a missing file holds none.
        return errno == ENOENT || errno == ENOTDIR ? alloc_text(1) : nullptr;
    }
    struct stat status;
    char* text = nullptr;
    if (fstat(fd, &status) == 0) {
        bool usable = S_ISREG(status.st_mode) && status.st_size <= largest_file;
        text = usable ? alloc_text(static_cast<size_t>(status.st_size) + 1) : nullptr;
        errno = usable ? errno : S_ISDIR(status.st_mode) ? EISDIR : !S_ISREG(status.st_mode) ? ENOTSUP : EFBIG;
    }
    if (text != nullptr) {
        ssize_t size = read_all(fd, text, static_cast<size_t>(status.st_size));
        // A NUL byte (a UTF-16 file is full of them) would end the text early.
        if (size < 0 || memchr(text, '\0', static_cast<size_t>(size)) != nullptr) {
            secure_wipe(text, static_cast<size_t>(status.st_size));
            free_text(text);
            text = nullptr;
            errno = size < 0 ? errno : EILSEQ;
        }
    }
    int saved = errno;
    close(fd);
    errno = saved;
    return text;
}

int ini_replace(const char* path, const char* text, size_t length)
{
    if (path == nullptr || text == nullptr) {
        return 1;
    }
    char* file = link_target(path);
    size_t file_length = file != nullptr ? strlen(file) : 0;
    char* temporary = file != nullptr ? alloc_text(file_length + sizeof temporary_infix + 6) : nullptr;
    int code = 1;
    if (temporary != nullptr) {
        format_text(temporary, file_length + sizeof temporary_infix + 6, "%s%sXXXXXX", file, temporary_infix);
        remove_stale_temporaries(file);
        if (write_named_temporary(file, temporary, text, length)) {
            if (rename(temporary, file) == 0) {
                sync_directory_of(file);
                code = 0;
            } else {
                int error = errno;
                unlink(temporary);
                errno = error;
            }
        }
    }
    free_text(temporary);
    free_text(file);
    return code;
}
