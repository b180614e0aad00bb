/* A slow card without root: loaded with LD_PRELOAD, it holds every read of a file whose path
 * contains NURA_SLOW_MARKER (default "slowread") for NURA_SLOW_READ_MS milliseconds (default 2000)
 * before reading. Other files read at full speed. */

#undef _FORTIFY_SOURCE
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

static void hold_if_marked(int fd) {
    const char* marker = getenv("NURA_SLOW_MARKER");
    const char* delay = getenv("NURA_SLOW_READ_MS");
    if (marker == NULL || marker[0] == '\0') {
        marker = "slowread";
    }
    long ms = delay != NULL ? strtol(delay, NULL, 10) : 2000;
    if (ms <= 0) {
        return;
    }
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) {
        return;
    }
    target[n] = '\0';
    if (strstr(target, marker) == NULL) {
        return;
    }
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t read(int fd, void* buf, size_t count) {
    hold_if_marked(fd);
    return NEXT(read)(fd, buf, count);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
    hold_if_marked(fd);
    return NEXT(pread)(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off64_t offset) {
    hold_if_marked(fd);
    return NEXT(pread64)(fd, buf, count, offset);
}

ssize_t readv(int fd, const struct iovec* iov, int count) {
    hold_if_marked(fd);
    return NEXT(readv)(fd, iov, count);
}

/* Fortified callers read through these. */
ssize_t __read_chk(int fd, void* buf, size_t count, size_t size) {
    (void)size;
    hold_if_marked(fd);
    return NEXT(read)(fd, buf, count);
}

ssize_t __pread64_chk(int fd, void* buf, size_t count, off64_t offset, size_t size) {
    (void)size;
    hold_if_marked(fd);
    return NEXT(pread64)(fd, buf, count, offset);
}
