// The display device and the event receiver: driver choice, device creation on the null driver, input recording.
#include <gtest/gtest.h>

#include <cmath>
#include <dlfcn.h>

#include "app/receiver.h"
#include "app/util.h"
#include "helpers.h"
#include "settings/settings.h"

using namespace irr;

// No display is needed: the device the game asks for is made with the null driver, and the driver it asked for kept.
static video::E_DRIVER_TYPE requested_driver = video::EDT_COUNT;

extern "C" IrrlichtDevice* createDeviceEx(const SIrrlichtCreationParameters& parameters) {
    using Create = IrrlichtDevice* (*)(const SIrrlichtCreationParameters&);
    static Create engine_create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "createDeviceEx"));
    requested_driver = parameters.DriverType;
    SIrrlichtCreationParameters windowless = parameters;
    windowless.DriverType = video::EDT_NULL;
    return engine_create(windowless);
}

namespace {

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_Release();
        settings_Allocate();
        receiver_Reset();
    }
    void TearDown() override {
        if (device) device->drop();
        device = nullptr;
        driver = nullptr;
        smgr = nullptr;
        guienv = nullptr;
        timer = nullptr;
        settings_Release();
    }
    void AddDeviceSettings(double fullscreen, double driver_type) {
        settings_Add("is_fullscreen", fullscreen);
        settings_Add("driver_type", driver_type);
        settings_Add("display_bits", 32);
        settings_Add("window_size_y", 480.7);
        settings_Add("window_size_x", 720);
    }
};

TEST_F(DeviceTest, DriverTypesMapToTheEnginesDriversOnLinux) {
    EXPECT_EQ(video::EDT_NULL, util_GetDriverType(0));
    EXPECT_EQ(video::EDT_SOFTWARE, util_GetDriverType(1));
    EXPECT_EQ(video::EDT_OPENGL, util_GetDriverType(2));
    for (int direct3d = 3; direct3d <= 6; direct3d++) EXPECT_EQ(video::EDT_OPENGL, util_GetDriverType(direct3d));
    EXPECT_EQ(video::EDT_OPENGL, util_GetDriverType(settings_ToInt(2.9)));
    EXPECT_EQ(video::EDT_OPENGL, util_GetDriverType(settings_ToInt(6.5)));
    EXPECT_EQ(video::EDT_NULL, util_GetDriverType(settings_ToInt(-0.5)));
}

TEST_F(DeviceTest, UnknownDriverTypesAreCriticalErrors) {
    EXPECT_EXIT(util_GetDriverType(7), ::testing::ExitedWithCode(1),
                "CRITICAL ERROR : util_GetDriverType : unknown value");
    EXPECT_EXIT(util_GetDriverType(-1), ::testing::ExitedWithCode(1),
                "CRITICAL ERROR : util_GetDriverType : unknown value");
}

TEST_F(DeviceTest, TheNullDeviceIsWindowlessAndInstalledForTheSettingsFile) {
    IrrlichtDevice* null_device = util_CreateNullDevice();
    ASSERT_NE(nullptr, null_device);
    EXPECT_EQ(null_device, device);
    EXPECT_EQ(video::EDT_NULL, null_device->getVideoDriver()->getDriverType());
    EXPECT_EQ(core::dimension2d<u32>(640, 480), null_device->getVideoDriver()->getScreenSize());
    EXPECT_NE(nullptr, null_device->getFileSystem());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    null_device->getGUIEnvironment()->getFont("data/no such font.bmp");
    EXPECT_EQ("", testing::internal::GetCapturedStdout()) << "the engine's messages stay off standard output";
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("no such font"));
}

