// The plug-in's panel in a host of our own that offers ui:touch: velmora_ui.so
// loaded with dlopen into an X window of the test's, a knob dragged and wheeled
// with XTest. The host must hear grabbed, the value writes, released, in that
// order, for each gesture; and the size the panel asks for is what it draws.
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest's names would meet.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kVolumePort = 3;  // the first parameter's port

struct Host {
    std::vector<std::string> uris;
    std::vector<std::string> heard;  // "grab 3", "write 3", "release 3"
    int width = 0, height = 0;

    static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri) {
        auto& uris = static_cast<Host*>(handle)->uris;
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return LV2_URID(i + 1);
        uris.emplace_back(uri);
        return LV2_URID(uris.size());
    }
    static void write(LV2UI_Controller controller, uint32_t port, uint32_t, uint32_t format, const void*) {
        if (format == 0) static_cast<Host*>(controller)->heard.push_back("write " + std::to_string(port));
    }
    static void touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
        static_cast<Host*>(handle)->heard.push_back((grabbed ? "grab " : "release ") + std::to_string(port));
    }
    static int resize(LV2UI_Feature_Handle handle, int width, int height) {
        static_cast<Host*>(handle)->width = width;
        static_cast<Host*>(handle)->height = height;
        return 0;
    }
    // What the host heard for one port since the last call, writes in a row counted once.
    std::vector<std::string> takeHeard() {
        std::vector<std::string> out;
        for (const std::string& h : heard)
            if (out.empty() || h != out.back() || h.rfind("write", 0) != 0) out.push_back(h);
        heard.clear();
        return out;
    }
};

}  // namespace

TEST(UiTouch, EveryGestureIsGrabbedWrittenAndReleased) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    unsetenv("VELMORA_UI_SCALE");
    unsetenv("VELMORA_KNOB_MODE");
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1300, 900, 0, 0, 0);
    XMapWindow(d, parent);
    XSync(d, False);

    const std::string bundle = std::string(VELMORA_LV2_DIR) + "/velmora.lv2/";
    void* library = dlopen((bundle + "velmora_ui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto descriptorOf = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(descriptorOf, nullptr);
    const LV2UI_Descriptor* descriptor = descriptorOf(0);

    Host host;
    LV2_URID_Map map{&host, Host::map};
    LV2UI_Touch touch{&host, Host::touch};
    LV2UI_Resize resize{&host, Host::resize};
    const float scale = 1.4f;  // drawn at 1.5, the nearest scale with pictures
    const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0, Host::map(&host, LV2_UI__scaleFactor), sizeof scale,
                                           Host::map(&host, LV2_ATOM__Float), &scale},
                                          {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature{LV2_URID__map, &map}, parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)},
        touchFeature{LV2_UI__touch, &touch}, resizeFeature{LV2_UI__resize, &resize},
        optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&mapFeature,    &parentFeature,  &touchFeature,
                                     &resizeFeature, &optionsFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = descriptor->instantiate(descriptor, "urn:velmora:instrument", bundle.c_str(), Host::write, &host,
                                              &widget, features);
    ASSERT_NE(ui, nullptr);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    const auto run = [&](std::chrono::milliseconds time) {
        for (auto end = std::chrono::steady_clock::now() + time; std::chrono::steady_clock::now() < end;) {
            idle->idle(ui);
            std::this_thread::sleep_for(10ms);
        }
    };
    run(300ms);

    // The size asked for is the size drawn: the panel at 1.5.
    EXPECT_EQ(host.width, 1275);
    EXPECT_EQ(host.height, 885);
    XWindowAttributes a{};
    XGetWindowAttributes(d, Window(reinterpret_cast<uintptr_t>(widget)), &a);
    EXPECT_EQ(a.width, 1275);
    EXPECT_EQ(a.height, 885);
    host.heard.clear();

    // Volume's knob spans (23, 14) to (71, 62) at scale 1: its centre is at (70, 57) here.
    const auto pointer = [&](int x, int y) {
        int rootX = 0, rootY = 0;
        Window child;
        XTranslateCoordinates(d, parent, DefaultRootWindow(d), x, y, &rootX, &rootY, &child);
        XTestFakeMotionEvent(d, -1, rootX, rootY, 0);
        XFlush(d);
        run(40ms);
    };
    const auto button = [&](unsigned number, bool down) {
        XTestFakeButtonEvent(d, number, down, 0);
        XFlush(d);
        run(40ms);
    };
    pointer(70, 80);
    button(1, true);
    pointer(60, 60);
    pointer(50, 40);
    button(1, false);
    run(200ms);
    const std::vector<std::string> drag{"grab 3", "write 3", "release 3"};
    EXPECT_EQ(host.takeHeard(), drag);

    // Two notches in a row are one gesture; a notch after a pause is the next.
    for (int i = 0; i < 2; ++i) button(4, true), button(4, false);
    run(600ms);
    button(5, true);
    button(5, false);
    run(600ms);
    const std::vector<std::string> wheel{"grab 3", "write 3", "release 3", "grab 3", "write 3", "release 3"};
    EXPECT_EQ(host.takeHeard(), wheel);

    // A gesture still held when the host closes the panel is released.
    button(1, true);
    pointer(90, 30);
    descriptor->cleanup(ui);
    const std::vector<std::string> closed{"grab 3", "write 3", "release 3"};
    EXPECT_EQ(host.takeHeard(), closed);
    XTestFakeButtonEvent(d, 1, False, 0);
    XDestroyWindow(d, parent);
    XCloseDisplay(d);
    dlclose(library);
}
