#include "platform/desktop/GtkMessageBox.h"

#include <gtk/gtk.h>

namespace desktop {

namespace {

// The button set is the low four bits, the icon the next four.
constexpr std::uint32_t kButtonSetMask = 0xF;
constexpr std::uint32_t kIconMask = 0xF0;

// The exclamation mark is the one icon the client asks for.
GtkMessageType iconType(std::uint32_t buttons) {
    return (buttons & kIconMask) == platform::MB_ICONEXCLAMATION ? GTK_MESSAGE_WARNING
                                                                 : GTK_MESSAGE_OTHER;
}

}  // namespace

GtkMessageBox::GtkMessageBox(GtkWindow* parent) : parent_(parent) {}

int GtkMessageBox::MsgBox(const std::string& prompt, std::uint32_t buttons,
                          const std::string& title) {
    const std::uint32_t set = buttons & kButtonSetMask;
    if (set != platform::MB_OK && set != platform::MB_YESNO) {
        throw platform::Failure("unsupported message box buttons");
    }
    if (!gdk_display_get_default()) throw platform::Failure("no display for the message box");

    g_autofree gchar* text = g_utf8_make_valid(prompt.c_str(), static_cast<gssize>(prompt.size()));
    GtkWidget* dialog = gtk_message_dialog_new(parent_, GTK_DIALOG_MODAL, iconType(buttons),
                                               GTK_BUTTONS_NONE, "%s", text);
    if (set == platform::MB_OK) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    } else {
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Yes", GTK_RESPONSE_YES, "_No", GTK_RESPONSE_NO,
                               nullptr);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
    }
    g_autofree gchar* caption = g_utf8_make_valid(title.c_str(), static_cast<gssize>(title.size()));
    gtk_window_set_title(GTK_WINDOW(dialog), caption);

    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    if (set == platform::MB_OK) return platform::IDOK;
    return response == GTK_RESPONSE_YES ? platform::IDYES : platform::IDNO;
}

}  // namespace desktop
