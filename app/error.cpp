// Error reporting: the critical error, the non-fatal error, required files and meshes, the ordinary end.
#include "app/util.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "app/receiver.h"

using namespace irr;

// The one form of the critical-error line. The crash handler cannot format: it writes its line formatted in advance
// with this same form.
static const char CRITICAL_ERROR_FORMAT[] = "CRITICAL ERROR : %s \n";
static const char OUT_OF_MEMORY[] = "out of memory";

// There is no console "PAUSE" here: wait for Enter only when a person sits at the terminal and the game is its
// foreground job, so CI, pipes, desktop launchers and a game started with & are never held up. A game moved to the
// background while it waits reads nothing rather than being stopped by the terminal.
static void PauseConsole() {
    if (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) != getpgrp()) return;
    signal(SIGTTIN, SIG_IGN);
    fputs("Press Enter to continue...", stderr);
    fflush(stderr);
    int character;
    do {
        character = getchar();
    } while (character != '\n' && character != EOF);
}

void util_CriticalError(const char* message) {
    fprintf(stderr, CRITICAL_ERROR_FORMAT, message);
    fflush(stderr);
    fflush(stdout);
    PauseConsole();
    exit(1);
}

void util_Error(const char* message) {
    fprintf(stderr, "ERROR : %s \n", message);
    fflush(stderr);
    // Before the real window exists (the wizard's save) the console line is all there is.
    if (!device || !driver || !guienv) return;
    core::stringw text = L"ERROR : ";
    text += message;
    text += L". PRESS RETURN KEY TO CONTINUE";
    guienv->addStaticText(text.c_str(),
                          core::rect<s32>(10, 10, window_width - 10, window_height - 10),
                          false, true, nullptr, -1, false);
    if (key_down[KEY_RETURN]) return;
    for (;;) {
        if (!util_RunDevice() || !driver) return;
        util_DrawFrame(video::SColor(255, 255, 255, 255), false, nullptr);
        if (key_down[KEY_ESCAPE]) util_Quit();
        if (key_down[KEY_RETURN]) return;
    }
}

// Only a regular file counts: a folder or a FIFO named like a data file is as good as missing.
void util_RequireFile(const char* path) {
    if (util_GetRegularFileSize(path) >= 0) return;
    fprintf(stderr, "%s : ", path);
    util_CriticalError("Can't find this file");
}

// Opened without blocking and then asked what it is, so a FIFO or a device named like a game file can never
// hold the game in open() or read(); -1 when it is no regular file.
static int OpenRegularFile(const char* path, long long* size, struct stat* read = nullptr) {
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return -1;
    struct stat status;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        *size = static_cast<long long>(status.st_size);
        if (read) *read = status;
        return descriptor;
    }
    close(descriptor);
    return -1;
}

long long util_GetRegularFileSize(const char* path) {
    long long size = -1;
    int descriptor = OpenRegularFile(path, &size);
    if (descriptor < 0) return -1;
    close(descriptor);
    return size;
}

