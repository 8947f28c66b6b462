/* Preloaded into the game by the soak and the valgrind session. It keeps every library loaded: the GL driver is
 * unloaded when the window closes, and the blocks it still held then read as leaks at exit, with no name to judge
 * them by. And, when KORVANIX_FRAME_FILE names a file, it keeps two counts there for another process to read
 * while the game runs, in a mapping shared with the file: the frames shown (the game prints no count of its own),
 * and, under AddressSanitizer, the bytes of heap in live blocks, which grows with what the game keeps and not
 * with how the allocator lays its pages out. And, when KORVANIX_SWAP_WITH names a file, each data file the game
 * opens by its relative name is replaced by that file at once: whatever opens it again reads other bytes. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

typedef void (*SwapBuffers)(void* display, unsigned long drawable);
typedef size_t (*AllocatedBytes)(void);

enum { FRAMES, HEAP_BYTES, COUNTS };
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
    if (!real_swap) real_swap = (SwapBuffers)dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (counts) {
        uint64_t frames = __atomic_add_fetch(&counts[FRAMES], 1, __ATOMIC_RELAXED);
        if (allocated_bytes && frames % HEAP_EVERY == 1) counts[HEAP_BYTES] = allocated_bytes();
    }
    if (real_swap) real_swap(display, drawable);
}

int dlclose(void* handle) {
    (void)handle;
    return 0;
}

typedef FILE* (*OpenFile)(const char* path, const char* mode);

FILE* fopen(const char* path, const char* mode) {
    static OpenFile real_fopen;
    if (!real_fopen) real_fopen = (OpenFile)dlsym(RTLD_NEXT, "fopen");
    FILE* file = real_fopen(path, mode);
    const char* swap = getenv("KORVANIX_SWAP_WITH");
    char link_name[4096];
    if (file && swap && strncmp(path, "data/", 5) == 0 &&
        snprintf(link_name, sizeof link_name, "%s.swap", path) < (int)sizeof link_name && link(swap, link_name) == 0)
        rename(link_name, path);
    return file;
}
