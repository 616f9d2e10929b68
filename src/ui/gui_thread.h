// Runs a piece of work on a window's thread and waits for it: how a job's
// thread shows something (or asks something) without touching a widget itself.
#pragma once

#include <functional>

class QObject;

namespace quorvane {

// Runs `work` on the thread of `context` and returns once it has run. Called
// on that thread, it runs `work` directly (queuing it would wait forever).
void runOnGuiThreadAndWait(QObject& context, const std::function<void()>& work);

}  // namespace quorvane
