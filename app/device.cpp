// The display device: the engine objects every part of the game shares, and the window's caption.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/receiver.h"
#include "app/util.h"
#include "settings/settings.h"

// After the engine's headers: Xlib's macros would clash with them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace irr;

IrrlichtDevice* device = nullptr;
video::IVideoDriver* driver = nullptr;
scene::ISceneManager* smgr = nullptr;
gui::IGUIEnvironment* guienv = nullptr;
ITimer* timer = nullptr;
int window_width = 0;
int window_height = 0;
static bool util_window_had_focus = false;

// The largest window side any X server or GL viewport accepts.
static const int MAX_WINDOW_SIDE = 16384;

static bool util_IsWindowSizeSound(int width, int height) {
    return width >= 1 && height >= 1 && width <= MAX_WINDOW_SIDE && height <= MAX_WINDOW_SIDE;
}

// Only engine errors reach the console, on the error stream through the receiver from the very start, so
// standard output holds the game's own lines alone. A window of no pixels or of a negative size (which the
// engine would read as four billion) is refused here: the engine itself would crash or die in an X error
// instead of saying it could not open the window.
static IrrlichtDevice* util_OpenDevice(video::E_DRIVER_TYPE type, int width, int height, int bits,
                                       bool fullscreen, IEventReceiver* receiver) {
    if (!util_IsWindowSizeSound(width, height)) return nullptr;
    SIrrlichtCreationParameters parameters;
    parameters.DriverType = type;
    parameters.WindowSize = core::dimension2d<u32>((u32)width, (u32)height);
    parameters.Bits = (u8)bits;
    parameters.Fullscreen = fullscreen;
    parameters.Stencilbuffer = false;
    parameters.Vsync = false;
    parameters.EventReceiver = receiver;
    parameters.LoggingLevel = ELL_ERROR;
    return createDeviceEx(parameters);
}

IrrlichtDevice* util_CreateNullDevice() {
    // It gets no input; the receiver only takes its log lines.
    static MyEventReceiver log_receiver;
    device = util_OpenDevice(video::EDT_NULL, 640, 480, 16, true, &log_receiver);
    return device;
}

video::E_DRIVER_TYPE util_GetDriverType(int value) {
    switch (value) {
    case 0: return video::EDT_NULL;
    case 1: return video::EDT_SOFTWARE;
    case 2: return video::EDT_OPENGL;
    // This engine build has no Direct3D: the wizard's Direct3D choice is OpenGL here.
    case 3: case 4: case 5: case 6: return video::EDT_OPENGL;
    default: util_CriticalError("util_GetDriverType : unknown value");
    }
}

// The X screen's size, or 0 x 0 without a display. The engine's own list of video modes knows it only through
// an extension that many servers lack.
static core::dimension2d<u32> util_GetScreenSize(Display* display) {
    if (!display) return core::dimension2d<u32>(0, 0);
    int screen = DefaultScreen(display);
    return core::dimension2d<u32>((u32)DisplayWidth(display, screen), (u32)DisplayHeight(display, screen));
}

// Whether the engine can switch the screen to a mode that holds a full screen of this size.
static bool util_HasModeFor(core::dimension2d<u32> size, IEventReceiver* receiver) {
    IrrlichtDevice* probe = util_OpenDevice(video::EDT_NULL, 640, 480, 16, false, receiver);
    if (!probe) return false;
    video::IVideoModeList* modes = probe->getVideoModeList();
    bool found = false;
    for (s32 i = 0; modes && i < modes->getVideoModeCount(); i++) {
        core::dimension2d<u32> mode = modes->getVideoModeResolution(i);
        found = found || (mode.Width >= size.Width && mode.Height >= size.Height);
    }
    probe->drop();
    return found;
}

// A window larger than the screen puts the status line below its edge, and so does a full screen larger than every
// mode the server can switch to: either shrinks to the screen.
static core::dimension2d<u32> util_FitToScreen(core::dimension2d<u32> asked, bool fullscreen, Display* display,
                                                IEventReceiver* receiver) {
    core::dimension2d<u32> screen = util_GetScreenSize(display);
    if (screen.Width == 0 || screen.Height == 0) return asked;
    if (asked.Width <= screen.Width && asked.Height <= screen.Height) return asked;
    if (fullscreen && util_HasModeFor(asked, receiver)) return asked;
    return core::dimension2d<u32>(core::min_(asked.Width, screen.Width), core::min_(asked.Height, screen.Height));
}