TEST_F(DeviceTest, CreatingTheDeviceFillsTheGlobalsAndAnnouncesTheWindow) {
    AddDeviceSettings(0.0, 2.0);
    MyEventReceiver receiver;
    testing::internal::CaptureStdout();
    util_CreateDevice(&receiver);
    EXPECT_EQ("Lauching application 720x480 in windowed mode\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(video::EDT_OPENGL, requested_driver);
    ASSERT_NE(nullptr, device);
    EXPECT_EQ(device->getVideoDriver(), driver);
    EXPECT_EQ(device->getSceneManager(), smgr);
    EXPECT_EQ(device->getGUIEnvironment(), guienv);
    EXPECT_EQ(device->getTimer(), timer);
    EXPECT_EQ(720, window_width);
    EXPECT_EQ(480, window_height);
    EXPECT_EQ(core::dimension2d<u32>(720, 480), driver->getScreenSize());
    EXPECT_EQ((double)timer->getTime(), fps_last_time);
    EXPECT_FALSE(device->getCursorControl()->isVisible());
    // The receiver is the device's: engine events reach the game's key table.
    EXPECT_EQ(&receiver, device->getEventReceiver());
    SEvent event{};
    event.EventType = EET_KEY_INPUT_EVENT;
    event.KeyInput.Key = KEY_TAB;
    event.KeyInput.PressedDown = true;
    device->postEventFromUser(event);
    EXPECT_TRUE(key_down[KEY_TAB]);
}

TEST_F(DeviceTest, AFullscreenSettingSaysSoInTheLaunchLine) {
    AddDeviceSettings(2.0, 1.0);
    MyEventReceiver receiver;
    testing::internal::CaptureStdout();
    util_CreateDevice(&receiver);
    EXPECT_EQ("Lauching application 720x480 in fullscreen mode\n", testing::internal::GetCapturedStdout());
}

TEST_F(DeviceTest, SettingsAreReadInTheirOrderAndABadDriverStopsBeforeAnyDevice) {
    settings_Add("driver_type", 0.0);
    EXPECT_EXIT(util_CreateDevice(nullptr), ::testing::ExitedWithCode(1), "is_fullscreen :CRITICAL ERROR");
    settings_Add("is_fullscreen", 0.0);
    settings_Add("window_size_x", 640.0);
    EXPECT_EXIT(util_CreateDevice(nullptr), ::testing::ExitedWithCode(1), "display_bits :CRITICAL ERROR");
    settings_Add("display_bits", 16.0);
    EXPECT_EXIT(util_CreateDevice(nullptr), ::testing::ExitedWithCode(1), "window_size_y :CRITICAL ERROR");
    settings_Set("driver_type", 7.0);
    EXPECT_EXIT(
        {
            util_CreateDevice(nullptr);
        },
        ::testing::ExitedWithCode(1), "^CRITICAL ERROR : util_GetDriverType : unknown value");
}

TEST_F(DeviceTest, NoWindowNoDevice) {
    for (double side : {0.0, -5.0, 0.9, 1e30}) {
        settings_Release();
        settings_Allocate();
        AddDeviceSettings(0, 2);
        settings_Set("window_size_x", side);
        settings_Set("window_size_y", side);
        EXPECT_EXIT(util_CreateDevice(nullptr), ::testing::ExitedWithCode(1),
                    "CRITICAL ERROR : Could not create selected driver\\.")
            << "window side " << side;
    }
    settings_Set("window_size_x", 1);
    settings_Set("window_size_y", 1);
    // The null driver, which whatever reads as 0 selects ("two", "nan"), opens no window: the title screen would wait.
    settings_Set("driver_type", std::nan(""));
    EXPECT_EXIT(util_CreateDevice(nullptr), ::testing::ExitedWithCode(1), "Could not create selected driver\\.");
    settings_Set("driver_type", 2);
    testing::internal::CaptureStdout();
    util_CreateDevice(nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(nullptr, device) << "a window of one pixel is small but possible";
}

class ReceiverTest : public ::testing::Test {
protected:
    void SetUp() override { receiver_Reset(); }
    bool Key(EKEY_CODE key, bool pressed) {
        SEvent event{};
        event.EventType = EET_KEY_INPUT_EVENT;
        event.KeyInput.Key = key;
        event.KeyInput.PressedDown = pressed;
        return receiver.OnEvent(event);
    }
    bool Mouse(EMOUSE_INPUT_EVENT kind, float wheel = 0) {
        SEvent event{};
        event.EventType = EET_MOUSE_INPUT_EVENT;
        event.MouseInput.Event = kind;
        event.MouseInput.Wheel = wheel;
        return receiver.OnEvent(event);
    }
    int CountKeysDown() {
        int held = 0;
        for (bool key : key_down) held += key;
        return held;
    }
    MyEventReceiver receiver;
};

TEST_F(ReceiverTest, KeysAreHeldFromPressToRelease) {
    EXPECT_FALSE(Key(KEY_UP, true));
    EXPECT_TRUE(key_down[KEY_UP]);
    Key(KEY_UP, true);
    EXPECT_TRUE(key_down[KEY_UP]);
    EXPECT_FALSE(Key(KEY_UP, false));
    EXPECT_FALSE(key_down[KEY_UP]);
    // Pressed and released between two polls: the game never sees it.
    Key(KEY_SPACE, true);
    Key(KEY_SPACE, false);
    EXPECT_EQ(0, CountKeysDown());
}

TEST_F(ReceiverTest, EitherShiftKeyIsTheJumpKey) {
    Key(KEY_LSHIFT, true);
    EXPECT_TRUE(key_down[KEY_SHIFT]);
    EXPECT_TRUE(key_down[KEY_LSHIFT]);
    Key(KEY_RSHIFT, true);
    Key(KEY_LSHIFT, false);
    EXPECT_TRUE(key_down[KEY_SHIFT]);
    Key(KEY_RSHIFT, false);
    EXPECT_FALSE(key_down[KEY_SHIFT]);
    Key(KEY_SHIFT, true);
    EXPECT_TRUE(key_down[KEY_SHIFT]);
}

TEST_F(ReceiverTest, KeyCodesBeyondTheTableAreIgnored) {
    Key(KEY_OEM_CLEAR, true);
    EXPECT_TRUE(key_down[KEY_OEM_CLEAR]);
    Key(KEY_OEM_CLEAR, false);
    Key((EKEY_CODE)255, true);
    Key(KEY_KEY_CODES_COUNT, true);
    Key((EKEY_CODE)300, true);
    EXPECT_EQ(0, CountKeysDown());
    EXPECT_FALSE(mouse_left_down);
}

TEST_F(ReceiverTest, ButtonsAreHeldUntilTheirOwnRelease) {
    EXPECT_FALSE(Mouse(EMIE_LMOUSE_PRESSED_DOWN));
    Mouse(EMIE_RMOUSE_PRESSED_DOWN);
    Mouse(EMIE_MMOUSE_PRESSED_DOWN);
    EXPECT_TRUE(mouse_left_down && mouse_right_down && mouse_middle_down);
    Mouse(EMIE_RMOUSE_LEFT_UP);
    EXPECT_TRUE(mouse_left_down && !mouse_right_down && mouse_middle_down);
    Mouse(EMIE_LMOUSE_LEFT_UP);
    Mouse(EMIE_MMOUSE_LEFT_UP);
    EXPECT_FALSE(mouse_left_down || mouse_right_down || mouse_middle_down);
    Mouse(EMIE_MOUSE_MOVED);
    EXPECT_FALSE(mouse_left_down || mouse_right_down || mouse_middle_down);
    EXPECT_EQ(15.0f, mouse_wheel);
}

TEST_F(ReceiverTest, TheWheelCountsNotchesAndZeroCountsDown) {
    EXPECT_EQ(15.0f, mouse_wheel);
    Mouse(EMIE_MOUSE_WHEEL, 1.0f);
    Mouse(EMIE_MOUSE_WHEEL, 0.25f);
    EXPECT_EQ(17.0f, mouse_wheel);
    Mouse(EMIE_MOUSE_WHEEL, 0.0f);
    EXPECT_EQ(16.0f, mouse_wheel);
    Mouse(EMIE_MOUSE_WHEEL, -3.0f);
    EXPECT_EQ(15.0f, mouse_wheel);
}

// The engine would print a log line that no receiver takes on standard output, among the game's own lines.
TEST_F(ReceiverTest, EngineLogLinesGoToTheErrorStreamAndOtherEventsChangeNothing) {
    SEvent event{};
    event.EventType = EET_LOG_TEXT_EVENT;
    event.LogEvent.Text = "Could not load font because the file does not exist: data/fontcourier.bmp";
    event.LogEvent.Level = ELL_ERROR;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(receiver.OnEvent(event));
    EXPECT_EQ("Could not load font because the file does not exist: data/fontcourier.bmp\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    event = SEvent{};
    event.EventType = EET_GUI_EVENT;
    EXPECT_FALSE(receiver.OnEvent(event));
    EXPECT_EQ(0, CountKeysDown());
    Key(KEY_ESCAPE, true);
    Mouse(EMIE_LMOUSE_PRESSED_DOWN);
    Mouse(EMIE_MOUSE_WHEEL, -1.0f);
    receiver_Reset();
    EXPECT_EQ(0, CountKeysDown());
    EXPECT_FALSE(mouse_left_down);
    EXPECT_EQ(15.0f, mouse_wheel);
}

}  // namespace
