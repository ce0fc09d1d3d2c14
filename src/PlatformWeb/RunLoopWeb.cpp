// Run loops in a web page: one thread, which never sleeps in a loop of ours;
// the page's animation frames run the passes, and tracking a drag needs none
// (its events come one by one from the page).
#include <emscripten/html5.h>

#include "PlatformUI/RunLoop.h"
#include "PlatformWeb/CanvasPrivate.h"
#include "PlatformWeb/CanvasWindow.h"

namespace platform_ui {

LoopWaiter* newLoopWaiter() { return new LoopWaiter; }
void deleteLoopWaiter(LoopWaiter* waiter) { delete waiter; }
void wakeLoop(LoopWaiter*) {}  // posted work runs at the next frame
void clearLoopWakes(LoopWaiter*) {}

}  // namespace platform_ui

namespace {

EM_BOOL runPass(double, void* loop) {
    RunLoopRunDue(static_cast<CFRunLoopRef>(loop));
    return EM_TRUE;  // and at the next frame
}

}  // namespace

void RunLoopRunOnAnimationFrames(CFRunLoopRef loop) {
    if (!loop || loop->waiter->onAnimationFrames) return;
    loop->waiter->onAnimationFrames = true;
    emscripten_request_animation_frame_loop(runPass, loop);
}
