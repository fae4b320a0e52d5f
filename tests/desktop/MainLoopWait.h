#pragma once
// Runs the default main context until a condition holds or a generous limit
// passes. Returns whether the condition holds.

#include <glib.h>

#include <chrono>

namespace testing_support {

template <class Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    bool expired = false;
    const guint timer = g_timeout_add(
        static_cast<guint>(limit.count()),
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &expired);
    while (!condition() && !expired) g_main_context_iteration(nullptr, TRUE);
    if (!expired) g_source_remove(timer);
    return condition();
}

}  // namespace testing_support
