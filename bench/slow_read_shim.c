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

static const char* marker = "slowread";
static long hold_ms = 2000;

__attribute__((constructor)) static void read_settings(void) {
    const char* m = getenv("NURA_SLOW_MARKER");
    const char* delay = getenv("NURA_SLOW_READ_MS");
    if (m != NULL && m[0] != '\0') {
        marker = m;
    }
    if (delay != NULL) {
        hold_ms = strtol(delay, NULL, 10);
    }
}

static void hold_if_marked(int fd) {
    const long ms = hold_ms;
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

/* The real functions, looked up once: a lookup on every call would take the loader's lock, which
 * another thread loading a plugin holds for a while, and stall readers that have nothing to do
 * with the slow file. */
static ssize_t (*real_read)(int, void*, size_t);
static ssize_t (*real_pread)(int, void*, size_t, off_t);
static ssize_t (*real_pread64)(int, void*, size_t, off64_t);
static ssize_t (*real_readv)(int, const struct iovec*, int);

__attribute__((constructor)) static void find_real_functions(void) {
    real_read = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    real_pread = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
    real_pread64 = (ssize_t(*)(int, void*, size_t, off64_t))dlsym(RTLD_NEXT, "pread64");
    real_readv = (ssize_t(*)(int, const struct iovec*, int))dlsym(RTLD_NEXT, "readv");
}

ssize_t read(int fd, void* buf, size_t count) {
    hold_if_marked(fd);
    return real_read(fd, buf, count);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
    hold_if_marked(fd);
    return real_pread(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off64_t offset) {
    hold_if_marked(fd);
    return real_pread64(fd, buf, count, offset);
}

ssize_t readv(int fd, const struct iovec* iov, int count) {
    hold_if_marked(fd);
    return real_readv(fd, iov, count);
}

/* Fortified callers read through these. */
ssize_t __read_chk(int fd, void* buf, size_t count, size_t size) {
    (void)size;
    hold_if_marked(fd);
    return real_read(fd, buf, count);
}

ssize_t __pread64_chk(int fd, void* buf, size_t count, off64_t offset, size_t size) {
    (void)size;
    hold_if_marked(fd);
    return real_pread64(fd, buf, count, offset);
}
