// The plugin's panel in a real host: jalv.gtk3 on a JACK dummy server of the
// test's own and a virtual X server. The panel is embedded and drawn, a knob
// dragged with the pointer turns, and a preset the host
// loads moves the panel's controls. (jalv shows no control-port writes of a
// UI, so the value the panel sends is checked by the lilv tests' port rules
// and the view's own tests, not here.)
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest's names would meet.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

template <class F>
bool waitFor(F condition, std::chrono::milliseconds limit = 15s) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// A child process with its standard output in a file.
struct Process {
    pid_t pid = -1;
    Process(const std::vector<std::string>& argv, const std::string& output) {
        pid = fork();
        if (pid == 0) {
            const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    ~Process() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        int status;
        if (!waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 5s)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The window of the given size anywhere under `top`.
Window findBySize(Display* d, Window top, int width, int height) {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, top, &a) && a.width == width && a.height == height && a.map_state == IsViewable)
        return top;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(d, top, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) found = findBySize(d, children[i], width, height);
        XFree(children);
    }
    return found;
}

std::vector<unsigned long> pixels(Display* d, Window w, int x, int y, int width, int height) {
    std::vector<unsigned long> out;
    XImage* image = XGetImage(d, w, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return out;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) out.push_back(XGetPixel(image, i, j));
    XDestroyImage(image);
    return out;
}

struct Session {
    std::string dir, server;
    std::unique_ptr<Process> jack, jalv;
    Display* display = nullptr;
    Window panel = 0;

    explicit Session(const std::vector<std::string>& jalvOptions) {
        dir = std::filesystem::temp_directory_path() / ("velmora-jalv-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        server = "velmora-test-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        setenv("LV2_PATH", VELMORA_LV2_DIR, 1);
        jack = std::make_unique<Process>(
            std::vector<std::string>{"jackd", "-S", "--no-realtime", "-n", server, "-d", "dummy", "-r", "44100"},
            dir + "/jackd.log");
        std::this_thread::sleep_for(700ms);
        std::vector<std::string> argv{"jalv.gtk3"};
        argv.insert(argv.end(), jalvOptions.begin(), jalvOptions.end());
        argv.push_back("urn:velmora:instrument");
        jalv = std::make_unique<Process>(argv, dir + "/jalv.log");
        display = XOpenDisplay(nullptr);
        waitFor([&] { return (panel = findBySize(display, DefaultRootWindow(display), 850, 590)) != 0; });
        std::this_thread::sleep_for(500ms);
    }
    ~Session() {
        jalv.reset();
        jack.reset();
        if (display) XCloseDisplay(display);
        std::filesystem::remove_all(dir);
    }
    std::string log() const { return readFile(dir + "/jalv.log"); }
};

}  // namespace

TEST(HostUI, JalvEmbedsThePanelAndItsKnobsTurn) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    Session s({});
    ASSERT_NE(s.panel, 0u) << s.log();
    // Drawn: the title's colour is on the screen where the background puts it.
    const auto title = pixels(s.display, s.panel, 300, 18, 278, 30);
    ASSERT_FALSE(title.empty());
    EXPECT_GT(std::count_if(title.begin(), title.end(), [](unsigned long p) { return ((p >> 16) & 0xFF) > 0xC0; }),
              200);

    // Volume from twelve to three o'clock: the pointer reaches the embedded panel and the knob turns.
    const auto knobBefore = pixels(s.display, s.panel, 23, 14, 48, 48);
    int x0, y0;
    Window unused;
    XTranslateCoordinates(s.display, s.panel, DefaultRootWindow(s.display), 0, 0, &x0, &y0, &unused);
    auto move = [&](int x, int y) {
        XTestFakeMotionEvent(s.display, -1, x0 + x, y0 + y, 0);
        XFlush(s.display);
        std::this_thread::sleep_for(50ms);
    };
    move(47, 20);
    XTestFakeButtonEvent(s.display, 1, True, 0);
    XFlush(s.display);
    move(60, 25);
    move(70, 38);
    XTestFakeButtonEvent(s.display, 1, False, 0);
    XFlush(s.display);
    EXPECT_TRUE(waitFor([&] { return pixels(s.display, s.panel, 23, 14, 48, 48) != knobBefore; }, 5s));
}

TEST(HostUI, APresetTheHostLoadsMovesThePanel) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    std::vector<unsigned long> plain;
    {
        Session s({});
        ASSERT_NE(s.panel, 0u) << s.log();
        plain = pixels(s.display, s.panel, 0, 0, 850, 590);
    }
    Session s({"-p", "urn:velmora:instrument:preset:01"});
    ASSERT_NE(s.panel, 0u) << s.log();
    EXPECT_TRUE(waitFor([&] { return pixels(s.display, s.panel, 0, 0, 850, 590) != plain; }, 5s));
}
