#include "platform/linux/GtkMessageBox.h"

#include <gtk/gtk.h>

namespace desktop {

namespace {

// The button set is the low four bits; the rest choose icons and modality.
constexpr std::uint32_t kButtonSetMask = 0xF;

}  // namespace

GtkMessageBox::GtkMessageBox(GtkWindow* parent) : parent_(parent) {}

int GtkMessageBox::MsgBox(const std::string& prompt, std::uint32_t buttons,
                          const std::string& title) {
    if ((buttons & kButtonSetMask) != platform::MB_YESNO) {
        throw platform::Failure("unsupported message box buttons");
    }
    if (!gdk_display_get_default()) throw platform::Failure("no display for the message box");

    gchar* text = g_utf8_make_valid(prompt.c_str(), static_cast<gssize>(prompt.size()));
    GtkWidget* dialog = gtk_message_dialog_new(parent_, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                               GTK_BUTTONS_NONE, "%s", text);
    g_free(text);
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Yes", GTK_RESPONSE_YES, "_No", GTK_RESPONSE_NO,
                           nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
    gchar* caption = g_utf8_make_valid(title.c_str(), static_cast<gssize>(title.size()));
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    g_free(caption);

    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == GTK_RESPONSE_YES ? platform::IDYES : platform::IDNO;
}

}  // namespace desktop
