// The machine's yardstick: a GL window of the game's size on the same display that only clears and swaps. The
// budgets of the play rows are shares of its rate, so they mean the same on a fast machine and a slow one.
// Usage: korvanix_bench_clear [FRAMES]; prints one row, "clear-only ...: median N fps".
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

static const int WARM_UP_FRAMES = 30;

static double bench_Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A double-buffered RGB window with a depth buffer, as the engine asks for one.
static bool bench_OpenWindow(Display* display, Window* window, GLXContext* context) {
    int attributes[] = {GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_RED_SIZE, 4, GLX_GREEN_SIZE, 4, GLX_BLUE_SIZE, 4,
                        GLX_DEPTH_SIZE, 16, GLX_DOUBLEBUFFER, True, None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (!configs || count == 0) return false;
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[0]);
    if (!visual) {
        XFree(configs);
        return false;
    }
    XSetWindowAttributes window_attributes = {};
    Window root = RootWindow(display, visual->screen);
    window_attributes.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    *window = XCreateWindow(display, root, 0, 0, 800, 600, 0, visual->depth, InputOutput, visual->visual, CWColormap,
                            &window_attributes);
    XStoreName(display, *window, "korvanix_bench_clear");
    XMapWindow(display, *window);
    *context = glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
    XFree(visual);
    XFree(configs);
    return *context && glXMakeCurrent(display, *window, *context);
}

int main(int argc, char** argv) {
    int frames = argc > 1 ? atoi(argv[1]) : 600;
    if (frames < 1) frames = 600;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "korvanix_bench_clear: no X display\n");
        return 1;
    }
    Window window;
    GLXContext context;
    if (!bench_OpenWindow(display, &window, &context)) {
        fprintf(stderr, "korvanix_bench_clear: no GL window\n");
        return 1;
    }
    glClearColor(0, 0, 0, 0);
    std::vector<double> rates;
    for (int i = 0; i < WARM_UP_FRAMES + frames; i++) {
        double start = bench_Now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glXSwapBuffers(display, window);
        if (i >= WARM_UP_FRAMES) rates.push_back(1.0 / (bench_Now() - start));
    }
    std::sort(rates.begin(), rates.end());
    printf("clear-only GL program (glClear and swap, 800x600): median %.0f fps\n", rates[rates.size() / 2]);
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
