// Starts GTK for the GUI tests (only when tests run, so that listing them
// needs no display).

#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>

namespace {

class GtkEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
        gdk_set_allowed_backends("x11");
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "the GUI tests need an X11 display";
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new GtkEnvironment);
    return RUN_ALL_TESTS();
}
