// The LV2 UI: the panel, embedded in the host's window (or in a window of its
// own through ui:showInterface), editing a local instance of the instrument
// that is kept in step with the host's control ports.
//
// Port values from the host set the local instance through the listener
// service with the forwarding listener as sender, so the panel's controls
// follow and nothing goes back; a change made on the panel reaches the
// forwarding listener at once and goes to the host with write_function.
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Binding/VelmoraEntry.h"
#include "Binding/VelmoraViewEntry.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "PlatformUI/AUListener.h"
#include "PlatformUI/AudioUnitCarbonView.h"
#include "PlatformUI/Bundles.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "Velmora/VelmoraParameters.h"
#include "plugins/lv2/VelmoraPorts.h"

namespace {

constexpr const char* kUiURI = "urn:velmora:instrument#ui";
constexpr const char* kScaleFactorURI = "http://lv2plug.in/ns/extensions/ui#scaleFactor";

struct VelmoraUI {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    LV2UI_Resize* resize = nullptr;
    unsigned long parent = 0;
    double scale = 1.0;

    LV2UI_Touch* touch = nullptr;  // the host's, when it offers one

    AudioUnit unit = nullptr;
    ComponentInstance view = nullptr;
    WindowRef window = nullptr;
    AUParameterListenerRef forwarder = nullptr;
    // Per parameter: the gestures the panel holds on it (a wheel burst and a
    // drag may overlap), and the value the host last had from either side.
    int held[kNumberOfParameters] = {};
    UInt32 hostValue[kNumberOfParameters] = {};

    AudioUnitParameter parameter(UInt32 id) const { return {unit, id, kAudioUnitScope_Global, 0}; }
    void grab(UInt32 id, bool grabbed) {
        if (touch) touch->touch(touch->handle, kFirstParameterPort + id, grabbed);
    }
    void send(UInt32 id, float value) {
        hostValue[id] = std::bit_cast<UInt32>(value);
        write(controller, kFirstParameterPort + id, sizeof(float), 0, &value);
    }
};

// A change made on the panel: to the host at once. Outside a gesture (the
// panel also re-announces the control clicked before) only a changed value
// goes, in a short gesture of its own, so that touch automation records it.
void forward(void* refCon, void*, const AudioUnitParameter* p, AudioUnitParameterValue value) {
    auto* ui = static_cast<VelmoraUI*>(refCon);
    const UInt32 id = p->mParameterID;
    if (id >= kNumberOfParameters) return;
    if (ui->held[id] > 0) {
        ui->send(id, value);
    } else if (std::bit_cast<UInt32>(value) != ui->hostValue[id]) {
        ui->grab(id, true);
        ui->send(id, value);
        ui->grab(id, false);
    }
}

// The panel's gestures: press and release of a control, a burst of wheel notches.
void gestures(void* user, AudioUnitCarbonView, const AudioUnitParameter* p, AudioUnitCarbonViewEventID event,
              const void*) {
    auto* ui = static_cast<VelmoraUI*>(user);
    const UInt32 id = p->mParameterID;
    if (id >= kNumberOfParameters) return;
    if (event == kAudioUnitCarbonViewEvent_MouseDownInControl) {
        if (ui->held[id]++ == 0) ui->grab(id, true);
    } else if (event == kAudioUnitCarbonViewEvent_MouseUpInControl && ui->held[id] > 0) {
        if (--ui->held[id] == 0) ui->grab(id, false);
    }
}

bool openWindow(VelmoraUI* ui) {
    const SInt16 width = 850, height = 590;  // the window takes the pane's size below
    const OSStatus made = ui->parent ? CreateX11ChildWindow(ui->parent, width, height, ui->scale, &ui->window)
                                     : CreateX11Window("Velmora", width, height, ui->scale, &ui->window);
    if (made != noErr) return false;
    ControlRef root = nullptr, pane = nullptr;
    GetRootControl(ui->window, &root);
    const Float32Point location{0, 0}, size{width, height};
    if (OpenAComponent(FindNextComponent(nullptr, kVelmoraViewDescription), &ui->view) != noErr ||
        AudioUnitCarbonViewCreate(ui->view, ui->unit, ui->window, root, &location, &size, &pane) != noErr)
        return false;
    AudioUnitCarbonViewSetEventListener(ui->view, gestures, ui);
    Rect bounds;
    GetControlBounds(pane, &bounds);
    SizeWindow(ui->window, bounds.right, bounds.bottom);
    if (ui->resize) {
        int width = 0, height = 0;  // exactly what the window draws
        GetWindowPixelSize(ui->window, &width, &height);
        ui->resize->ui_resize(ui->resize->handle, width, height);
    }
    UpdateWindow(ui->window);
    return true;
}

void closeWindow(VelmoraUI* ui) {
    if (ui->view) CloseComponent(ui->view);  // the view goes before its window
    ui->view = nullptr;
    if (ui->window) DisposeWindow(ui->window);
    ui->window = nullptr;
}

void cleanup(LV2UI_Handle handle) {
    auto* ui = static_cast<VelmoraUI*>(handle);
    closeWindow(ui);
    // A gesture the panel still held (a button down as the host closed it) ends.
    for (UInt32 id = 0; id < kNumberOfParameters; ++id)
        if (ui->held[id] > 0) {
            ui->held[id] = 0;
            ui->grab(id, false);
        }
    if (ui->forwarder) AUListenerDispose(ui->forwarder);
    if (ui->unit) CloseComponent(ui->unit);
    delete ui;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char* bundlePath,
                         LV2UI_Write_Function writeFunction, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    auto* ui = new (std::nothrow) VelmoraUI;
    if (!ui) return nullptr;
    ui->write = writeFunction;
    ui->controller = controller;
    LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        const char* uri = features[i]->URI;
        if (!std::strcmp(uri, LV2_URID__map))
            map = static_cast<LV2_URID_Map*>(features[i]->data);
        else if (!std::strcmp(uri, LV2_UI__parent))
            ui->parent = reinterpret_cast<unsigned long>(features[i]->data);
        else if (!std::strcmp(uri, LV2_UI__resize))
            ui->resize = static_cast<LV2UI_Resize*>(features[i]->data);
        else if (!std::strcmp(uri, LV2_OPTIONS__options))
            options = static_cast<const LV2_Options_Option*>(features[i]->data);
        else if (!std::strcmp(uri, LV2_UI__touch))
            ui->touch = static_cast<LV2UI_Touch*>(features[i]->data);
    }
    if (!map) {
        delete ui;
        return nullptr;
    }
    const LV2_URID scaleFactor = map->map(map->handle, kScaleFactorURI);
    for (const LV2_Options_Option* o = options; o && o->key; ++o)
        if (o->key == scaleFactor && o->size == sizeof(float)) ui->scale = *static_cast<const float*>(o->value);
    if (const char* env = std::getenv("VELMORA_UI_SCALE")) ui->scale = std::atof(env);
    // Drawn at the nearest scale that has pictures: 1, 1.5 or 2.
    ui->scale = ui->scale > 0 && ui->scale < 100 ? NearestWindowScale(ui->scale) : 1.0;