static bool ReadWhole(int descriptor, std::vector<unsigned char>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = read(descriptor, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

// The size is checked before the buffer is made: a huge or sparse file is refused, not allocated. The bytes come
// from the descriptor that was checked, so a FIFO put in the file's place afterwards cannot hold the game either.
bool util_ReadRegularFile(const char* path, long long max_size, std::vector<unsigned char>& bytes,
                          struct stat* read) {
    bytes.clear();
    long long size = -1;
    int descriptor = OpenRegularFile(path, &size, read);
    if (descriptor < 0) return false;
    bool whole = size <= max_size;
    if (whole) {
        bytes.resize(static_cast<size_t>(size));
        whole = ReadWhole(descriptor, bytes);
    }
    close(descriptor);
    return whole;
}

bool util_ReadDataFile(const char* path, std::vector<unsigned char>& bytes) {
    return util_ReadRegularFile(path, DATA_FILE_MAX_SIZE, bytes);
}

// True when the mesh holds at least one vertex: the engine's 3DS loader turns a truncated file into a mesh
// with no buffers at all rather than into no mesh.
static bool HasGeometry(scene::IAnimatedMesh* mesh) {
    scene::IMesh* frame = mesh && mesh->getFrameCount() > 0 ? mesh->getMesh(0, 255, -1, -1) : nullptr;
    if (!frame) return false;
    for (u32 i = 0; i < frame->getMeshBufferCount(); i++) {
        scene::IMeshBuffer* buffer = frame->getMeshBuffer(i);
        if (buffer && buffer->getVertexCount() > 0) return true;
    }
    return false;
}

// The engine loads the very bytes that were checked, from memory, so the file cannot change in between.
static scene::IAnimatedMesh* LoadCheckedMesh(const char* path) {
    std::vector<unsigned char> bytes;
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    if (!smgr || !files || !util_ReadDataFile(path, bytes) || !util_PrepareMeshFile(path, bytes)) return nullptr;
    io::IReadFile* file = files->createMemoryReadFile(bytes.data(), static_cast<s32>(bytes.size()), path, false);
    if (!file) return nullptr;
    scene::IAnimatedMesh* mesh = smgr->getMesh(file);
    file->drop();
    return mesh;
}

// An empty or truncated mesh file exists but gives no mesh, or an empty one: stop as clearly as for a
// missing one, instead of handing the scene manager nothing.
scene::IAnimatedMesh* util_LoadMesh(const char* path) {
    util_RequireFile(path);
    // A mesh already in the cache was checked when it was loaded.
    scene::IMeshCache* cache = smgr ? smgr->getMeshCache() : nullptr;
    scene::IAnimatedMesh* mesh = cache ? cache->getMeshByName(path) : nullptr;
    if (!mesh) mesh = LoadCheckedMesh(path);
    if (HasGeometry(mesh)) return mesh;
    fprintf(stderr, "%s : ", path);
    util_CriticalError("Can't load this file");
}

// Room for what the game may still map at once: the GL driver's code and buffers, a level's textures. Mapped
// writable, as the heap is, the probe counts against a data-size limit as well as an address-space limit; with no
// memory behind it, it fails only when one of them is short.
static const size_t MEMORY_NEEDED = 256u << 20;

bool util_IsMemoryShort() {
    void* probe = mmap(nullptr, MEMORY_NEEDED, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                       -1, 0);
    if (probe == MAP_FAILED) return true;
    munmap(probe, MEMORY_NEEDED);
    return false;
}

static void util_OnFailedNew() {
    std::set_new_handler(nullptr);
    util_CriticalError(OUT_OF_MEMORY);
}

static struct sigaction util_crash_handlers[2];  // what SIGSEGV and SIGBUS did before, for a crash of another kind
static char util_out_of_memory_line[64];         // the critical-error line for memory that ran out
static int util_out_of_memory_length;

// The GL driver crashes when it cannot map what it needs. Only the line is written: the crash may have come in
// the middle of an allocation. Any other crash goes on to the handler that was there before.
static void util_OnCrash(int signal_number, siginfo_t* info, void*) {
    if (util_IsMemoryShort()) {
        ssize_t written = write(STDERR_FILENO, util_out_of_memory_line, (size_t)util_out_of_memory_length);
        (void)written;
        _exit(1);
    }
    sigaction(signal_number, &util_crash_handlers[signal_number == SIGSEGV ? 0 : 1], nullptr);
    // A fault happens again on return; a signal sent by someone must be sent again.
    if (info->si_code <= 0) raise(signal_number);
}

void util_HandleOutOfMemory() {
    util_out_of_memory_length =
        snprintf(util_out_of_memory_line, sizeof util_out_of_memory_line, CRITICAL_ERROR_FORMAT, OUT_OF_MEMORY);
    std::set_new_handler(util_OnFailedNew);
    struct sigaction action = {};
    action.sa_sigaction = util_OnCrash;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &util_crash_handlers[0]);
    sigaction(SIGBUS, &action, &util_crash_handlers[1]);
}

void util_Quit() {
    if (device) device->drop();
    fflush(stdout);
    exit(0);
}
