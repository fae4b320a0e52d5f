#pragma once
// The save-file dialog on GTK: a modal file chooser that asks before
// overwriting a file. It opens in the folder of the last file chosen, at
// first in the desktop's videos folder (the home folder when there is none).
// Only the filter is configurable, and its patterns match names in any case;
// no default name or extension is added to the user's choice.

#include <string>
#include <utility>
#include <vector>

#include "support/Failure.h"
#include "platform/Services.h"

typedef struct _GtkWindow GtkWindow;

namespace desktop {

class GtkSaveDialog : public platform::SaveDialog {
public:
    // The dialog is transient for parent, which may be null.
    explicit GtkSaveDialog(GtkWindow* parent);

    // "description|pattern|description|pattern...": one filter per pair; a
    // pattern may list several globs separated by ';'. Throws Failure for an
    // odd number of parts or an empty description or pattern.
    void setFilter(const std::string& filter) override;
    // Runs the dialog until the user closes it. Throws Failure without a display.
    void ShowSave() override;
    std::string FileName() override { return fileName_; }

    struct FilterEntry {
        std::string description;
        std::vector<std::string> patterns;
    };
    const std::vector<FilterEntry>& filters() const { return filters_; }

private:
    GtkWindow* parent_;
    std::vector<FilterEntry> filters_;
    std::string fileName_;
    std::string lastFolder_;
};

}  // namespace desktop