    SetPlatformLogHook(PlatformLogSilent);
    RegisterVelmora();
    RegisterVelmoraView(bundlePath);
    SetPictureScale(ui->scale);
    if (OpenAComponent(FindNextComponent(nullptr, kVelmoraDescription), &ui->unit) != noErr ||
        AudioUnitInitialize(ui->unit) != noErr) {
        cleanup(ui);
        return nullptr;
    }
    AUListenerCreate(forward, ui, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.0f, &ui->forwarder);
    for (UInt32 id = 0; id < kNumberOfParameters; ++id) {
        const AudioUnitParameter p = ui->parameter(id);
        AUListenerAddParameter(ui->forwarder, ui, &p);
        Float32 value = 0;
        AudioUnitGetParameter(ui->unit, id, kAudioUnitScope_Global, 0, &value);
        ui->hostValue[id] = std::bit_cast<UInt32>(value);
    }
    if (ui->parent) {
        if (!openWindow(ui)) {
            cleanup(ui);
            return nullptr;
        }
        *widget = reinterpret_cast<LV2UI_Widget>(GetWindowXID(ui->window));
    }
    return ui;
}

// A value from the host: into the local instance, and so onto the panel.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    auto* ui = static_cast<VelmoraUI*>(handle);
    if (format != 0 || size != sizeof(float) || port < kFirstParameterPort ||
        port >= kFirstParameterPort + kNumberOfParameters)
        return;
    const UInt32 id = port - kFirstParameterPort;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    Float32 current = 0;
    AudioUnitGetParameter(ui->unit, id, kAudioUnitScope_Global, 0, &current);
    ui->hostValue[id] = std::bit_cast<UInt32>(value);
    if (std::memcmp(&value, &current, sizeof value) == 0 || ui->held[id] > 0) return;
    const AudioUnitParameter p = ui->parameter(id);
    AUParameterSet(ui->forwarder, ui, &p, value, 0);
}

int idle(LV2UI_Handle handle) {
    auto* ui = static_cast<VelmoraUI*>(handle);
    RunLoopRunDue(CFRunLoopGetCurrent());
    // A window of our own that the person closed ends the UI.
    if (!ui->parent && ui->window && IsWindowCloseRequested(ui->window)) {
        closeWindow(ui);
        return 1;
    }
    return 0;
}

int show(LV2UI_Handle handle) {
    auto* ui = static_cast<VelmoraUI*>(handle);
    if (ui->parent) return 0;
    if (!ui->window && !openWindow(ui)) {
        closeWindow(ui);
        return 1;
    }
    return 0;
}

int hide(LV2UI_Handle handle) {
    auto* ui = static_cast<VelmoraUI*>(handle);
    if (!ui->parent) closeWindow(ui);
    return 0;
}

const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface idleInterface{idle};
    static const LV2UI_Show_Interface showInterface{show, hide};
    if (!std::strcmp(uri, LV2_UI__idleInterface)) return &idleInterface;
    if (!std::strcmp(uri, LV2_UI__showInterface)) return &showInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor{kUiURI, instantiate, cleanup, portEvent, extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
