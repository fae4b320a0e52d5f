#include "platform/desktop/GtkSaveDialog.h"

#include <gtk/gtk.h>

#include <algorithm>

namespace desktop {

namespace {

// "*.wmv" -> "*.[wW][mM][vV]": GTK 3 matches patterns case-sensitively, and
// files named on other systems often end in ".WMV".
std::string anyCase(const std::string& pattern) {
    std::string result;
    bool inClass = false;
    for (char c : pattern) {
        if (c == '[') inClass = true;
        if (!inClass && g_ascii_isalpha(c)) {
            result += '[';
            result += g_ascii_tolower(c);
            result += g_ascii_toupper(c);
            result += ']';
        } else {
            result += c;
        }
        if (c == ']') inClass = false;
    }
    return result;
}

// The desktop's videos folder when it exists, else the home folder.
std::string videosFolder() {
    const gchar* videos = g_get_user_special_dir(G_USER_DIRECTORY_VIDEOS);
    if (videos && g_file_test(videos, G_FILE_TEST_IS_DIR)) return videos;
    return g_get_home_dir();
}

}  // namespace

GtkSaveDialog::GtkSaveDialog(GtkWindow* parent) : parent_(parent) {}

std::string GtkSaveDialog::askSavePath(const std::vector<platform::FileType>& types) {
    for (const auto& type : types) {
        const bool noPattern = std::all_of(type.patterns.begin(), type.patterns.end(),
                                           [](const std::string& p) { return p.empty(); });
        if (type.description.empty() || noPattern)
            throw support::Failure("a file type without a description or a pattern");
    }
    if (!gdk_display_get_default()) throw support::Failure("no display for the save dialog");
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new("Save As", parent_, GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    for (const auto& type : types) {
        GtkFileFilter* filter = gtk_file_filter_new();
        g_autofree gchar* name = g_utf8_make_valid(type.description.c_str(), -1);
        gtk_file_filter_set_name(filter, name);
        for (const auto& pattern : type.patterns)
            if (!pattern.empty()) gtk_file_filter_add_pattern(filter, anyCase(pattern).c_str());
        gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
    }

    // The folder of the last file chosen in this run, at first the videos folder.
    const std::string folder =
        !lastFolder_.empty() && g_file_test(lastFolder_.c_str(), G_FILE_TEST_IS_DIR)
            ? lastFolder_
            : videosFolder();
    gtk_file_chooser_set_current_folder(chooser, folder.c_str());

    std::string path;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        g_autofree gchar* chosen = gtk_file_chooser_get_filename(chooser);
        if (chosen) {
            path = chosen;
            g_autofree gchar* parent = g_path_get_dirname(chosen);
            lastFolder_ = parent;
        }
    }
    gtk_widget_destroy(dialog);
    return path;
}

}  // namespace desktop
