#pragma once
// The message box on GTK: a modal message dialog without an icon, with the
// buttons Yes and No (Yes is the default). Closing it counts as No.

#include "platform/Failure.h"
#include "platform/Services.h"

typedef struct _GtkWindow GtkWindow;

namespace desktop {

class GtkMessageBox : public platform::MessageBoxService {
public:
    // The dialog is transient for parent, which may be null.
    explicit GtkMessageBox(GtkWindow* parent);

    // Answers IDYES or IDNO. Throws Failure for buttons other than MB_YESNO,
    // and when there is no display.
    int MsgBox(const std::string& prompt, std::uint32_t buttons, const std::string& title) override;

private:
    GtkWindow* parent_;
};

}  // namespace desktop
