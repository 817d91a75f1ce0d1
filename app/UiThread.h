// Calls into the user-interface thread from an engine operation's thread.
// A call made on the user-interface thread itself runs directly, so the
// same handler works whether an operation runs on a worker or not.
#pragma once

#include <functional>

namespace vz {

bool OnUserInterfaceThread();
// Runs `fn` on the user-interface thread and waits for it; an exception it
// throws is thrown again in the caller. Only for short work and prompts: the
// user-interface thread must never wait for the caller.
void RunOnUiThread(const std::function<void()>& fn);
// Queues `fn` for the user-interface thread and returns at once.
void PostToUiThread(std::function<void()> fn);

}  // namespace vz
