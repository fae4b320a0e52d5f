#pragma once
// The message box on GTK: a modal message dialog with the buttons Yes and No
// (Yes is the default; closing it counts as No), or with OK alone; an icon
// only when one is asked for.

#include "support/Failure.h"
#include "platform/Services.h"

typedef struct _GtkWindow GtkWindow;

namespace desktop {

class GtkMessageBox : public platform::MessageBoxService {
public:
    // The dialog is transient for parent, which may be null.
    explicit GtkMessageBox(GtkWindow* parent);

    // Throws Failure when there is no display.
    platform::MessageAnswer ask(const std::string& text, platform::MessageButtons buttons,
                                bool warning, const std::string& title) override;

private:
    GtkWindow* parent_;
};

}  // namespace desktop
