// The GTK dialogs, answered from inside the test while they run modally.
// Needs an X display.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "platform/desktop/GtkMessageBox.h"
#include "platform/desktop/GtkSaveDialog.h"

using desktop::GtkMessageBox;
using desktop::GtkSaveDialog;

namespace {

const std::vector<platform::FileType> kWmv = {{"wmv File (*.wmv)", {"*.wmv"}}};

// Every 50 ms, while a visible toplevel of the given type is shown, hands it
// to step until step returns true (done) or about 20 s have passed; then a
// dialog still shown is closed.
void answerWhenShown(GType type, std::function<bool(GtkWidget*)> step) {
    struct Pending {
        GType type;
        std::function<bool(GtkWidget*)> step;
        int ticksLeft = 400;
    };
    g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            auto* pending = static_cast<Pending*>(data);
            GList* toplevels = gtk_window_list_toplevels();
            GtkWidget* shown = nullptr;
            for (GList* item = toplevels; item && !shown; item = item->next) {
                auto* widget = GTK_WIDGET(item->data);
                if (G_TYPE_CHECK_INSTANCE_TYPE(widget, pending->type) &&
                    gtk_widget_get_mapped(widget)) {
                    shown = widget;
                }
            }
            g_list_free(toplevels);
            const bool done = shown && pending->step(shown);
            if (done || --pending->ticksLeft == 0) {
                if (!done) {
                    ADD_FAILURE() << "the dialog was not answered";
                    // Let the modal run return so that the test can end.
                    if (shown) gtk_dialog_response(GTK_DIALOG(shown), GTK_RESPONSE_DELETE_EVENT);
                }
                delete pending;
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        },
        new Pending{type, std::move(step)});
}

class DialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Keep the file chooser's remembered settings in memory, away from the desktop's.
        g_setenv("GSETTINGS_BACKEND", "memory", TRUE);
        // A home of our own, whose videos folder is "Clips", before GLib reads either.
        home = g_dir_make_tmp("home-XXXXXX", nullptr);
        std::filesystem::create_directories(home / ".config");
        std::filesystem::create_directories(home / "Clips");
        g_file_set_contents((home / ".config/user-dirs.dirs").c_str(),
                            "XDG_VIDEOS_DIR=\"$HOME/Clips\"\n", -1, nullptr);
        g_setenv("HOME", home.c_str(), TRUE);
        g_unsetenv("XDG_CONFIG_HOME");
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "these tests need an X display";
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(home); }
    static inline std::filesystem::path home;
};

TEST_F(DialogsTest, SaveDialogReturnsTheChosenPathOrNothing) {
    g_autofree gchar* fresh = g_dir_make_tmp("save-XXXXXX", nullptr);
    const std::filesystem::path folder = fresh;  // empty: no overwrite question
    GtkSaveDialog dialog(nullptr);
    for (const bool accept : {true, false}) {
        SCOPED_TRACE(accept ? "saved" : "cancelled");
        bool named = false;
        answerWhenShown(GTK_TYPE_FILE_CHOOSER_DIALOG, [&](GtkWidget* widget) {
            GtkFileChooser* chooser = GTK_FILE_CHOOSER(widget);
            if (named) {
                // The chooser takes a new folder and name asynchronously.
                g_autofree gchar* chosen = gtk_file_chooser_get_filename(chooser);
                if (!chosen) return false;
                gtk_dialog_response(GTK_DIALOG(widget),
                                    accept ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
                return true;
            }
            named = true;
            EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SAVE);
            EXPECT_TRUE(gtk_file_chooser_get_do_overwrite_confirmation(chooser));
            EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(widget)));
            GSList* filters = gtk_file_chooser_list_filters(chooser);
            EXPECT_EQ(g_slist_length(filters), 1u);
            if (filters) {
                EXPECT_STREQ(gtk_file_filter_get_name(GTK_FILE_FILTER(filters->data)),
                             "wmv File (*.wmv)");
            }
            g_slist_free(filters);
            gtk_file_chooser_set_current_folder(chooser, folder.c_str());
            gtk_file_chooser_set_current_name(chooser, "recording");
            return false;
        });
        // Nothing is appended to the name the user typed.
        EXPECT_EQ(dialog.askSavePath(kWmv), accept ? (folder / "recording").string() : "");
    }
    std::filesystem::remove(folder);
}

