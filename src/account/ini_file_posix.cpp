#include "account/ini_file.h"

#include "common/heap_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const off_t largest_file = 1024 * 1024;  // far beyond any settings file

bool read_all(int fd, char* out, size_t length)
{
    size_t done = 0;
    while (done < length) {
        ssize_t got = read(fd, out + done, length - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;  // a file that shrank meanwhile is read as far as it goes
        }
        done += static_cast<size_t>(got);
    }
    return true;
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

// Makes the rename itself durable.
void sync_directory_of(const char* path)
{
    size_t size = strlen(path) + 1;
    char* copy = alloc_text(size);
    if (copy == nullptr) {
        return;
    }
    copy_text(copy, path, size);
    int fd = open(dirname(copy), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    free_text(copy);
}

bool write_temporary(int fd, const char* text, size_t length)
{
    bool written = fchmod(fd, S_IRUSR | S_IWUSR) == 0 && write_all(fd, text, length) && fsync(fd) == 0;
    return close(fd) == 0 && written;
}
}  // namespace

char* ini_load(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? alloc_text(1) : nullptr;
    }
    struct stat status;
    char* text = nullptr;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= largest_file) {
        text = alloc_text(static_cast<size_t>(status.st_size) + 1);
    }
    if (text != nullptr && !read_all(fd, text, static_cast<size_t>(status.st_size))) {
        secure_wipe(text, static_cast<size_t>(status.st_size));
        free_text(text);
        text = nullptr;
    }
    close(fd);
    return text;
}

int ini_replace(const char* path, const char* text, size_t length)
{
    if (path == nullptr || text == nullptr) {
        return 1;
    }
    const char suffix[] = ".XXXXXX";
    size_t path_length = strlen(path);
    char* temporary = alloc_text(path_length + sizeof suffix);
    if (temporary == nullptr) {
        return 1;
    }
    memcpy(temporary, path, path_length);
    memcpy(temporary + path_length, suffix, sizeof suffix);
    int fd = mkostemp(temporary, O_CLOEXEC);
    int code = 1;
    if (fd >= 0) {
        if (write_temporary(fd, text, length) && rename(temporary, path) == 0) {
            sync_directory_of(path);
            code = 0;
        } else {
            unlink(temporary);
        }
    }
    free_text(temporary);
    return code;
}
