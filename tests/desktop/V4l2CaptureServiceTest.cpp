#include <dirent.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/desktop/V4l2CaptureService.h"

using desktop::V4l2CaptureService;

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

TEST_F(V4l2CaptureServiceTest, ConnectsOnlyToVideoCaptureDevices) {
    V4l2CaptureService service(false, prefix());
    const auto probe = service.openProbe();
    ASSERT_NE(probe, 0);
    const int before = openDescriptors();
    for (int driver : {0, 1, 2, 9, 10, 1000, -1})
        EXPECT_FALSE(service.connectDriver(probe, driver)) << driver;
    EXPECT_EQ(openDescriptors(), before) << "a refused device stays open";
    service.closeProbe(probe);
}

TEST_F(V4l2CaptureServiceTest, SimulatedDriverZeroConnects) {
    V4l2CaptureService service(true, prefix());
    const auto probe = service.openProbe();
    EXPECT_TRUE(service.connectDriver(probe, 0));
    EXPECT_FALSE(service.connectDriver(probe, 1));
    EXPECT_FALSE(service.connectDriver(probe, 10));
    service.disconnectDriver(probe);
}

TEST_F(V4l2CaptureServiceTest, ProbesAreSeparateAndGoAway) {
    V4l2CaptureService service(true, prefix());
    const auto first = service.openProbe();
    const auto second = service.openProbe();
    EXPECT_NE(first, second);
    service.closeProbe(first);
    EXPECT_THROW(service.connectDriver(first, 0), platform::Failure);
    EXPECT_THROW(service.connectDriver(0, 0), platform::Failure);
    EXPECT_TRUE(service.connectDriver(second, 0));
    // Disconnecting what is not connected, or no probe at all, changes nothing.
    EXPECT_NO_THROW(service.disconnectDriver(first));
    EXPECT_NO_THROW(service.disconnectDriver(0));
    EXPECT_NO_THROW(service.closeProbe(first));
    EXPECT_NO_THROW(service.closeProbe(0));
}

}  // namespace