// The dialog opens in the videos folder, or in the home folder when that is
// missing, then where the last file was chosen; ".wmv" matches in any case.
TEST_F(DialogsTest, SaveDialogOpensInTheVideosFolderAndMatchesAnyCase) {
    const auto chosen = home / "Clips" / "mine";
    std::filesystem::create_directories(chosen);
    struct Case {
        const char* name;
        std::function<void()> before;
        std::filesystem::path opensIn;
        GtkResponseType answer;
    } cases[] = {
        {"videos", [] {}, home / "Clips", GTK_RESPONSE_ACCEPT},
        {"last chosen", [] {}, chosen, GTK_RESPONSE_CANCEL},
        {"no videos", [&] { std::filesystem::remove_all(home / "Clips"); }, home,
         GTK_RESPONSE_CANCEL},
    };
    GtkSaveDialog dialog(nullptr);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        bool looked = false;
        answerWhenShown(GTK_TYPE_FILE_CHOOSER_DIALOG, [&](GtkWidget* widget) {
            GtkFileChooser* chooser = GTK_FILE_CHOOSER(widget);
            if (!looked) {
                // The chooser takes its folder asynchronously.
                g_autofree gchar* folder = gtk_file_chooser_get_current_folder(chooser);
                if (!folder) return false;
                looked = true;
                EXPECT_EQ(folder, c.opensIn.string());
                GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
                EXPECT_TRUE(filter);
                for (const auto& [name, listed] : {std::pair{"a.wmv", true},
                                                   {"B.WMV", true},
                                                   {"c.Wmv", true},
                                                   {"d.wmvx", false},
                                                   {"e.txt", false}}) {
                    GtkFileFilterInfo info{};
                    info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
                    info.display_name = name;
                    EXPECT_EQ(filter && gtk_file_filter_filter(filter, &info), listed) << name;
                }
            }
            if (c.answer == GTK_RESPONSE_ACCEPT) {
                gtk_file_chooser_set_current_folder(chooser, chosen.c_str());
                gtk_file_chooser_set_current_name(chooser, "x.wmv");
                g_autofree gchar* file = gtk_file_chooser_get_filename(chooser);
                if (!file || file != (chosen / "x.wmv").string()) return false;
            }
            gtk_dialog_response(GTK_DIALOG(widget), c.answer);
            return true;
        });
        dialog.askSavePath(kWmv);
    }
}

TEST_F(DialogsTest, SaveDialogRefusesATypeWithoutDescriptionOrPattern) {
    GtkSaveDialog dialog(nullptr);
    for (const platform::FileType& bad :
         {platform::FileType{"", {"*.wmv"}}, {"Video", {}}, {"Video", {""}}}) {
        EXPECT_THROW(dialog.askSavePath({bad}), support::Failure) << bad.description;
    }
}

TEST_F(DialogsTest, MessageBoxAnswersYesOrNo) {
    struct Case {
        const char* name;
        std::function<void(GtkWidget*)> act;
        platform::MessageAnswer expected;
    };
    const std::vector<Case> cases = {
        {"Yes", [](GtkWidget* w) { gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_YES); },
         platform::MessageAnswer::Yes},
        {"No", [](GtkWidget* w) { gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_NO); },
         platform::MessageAnswer::No},
        {"closed", [](GtkWidget* w) { gtk_window_close(GTK_WINDOW(w)); },
         platform::MessageAnswer::No},
        {"default button", [](GtkWidget* w) { gtk_window_activate_default(GTK_WINDOW(w)); },
         platform::MessageAnswer::Yes},
    };
    GtkMessageBox box(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        answerWhenShown(GTK_TYPE_MESSAGE_DIALOG, [&](GtkWidget* widget) {
            EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(widget)), "Whirligigcam");
            EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(widget)));
            GtkMessageType type;
            g_object_get(widget, "message-type", &type, nullptr);
            EXPECT_EQ(type, GTK_MESSAGE_OTHER);
            c.act(widget);
            return true;
        });
        EXPECT_EQ(box.ask("Upload the recording now?", platform::MessageButtons::YesNo, false,
                          "Whirligigcam"),
                  c.expected);
    }
}

TEST_F(DialogsTest, MessageBoxTellsWithOkAlone) {
    GtkMessageBox box(nullptr);
    answerWhenShown(GTK_TYPE_MESSAGE_DIALOG, [&](GtkWidget* widget) {
        GtkMessageType type;
        g_object_get(widget, "message-type", &type, nullptr);
        EXPECT_EQ(type, GTK_MESSAGE_WARNING);
        GtkDialog* dialog = GTK_DIALOG(widget);
        EXPECT_TRUE(gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_OK));
        EXPECT_FALSE(gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_YES));
        EXPECT_FALSE(gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_NO));
        gtk_window_close(GTK_WINDOW(widget));
        return true;
    });
    EXPECT_EQ(box.ask("It failed.", platform::MessageButtons::Ok, true, "Whirligigcam"),
              platform::MessageAnswer::Ok);
}

}  // namespace
