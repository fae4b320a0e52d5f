#include <dirent.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/linux/V4l2CaptureService.h"

using desktop::V4l2CaptureService;
using platform::WM_CAP_DRIVER_CONNECT;
using platform::WM_CAP_DRIVER_DISCONNECT;

namespace {

int openDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir)) ++count;
    closedir(dir);
    return count;
}

class V4l2CaptureServiceTest : public ::testing::Test {
protected:
    // Driver 1 is a regular file, 2 a character device that is no V4L2 device,
    // the others are missing.
    V4l2CaptureServiceTest() {
        g_autofree gchar* folder = g_dir_make_tmp("v4l2-XXXXXX", nullptr);
        folder_ = folder;
        g_file_set_contents((folder_ + "/video1").c_str(), "not a device", -1, nullptr);
        EXPECT_EQ(symlink("/dev/null", (folder_ + "/video2").c_str()), 0);
    }
    ~V4l2CaptureServiceTest() override {
        for (const char* name : {"/video1", "/video2"}) unlink((folder_ + name).c_str());
        rmdir(folder_.c_str());
    }
    std::string prefix() const { return folder_ + "/video"; }

    std::string folder_;
};

platform::WindowHandle probe(V4l2CaptureService& service) {
    return service.capCreateCaptureWindowA("CaptureWindow", 0x50000000, 0, 0, 0, 0, 0, 0);
}

TEST_F(V4l2CaptureServiceTest, ConnectsOnlyToVideoCaptureDevices) {
    V4l2CaptureService service(false, prefix());
    const auto window = probe(service);
    ASSERT_NE(window, 0);
    const int before = openDescriptors();
    for (platform::WPARAM driver : {0u, 1u, 2u, 9u, 10u, 1000u}) {
        EXPECT_EQ(service.SendMessageA(window, WM_CAP_DRIVER_CONNECT, driver, 0), 0) << driver;
    }
    EXPECT_EQ(openDescriptors(), before) << "a refused device stays open";
    service.DestroyWindow(window);
}

TEST_F(V4l2CaptureServiceTest, SimulatedDriverZeroConnects) {
    V4l2CaptureService service(true, prefix());
    const auto window = probe(service);
    EXPECT_EQ(service.SendMessageA(window, WM_CAP_DRIVER_CONNECT, 0, 0), 1);
    EXPECT_EQ(service.SendMessageA(window, WM_CAP_DRIVER_CONNECT, 1, 0), 0);
    EXPECT_EQ(service.SendMessageA(window, WM_CAP_DRIVER_CONNECT, 10, 0), 0);
    service.SendMessageA(window, WM_CAP_DRIVER_DISCONNECT, 0, 0);
}

TEST_F(V4l2CaptureServiceTest, ProbesAreSeparateAndGoAway) {
    V4l2CaptureService service(true, prefix());
    const auto first = probe(service);
    const auto second = probe(service);
    EXPECT_NE(first, second);
    service.DestroyWindow(first);
    EXPECT_THROW(service.SendMessageA(first, WM_CAP_DRIVER_CONNECT, 0, 0), platform::Failure);
    EXPECT_THROW(service.SendMessageA(0, WM_CAP_DRIVER_CONNECT, 0, 0), platform::Failure);
    EXPECT_EQ(service.SendMessageA(second, WM_CAP_DRIVER_CONNECT, 0, 0), 1);
    // Disconnecting what is not connected, or no probe at all, changes nothing.
    EXPECT_NO_THROW(service.SendMessageA(first, WM_CAP_DRIVER_DISCONNECT, 0, 0));
    EXPECT_NO_THROW(service.SendMessageA(0, WM_CAP_DRIVER_DISCONNECT, 0, 0));
    EXPECT_NO_THROW(service.DestroyWindow(first));
    EXPECT_NO_THROW(service.DestroyWindow(0));
}

}  // namespace
