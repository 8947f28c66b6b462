// Array allocations set against an unreadable page, to catch the engine's XML reader reading past its text buffer.
// The engine's library is not built with the sanitizers, so its reads are not checked; while guard_pages_on is set,
// every new[] ends exactly where an inaccessible page begins and such a read ends the process at once. The header
// replaces the global array new and delete: include it in exactly one file of a program.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

static bool guard_pages_on = false;  // set around the engine's reading

namespace guard_pages {

struct Block {
    void* start;    // what new[] returned
    void* mapping;  // the pages, the guard page included
    size_t length;
};
static Block blocks[256];

inline void* Allocate(size_t size) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t length = (size + page - 1) / page * page + page;
    for (Block& block : blocks) {
        if (block.start) continue;
        void* mapping = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) return nullptr;
        char* guard = static_cast<char*>(mapping) + length - page;
        if (mprotect(guard, page, PROT_NONE) != 0) return nullptr;
        // Four-byte alignment keeps the engine's 32-bit characters whole and their buffer's end on the guard page.
        uintptr_t start = (reinterpret_cast<uintptr_t>(guard) - size) & ~static_cast<uintptr_t>(3);
        block = {reinterpret_cast<void*>(start), mapping, length};
        return block.start;
    }
    return nullptr;
}

inline bool Release(void* start) {
    for (Block& block : blocks) {
        if (!start || block.start != start) continue;
        munmap(block.mapping, block.length);
        block = {nullptr, nullptr, 0};
        return true;
    }
    return false;
}

}  // namespace guard_pages

void* operator new[](size_t size) {
    void* memory = guard_pages_on ? guard_pages::Allocate(size) : nullptr;
    if (!memory) memory = malloc(size ? size : 1);
    if (!memory) throw std::bad_alloc();
    return memory;
}

void operator delete[](void* memory) noexcept {
    if (!guard_pages::Release(memory)) free(memory);
}

void operator delete[](void* memory, size_t) noexcept {
    operator delete[](memory);
}
