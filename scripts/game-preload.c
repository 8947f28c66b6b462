/* Preloaded into the game by the soak, the valgrind session, the error test and the benchmark. It keeps every
 * library loaded: the GL driver is unloaded when the window closes, and the blocks it still held then read as leaks
 * at exit, with no name to judge them by. When KORVANIX_FRAME_FILE names a file, it keeps two counts there for
 * another process to read while the game runs, in a mapping shared with the file: the frames shown (the game prints
 * no count of its own), and, under AddressSanitizer, the bytes of heap in live blocks, which grows with what the
 * game keeps and not with how the allocator lays its pages out; after them, the monotonic time in nanoseconds of
 * the latest frames, frame n at slot n modulo SWAP_TIMES. When KORVANIX_SEED holds a number, the game's one seeding
 * of its random draws takes that number instead of the clock's: the benchmark plays the same worlds in every run.
 * And when KORVANIX_SWAP_WITH names a file, each data file of its kind (its extension) that the game reads is
 * replaced by that file as soon as the game has read from it: whatever opens it again reads other bytes. When
 * KORVANIX_CRASH is set, the first frame shown writes through a null pointer. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapBuffers)(void* display, unsigned long drawable);
typedef size_t (*AllocatedBytes)(void);
typedef void (*Seed)(unsigned seed);

enum { FRAMES, HEAP_BYTES, SWAP_TIMES_START };
enum { SWAP_TIMES = 65536, COUNTS = SWAP_TIMES_START + SWAP_TIMES };
/* The heap is summed over every thread: once in so many frames is often enough. */
enum { HEAP_EVERY = 16 };

static volatile uint64_t* counts;
static SwapBuffers real_swap;
static AllocatedBytes allocated_bytes;

__attribute__((constructor)) static void preload_OpenCounts(void) {
    const char* path = getenv("KORVANIX_FRAME_FILE");
    if (!path) return;
    int file = open(path, O_RDWR | O_CREAT, 0644);
    if (file < 0) return;
    if (ftruncate(file, COUNTS * sizeof(uint64_t)) == 0) {
        void* map = mmap(NULL, COUNTS * sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        if (map != MAP_FAILED) counts = map;
    }
    close(file);
    allocated_bytes = (AllocatedBytes)dlsym(RTLD_DEFAULT, "__sanitizer_get_current_allocated_bytes");
}

void glXSwapBuffers(void* display, unsigned long drawable) {
    if (getenv("KORVANIX_CRASH")) *(volatile int*)0 = 0;
    if (!real_swap) real_swap = (SwapBuffers)dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (counts) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t frame = counts[FRAMES];
        counts[SWAP_TIMES_START + frame % SWAP_TIMES] = (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
        uint64_t frames = __atomic_add_fetch(&counts[FRAMES], 1, __ATOMIC_RELEASE);
        if (allocated_bytes && frames % HEAP_EVERY == 1) counts[HEAP_BYTES] = allocated_bytes();
    }
    if (real_swap) real_swap(display, drawable);
}

void srand(unsigned seed) {
    static Seed real_seed;
    const char* pinned = getenv("KORVANIX_SEED");
    if (!real_seed) real_seed = (Seed)dlsym(RTLD_NEXT, "srand");
    if (pinned && *pinned) seed = (unsigned)strtoul(pinned, NULL, 10);
    if (real_seed) real_seed(seed);
}

int dlclose(void* handle) {
    (void)handle;
    return 0;
}

typedef int (*OpenPath)(const char* path, int flags, ...);
typedef ssize_t (*ReadBytes)(int descriptor, void* buffer, size_t count);
typedef int (*CloseDescriptor)(int descriptor);

/* The data files of the swap's kind that are open, by descriptor, with their names. */
enum { TRACKED = 1024 };
static char* swap_paths[TRACKED];

static int preload_IsSwapped(const char* path) {
    const char* swap = getenv("KORVANIX_SWAP_WITH");
    const char* kind = swap ? strrchr(swap, '.') : NULL;
    size_t length = strlen(path);
    return kind && strncmp(path, "data/", 5) == 0 && length > strlen(kind) &&
           strcmp(path + length - strlen(kind), kind) == 0;
}

int open(const char* path, int flags, ...) {
    static OpenPath real_open;
    if (!real_open) real_open = (OpenPath)dlsym(RTLD_NEXT, "open");
    va_list arguments;
    va_start(arguments, flags);
    int mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(arguments, int) : 0;
    va_end(arguments);
    int descriptor = real_open(path, flags, mode);
    if (descriptor >= 0 && descriptor < TRACKED && preload_IsSwapped(path)) {
        free(swap_paths[descriptor]);
        swap_paths[descriptor] = strdup(path);
    }
    return descriptor;
}

/* Once the game has read a data file, the file is replaced: whatever opens it again reads other bytes. */
ssize_t read(int descriptor, void* buffer, size_t count) {
    static ReadBytes real_read;
    if (!real_read) real_read = (ReadBytes)dlsym(RTLD_NEXT, "read");
    ssize_t result = real_read(descriptor, buffer, count);
    char link_name[4096];
    if (result > 0 && descriptor >= 0 && descriptor < TRACKED && swap_paths[descriptor]) {
        const char* path = swap_paths[descriptor];
        if (snprintf(link_name, sizeof link_name, "%s.swap", path) < (int)sizeof link_name &&
            link(getenv("KORVANIX_SWAP_WITH"), link_name) == 0)
            rename(link_name, path);
        free(swap_paths[descriptor]);
        swap_paths[descriptor] = NULL;
    }
    return result;
}

int close(int descriptor) {
    static CloseDescriptor real_close;
    if (!real_close) real_close = (CloseDescriptor)dlsym(RTLD_NEXT, "close");
    if (descriptor >= 0 && descriptor < TRACKED && swap_paths[descriptor]) {
        free(swap_paths[descriptor]);
        swap_paths[descriptor] = NULL;
    }
    return real_close(descriptor);
}
