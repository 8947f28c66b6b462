// Korvanix's entry point.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "app/game.h"
#include "app/util.h"

// A standard stream closed at launch would hand its number to the next file or to the X connection, and the
// console lines would then be written into it: each one closed is opened on /dev/null first.
static void OpenClosedStandardStreams() {
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; stream++) {
        if (fcntl(stream, F_GETFD) != -1) continue;
        int descriptor = open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (descriptor >= 0 && descriptor != stream) {
            dup2(descriptor, stream);
            close(descriptor);
        }
    }
}

int main(int argc, char** argv) {
    OpenClosedStandardStreams();
    // A reader of the console output that goes away, or a file-size limit, makes a write fail; neither may
    // end the game.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    util_HandleOutOfMemory();
    return game_Main(argc, argv);
}
