// The time from launching the game to its title screen's first frame: the game runs with a preload that counts
// the buffer swaps in a shared file, and this program watches the count from the moment it starts the game.
// Usage: korvanix_bench_launch PRELOAD GAME RUNS, run from the game folder; prints the median and the slowest.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

static double bench_Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds from the launch to the first frame, or -1 when none came within ten seconds.
static double bench_LaunchOnce(const char* preload, const char* game, const std::string& count_file) {
    int file = open(count_file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || ftruncate(file, 2 * sizeof(uint64_t)) != 0) return -1;
    void* map = mmap(nullptr, 2 * sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    close(file);
    if (map == MAP_FAILED) return -1;
    volatile uint64_t* frames = static_cast<volatile uint64_t*>(map);
    double start = bench_Now();
    pid_t child = fork();
    if (child == 0) {
        setenv("LD_PRELOAD", preload, 1);
        setenv("KORVANIX_FRAME_FILE", count_file.c_str(), 1);
        int null_file = open("/dev/null", O_RDWR);
        if (null_file >= 0) {
            dup2(null_file, 0);
            dup2(null_file, 1);
            dup2(null_file, 2);
        }
        execl(game, game, (char*)nullptr);
        _exit(127);
    }
    double seconds = -1;
    while (child > 0 && bench_Now() - start < 10) {
        if (frames[0] > 0) {
            seconds = bench_Now() - start;
            break;
        }
        if (waitpid(child, nullptr, WNOHANG) == child) {
            child = -1;
            break;
        }
        usleep(200);
    }
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    munmap(map, 2 * sizeof(uint64_t));
    return seconds;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: korvanix_bench_launch PRELOAD GAME RUNS\n");
        return 1;
    }
    std::string count_file = "/tmp/korvanix-launch-" + std::to_string(getpid());
    std::vector<double> times;
    for (int run = 0; run < atoi(argv[3]); run++) {
        double seconds = bench_LaunchOnce(argv[1], argv[2], count_file);
        if (seconds < 0) {
            printf("launch to the title screen's first frame: no frame within 10 s  MISSED\n");
            unlink(count_file.c_str());
            return 1;
        }
        times.push_back(seconds);
    }
    unlink(count_file.c_str());
    std::sort(times.begin(), times.end());
    double median = times[times.size() / 2];
    printf("launch to the title screen's first frame: median %.3f s, slowest %.3f s of %zu launches  %s\n", median,
           times.back(), times.size(), median <= 0.5 ? "ok" : "MISSED");
    return 0;
}
