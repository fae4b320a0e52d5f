#pragma once
// The save-file dialog on GTK: a modal file chooser that asks before
// overwriting a file. It opens in the folder of the last file chosen, at
// first in the desktop's videos folder (the home folder when there is none).
// The types' patterns match names in any case; no default name or extension
// is added to the user's choice.

#include <string>
#include <vector>

#include "platform/Services.h"
#include "support/Failure.h"

typedef struct _GtkWindow GtkWindow;

namespace desktop {

class GtkSaveDialog : public platform::SaveDialog {
public:
    // The dialog is transient for parent, which may be null.
    explicit GtkSaveDialog(GtkWindow* parent);

    // Runs the dialog until the user closes it. Throws Failure without a
    // display, and for a type without a description or a pattern.
    std::string askSavePath(const std::vector<platform::FileType>& types) override;

private:
    GtkWindow* parent_;
    std::string lastFolder_;
};

}  // namespace desktop
