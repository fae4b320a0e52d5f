#pragma once
// What the update check's outcome leaves: whether an update is offered, and
// the start page's buttons bound to the window.

#include "app/EventBoundRef.h"

namespace update {

struct UpdateOutcomeState {
    bool UpdateOffered = false;
    app::EventBoundRef butCancelUpdate;
};

}  // namespace update
