#include "platform/desktop/GtkMessageBox.h"

#include <gtk/gtk.h>

namespace desktop {

GtkMessageBox::GtkMessageBox(GtkWindow* parent) : parent_(parent) {}

platform::MessageAnswer GtkMessageBox::ask(const std::string& prompt,
                                           platform::MessageButtons buttons, bool warning,
                                           const std::string& title) {
    using platform::MessageAnswer;
    const bool yesNo = buttons == platform::MessageButtons::YesNo;
    if (!gdk_display_get_default()) throw support::Failure("no display for the message box");

    g_autofree gchar* text = g_utf8_make_valid(prompt.c_str(), static_cast<gssize>(prompt.size()));
    GtkWidget* dialog = gtk_message_dialog_new(parent_, GTK_DIALOG_MODAL,
                                               warning ? GTK_MESSAGE_WARNING : GTK_MESSAGE_OTHER,
                                               GTK_BUTTONS_NONE, "%s", text);
    if (!yesNo) {
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
    if (!yesNo) return MessageAnswer::Ok;
    return response == GTK_RESPONSE_YES ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace desktop