// Xlib's own handler prints the failed request over six lines and exits; the game ends with its own line.
static int util_OnXError(Display* display, XErrorEvent* event) {
    if (util_IsMemoryShort()) util_CriticalError("out of memory");
    char text[200] = "";
    XGetErrorText(display, event->error_code, text, sizeof text);
    char message[256];
    snprintf(message, sizeof message, "X error: %s", text);
    util_CriticalError(message);
}

void util_CreateDevice(IEventReceiver* receiver) {
    bool fullscreen = settings_GetFlag("is_fullscreen");
    video::E_DRIVER_TYPE type = util_GetDriverType(settings_GetInt("driver_type"));
    int bits = settings_GetInt("display_bits");
    int asked_height = settings_GetInt("window_size_y");
    int asked_width = settings_GetInt("window_size_x");
    window_height = asked_height;
    window_width = asked_width;
    XSetErrorHandler(util_OnXError);
    // Held open until the window's own connection is made: an X server left without a client resets itself, and
    // a connection asked for during the reset fails.
    Display* display = XOpenDisplay(nullptr);
    if (util_IsWindowSizeSound(window_width, window_height)) {
        core::dimension2d<u32> fitted = util_FitToScreen(
            core::dimension2d<u32>((u32)window_width, (u32)window_height), fullscreen, display, receiver);
        window_width = (int)fitted.Width;
        window_height = (int)fitted.Height;
    }

    // The null driver opens no window and takes no input, so the title screen would wait for ever: it is no
    // driver the game can be played with, any more than one this engine build lacks.
    device = type == video::EDT_NULL ? nullptr
                                     : util_OpenDevice(type, window_width, window_height, bits, fullscreen, receiver);
    if (display) XCloseDisplay(display);
    srand((unsigned)time(nullptr));
    printf(fullscreen ? "Lauching application %dx%d in fullscreen mode\n"
                      : "Lauching application %dx%d in windowed mode\n",
           asked_width, asked_height);
    fflush(stdout);

    if (!device) util_CriticalError("Could not create selected driver.");
    driver = device->getVideoDriver();
    if (!driver) util_CriticalError("Could not create VideoDriver.");
    smgr = device->getSceneManager();
    if (!smgr) util_CriticalError("Could not create SceneManager.");
    guienv = device->getGUIEnvironment();
    if (!guienv) util_CriticalError("Could not create GUIEnvironment.");
    timer = device->getTimer();
    if (timer) util_StartFrameWindow();

    gui::ICursorControl* cursor = device->getCursorControl();
    if (cursor) cursor->setVisible(false);
    // Every pad plugged in at start plays along with the keys and the mouse; without one nothing changes.
    core::array<SJoystickInfo> pads;
    device->activateJoysticks(pads);
}

// The game's X window: the driver tells it under OpenGL; the software renderers do not, but the window has the
// focus when this is asked. 0 when neither knows.
static Window util_GetXWindow(Display* display) {
    Window window = (Window)driver->getExposedVideoData().OpenGLLinux.X11Window;
    int revert_to = 0;
    if (!window) XGetInputFocus(display, &window, &revert_to);
    return window > PointerRoot ? window : 0;
}

// A window manager gives the focus once it has placed the window and fitted it and its frame to the screen. From
// then on its least and greatest size are that size, so maximise and full-screen requests cannot stretch the scene
// or leave the status line afloat. The engine's own way unmaps the window, which no window manager would then
// focus again.
static void util_KeepWindowSize() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    Window window = util_GetXWindow(display);
    XSizeHints* hints = window ? XAllocSizeHints() : nullptr;
    if (hints) {
        core::dimension2d<u32> size = driver->getScreenSize();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = (int)size.Width;
        hints->min_height = hints->max_height = (int)size.Height;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    XCloseDisplay(display);
}

// A key released while another window has the focus is never seen here: once the window has had the focus and
// lost it, nothing counts as held. Before its first focus (no window manager, the focus following the pointer)
// the engine cannot tell, and the keys keep coming.
bool util_RunDevice() {
    bool running = device->run();
    bool focused = device->isWindowFocused();
    if (focused && !util_window_had_focus) util_KeepWindowSize();
    util_window_had_focus = util_window_had_focus || focused;
    if (util_window_had_focus && !focused) receiver_ReleaseAll();
    return running;
}

void util_SetWindowCaption(const wchar_t* title) {
    if (!device || !driver) return;
    core::stringw caption(title);
    caption += L" (";
    caption += driver->getName();
    caption += L")";
    device->setWindowCaption(caption.c_str());
}
