// The page's panel, in the module that holds the page's instance: the
// instrument's own view, opened as `velmora edit` opens it, on the page's
// <canvas>, editing that instance (as the LV2 UI edits its own). A change made
// on the panel reaches the page at once (Module.onPanelChange), which sends it
// to the worklet that sounds; the page tells the panel of every change it makes
// itself, and nothing of those comes back.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "Binding/VelmoraViewEntry.h"
#include "PlatformUI/AUListener.h"
#include "PlatformUI/AudioUnitCarbonView.h"
#include "PlatformUI/Bundles.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "PlatformWeb/CanvasWindow.h"
#include "Velmora/VelmoraParameters.h"
#include "WebExports.h"

// clang-format off
EM_JS(void, velmora_js_panel_changed, (std::uint32_t id, float value), {
    if (Module.onPanelChange) Module.onPanelChange(id, value);
});
// clang-format on

namespace {

// The bundle in the module's memory file system, where the page puts the
// pictures it loaded for the panel's scale before it opens the panel.
const std::string kBundleFolder = "/velmora/Velmora.component";

struct Panel {
    AudioUnit unit = nullptr;
    ComponentInstance view = nullptr;
    WindowRef window = nullptr;
    AUParameterListenerRef forwarder = nullptr;

    AudioUnitParameter parameter(UInt32 id) const { return {unit, id, kAudioUnitScope_Global, 0}; }

    ~Panel() {
        if (view) CloseComponent(view);  // the view goes before its window
        if (window) DisposeWindow(window);
        if (forwarder) AUListenerDispose(forwarder);
    }
};

// A change made on the panel: to the page at once.
void forward(void*, void*, const AudioUnitParameter* p, AudioUnitParameterValue value) {
    velmora_js_panel_changed(p->mParameterID, value);
}

OSStatus open(Panel& panel, const char* canvasId, double scale) {
    RegisterVelmoraView(kBundleFolder);
    SetPictureScale(scale);
    const SInt16 width = 850, height = 590;  // the window takes the pane's size below
    OSStatus status = CreateCanvasWindow(canvasId, width, height, scale, &panel.window);
    if (status != noErr) return status;
    status = OpenAComponent(FindNextComponent(nullptr, kVelmoraViewDescription), &panel.view);
    if (status != noErr) return status;
    ControlRef root = nullptr, pane = nullptr;
    GetRootControl(panel.window, &root);
    const Float32Point location{0, 0}, size{width, height};
    status = AudioUnitCarbonViewCreate(panel.view, panel.unit, panel.window, root, &location, &size, &pane);
    if (status != noErr) return status;
    Rect bounds;
    GetControlBounds(pane, &bounds);
    SizeWindow(panel.window, bounds.right, bounds.bottom);

    AUListenerCreate(forward, &panel, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.0f, &panel.forwarder);
    for (UInt32 id = 0; id < kNumberOfParameters; ++id) {
        const AudioUnitParameter p = panel.parameter(id);
        AUListenerAddParameter(panel.forwarder, &panel, &p);
    }
    UpdateWindow(panel.window);
    RunLoopRunOnAnimationFrames(CFRunLoopGetCurrent());
    return noErr;
}

}  // namespace

// The scale the panel is drawn at for the screen's devicePixelRatio: 1, 1.5 or 2.
VM_EXPORT(vm_panel_scale) double vmPanelScale(double devicePixelRatio) {
    return NearestWindowScale(devicePixelRatio > 0 && devicePixelRatio < 100 ? devicePixelRatio : 1.0);
}

// The folder the panel's pictures go in.
VM_EXPORT(vm_panel_resources) const char* vmPanelResources() {
    static const std::string folder = kBundleFolder + "/Contents/Resources";
    return folder.c_str();
}

// The panel of the instance on the page's canvas of that id, at that scale;
// linear knobs turn by dragging, as with `velmora edit --knob-mode linear`.
// Null when it cannot open.
VM_EXPORT(vm_panel_open)
Panel* vmPanelOpen(Handle* h, const char* canvasId, double scale, std::int32_t linearKnobs) {
    // The panel reads the knob mode where every host of it can set it.
    setenv("VELMORA_KNOB_MODE", linearKnobs ? "linear" : "angle", 1);
    auto* panel = new (std::nothrow) Panel;
    if (!panel) return nullptr;
    panel->unit = h->instrument.driver().unit();
    OSStatus status = -1;
    try {
        status = open(*panel, canvasId, scale);
    } catch (...) {}
    if (status != noErr) {
        delete panel;
        return nullptr;
    }
    return panel;
}

VM_EXPORT(vm_panel_close) void vmPanelClose(Panel* panel) { delete panel; }

// The page changed a parameter of the instance (or all of them: id -1, after
// a preset or a state): the panel follows within 0.1 s.
VM_EXPORT(vm_panel_notify) void vmPanelNotify(Panel* panel, std::int32_t id) {
    for (UInt32 i = 0; i < kNumberOfParameters; ++i) {
        if (id >= 0 && UInt32(id) != i) continue;
        const AudioUnitParameter p = panel->parameter(i);
        AUParameterListenerNotify(panel->forwarder, panel, &p);
    }
}
