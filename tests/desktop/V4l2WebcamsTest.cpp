#include <dirent.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/desktop/V4l2Webcams.h"

using desktop::V4l2Webcams;

namespace {

int openDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir)) ++count;
    closedir(dir);
    return count;
}

class V4l2WebcamsTest : public ::testing::Test {
protected:
    // Device 1 is a regular file, 2 a character device that is no V4L2 device,
    // the others are missing.
    V4l2WebcamsTest() {
        g_autofree gchar* folder = g_dir_make_tmp("v4l2-XXXXXX", nullptr);
        folder_ = folder;
        g_file_set_contents((folder_ + "/video1").c_str(), "not a device", -1, nullptr);
        EXPECT_EQ(symlink("/dev/null", (folder_ + "/video2").c_str()), 0);
    }
    ~V4l2WebcamsTest() override {
        for (const char* name : {"/video1", "/video2"}) unlink((folder_ + name).c_str());
        rmdir(folder_.c_str());
    }
    std::string prefix() const { return folder_ + "/video"; }

    std::string folder_;
};

TEST_F(V4l2WebcamsTest, OnlyVideoCaptureDevicesCountAndNothingStaysOpen) {
    const int before = openDescriptors();
    EXPECT_FALSE(V4l2Webcams(false, prefix()).webcamPresent());
    EXPECT_EQ(openDescriptors(), before) << "a refused device stays open";
    EXPECT_TRUE(V4l2Webcams(true, prefix()).webcamPresent()) << "the simulated camera";
}

}  // namespace
