// The game shell: engine objects, error reporting, display device, frame rate, time limit and status line.
#pragma once

#include <cstddef>
#include <vector>
#include <sys/stat.h>

#include <irrlicht.h>

// Engine objects, from the real device's creation to the end of the process.
extern irr::IrrlichtDevice* device;           // the engine device (the null device during start-up)
extern irr::video::IVideoDriver* driver;      // the device's video driver
extern irr::scene::ISceneManager* smgr;       // the device's scene manager
extern irr::gui::IGUIEnvironment* guienv;     // the device's GUI environment
extern irr::ITimer* timer;                    // the device's timer; all game times are its milliseconds
extern int window_width;                      // window width in pixels, from window_size_x
extern int window_height;                     // window height in pixels, from window_size_y

// Frame rate and time limit.
extern int fps;                               // frames per second of the last window of 100 ms or more; 100 at start
extern int frame_count;                       // frames counted in the current window
extern double fps_last_time;                  // timer time at which the current window opened
extern double fps_last_frame_time;            // timer time of the last frame counted
extern bool fps_skipped_stop;                 // the last frame came after a stop and was left out of the measure
extern irr::u32 level_deadline;               // timer time at which the level's time runs out
extern bool is_time_unlimited;                // the level has no time limit

const int TIME_UNLIMITED = -1000;             // what util_GetTimeLeft answers for a level without a time limit

// Errors. A critical error prints its line, waits for Enter on a terminal and exits with status 1.
[[noreturn]] void util_CriticalError(const char* message);
void util_Error(const char* message);                        // non-fatal: console line, then in the window until Return
void util_RequireFile(const char* path);                      // returns only when it is a regular file (after links)
long long util_GetRegularFileSize(const char* path);         // size of a regular file (after links), else -1; never blocks
irr::scene::IAnimatedMesh* util_LoadMesh(const char* path);  // a mesh that exists and loads, or a critical error naming it
bool util_PrepareMeshBytes(unsigned char* bytes, size_t size);  // 3DS the engine reads safely; marks chunks it must skip
bool util_PrepareMeshFile(const char* path, std::vector<unsigned char>& bytes);  // the same for a .3ds file's bytes
const long long DATA_FILE_MAX_SIZE = 128LL << 20;             // the largest mesh, image or sound file the game reads
bool util_ReadDataFile(const char* path, std::vector<unsigned char>& bytes);  // a regular file within that size
bool util_ReadRegularFile(const char* path, long long max_size, std::vector<unsigned char>& bytes,
                          struct stat* read = nullptr);  // a regular file within max_size, read whole; what it was
bool util_IsWholeImage(const unsigned char* bytes, size_t size);  // a BMP or PNG the engine decodes safely and truly
irr::video::IImage* util_LoadImage(const char* path);         // decoded from checked bytes; null if missing or damaged
irr::video::ITexture* util_AddTexture(const char* path, irr::video::IImage* image);  // cached under the path, or null;
                                                                                     // its smaller levels made as the renderer would
irr::video::ITexture* util_LoadTexture(const char* path);     // the cached one, or one of util_LoadImage; may be null
irr::video::ITexture* util_RequireTexture(const char* path);  // a missing file is a critical error; a damaged one null
irr::gui::IGUIFont* util_LoadFont(const char* path);          // the bitmap font from checked bytes; may be null
void util_HandleOutOfMemory();                                // memory that runs out, anywhere: one line, status 1
bool util_IsMemoryShort();                                    // too little address space or data size left to go on
[[noreturn]] void util_Quit();                                // the ordinary end: drops the device, exit status 0

// Display device.
irr::IrrlichtDevice* util_CreateNullDevice();                // start-up's windowless device that gives the settings file access
void util_CreateDevice(irr::IEventReceiver* receiver);       // the real device from the settings; fills the globals above
irr::video::E_DRIVER_TYPE util_GetDriverType(int value);     // driver_type setting to engine driver
void util_SetWindowCaption(const wchar_t* title);            // title + " (" + driver name + ")"
bool util_RunDevice();                                        // the engine's run; all keys up once the focus is lost

// Frame rate, time left and the status line.
void util_DrawFrame(irr::video::SColor background, bool with_scene,
                    irr::scene::ISceneNode* on_top);          // one frame: scene, node on top, GUI (each optional)
void util_CountFrame();                                       // called once after every drawn frame
void util_StartFrameWindow();                                 // a new window, so the time before it is not measured
int util_GetFPS();                                            // fps, or 1 when it is 0
int util_GetTimeLeft();                                       // ms to the deadline, or TIME_UNLIMITED
irr::core::stringw util_BuildStatusLine(bool is_french, int lives, int level, int frame_rate,
                                        int distance, int time_left);  // the status line's text
void util_ShowStatusLine(irr::gui::IGUIStaticText* status_text, bool is_french, int lives,
                         int level, int distance);            // builds, shows, and sounds the alarm when time is short
