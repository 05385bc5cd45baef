// Starts a program and times it from exec to the first paint of its window.
//
// Method: before the fork the watcher selects SubstructureNotify on the root
// window and the clock starts; every top-level window the program creates
// gets an X DAMAGE object at once (on CreateNotify, before it can be mapped).
// Each damage report on a mapped window makes the watcher read the window's
// pixels; the first report after which the window holds more than two
// distinct colours is the first paint (a server-side background fill or an
// empty window is one colour, a toolkit frame with widgets is many); the time
// of the first damage report of any content is printed too. After the paint the watcher
// waits --settle-ms for the start-up work that follows the first frame, then
// reads the peak resident size (VmHWM) from /proc/<pid>/status, notes whether
// an OpenGL driver is mapped, ends the program with SIGTERM and prints one
// line of key=value pairs.
//
//   first_paint [--settle-ms N] [--timeout-ms N] -- program [arguments]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

double now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Peak and current resident size in KiB from /proc/<pid>/status.
void read_memory(pid_t pid, long* hwm, long* rss) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            *hwm = std::atol(line.c_str() + 6);
        } else if (line.rfind("VmRSS:", 0) == 0) {
            *rss = std::atol(line.c_str() + 6);
        }
    }
}

// 1 when a Mesa/GLX driver or libGL is mapped into the process.
int gl_mapped(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("_dri.so") != std::string::npos || line.find("libGLX_mesa") != std::string::npos ||
            line.find("libGL.so") != std::string::npos) {
            return 1;
        }
    }
    return 0;
}

// True when the window shows more than two distinct colours.
bool window_painted(Display* display, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) {
        return false;
    }
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    unsigned long colours[3];
    int distinct = 0;
    for (int y = 0; y < image->height && distinct < 3; y += 2) {
        for (int x = 0; x < image->width && distinct < 3; x += 2) {
            unsigned long pixel = XGetPixel(image, x, y);
            bool known = false;
            for (int i = 0; i < distinct; ++i) {
                known = known || colours[i] == pixel;
            }
            if (!known) {
                colours[distinct++] = pixel;
            }
        }
    }
    XDestroyImage(image);
    return distinct >= 3;
}

int ignore_errors(Display*, XErrorEvent*) {
    return 0; // windows vanish while being examined
}

} // namespace

int main(int argc, char** argv) {
    int settle_ms = 1000;
    int timeout_ms = 20000;
    int first = 1;
    for (; first < argc; ++first) {
        std::string a = argv[first];
        if (a == "--settle-ms" && first + 1 < argc) {
            settle_ms = std::atoi(argv[++first]);
        } else if (a == "--timeout-ms" && first + 1 < argc) {
            timeout_ms = std::atoi(argv[++first]);
        } else if (a == "--") {
            ++first;
            break;
        } else {
            break;
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: first_paint [--settle-ms N] [--timeout-ms N] -- program [args]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "first_paint: cannot open the display\n");
        return 2;
    }
    int damage_event = 0, damage_error = 0;
    if (!XDamageQueryExtension(display, &damage_event, &damage_error)) {
        std::fprintf(stderr, "first_paint: the display has no DAMAGE extension\n");
        return 2;
    }
    XSetErrorHandler(ignore_errors);
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    double start = now_ms();
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        _exit(127);
    }
    if (child < 0) {
        return 2;
    }

    std::vector<Window> mapped;
    double map_time = -1, paint_time = -1, damage_time = -1;
    int damage_reports = 0;
    while (paint_time < 0 && now_ms() - start < timeout_ms) {
        if (XPending(display) == 0) {
            pollfd p{ConnectionNumber(display), POLLIN, 0};
            poll(&p, 1, 50);
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                std::printf("error=exited_before_paint status=%d\n", status);
                return 1;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        double t = now_ms();
        if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
            XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
        } else if (event.type == MapNotify && !event.xmap.override_redirect) {
            if (map_time < 0) {
                map_time = t - start;
            }
            mapped.push_back(event.xmap.window);
        } else if (event.type == damage_event + XDamageNotify) {
            auto* report = reinterpret_cast<XDamageNotifyEvent*>(&event);
            XDamageSubtract(display, report->damage, None, None);
            for (Window w : mapped) {
                if (w == report->drawable) {
                    ++damage_reports;
                    if (damage_time < 0) {
                        damage_time = t - start;
                    }
                    if (window_painted(display, w)) {
                        paint_time = t - start;
                    }
                }
            }
        }
    }
    if (paint_time < 0) {
        std::printf("error=no_paint map_ms=%.1f\n", map_time);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return 1;
    }
    // Let the start-up work after the first frame run, keep draining events.
    double settle_end = now_ms() + settle_ms;
    while (now_ms() < settle_end) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
        pollfd p{ConnectionNumber(display), POLLIN, 0};
        poll(&p, 1, 20);
    }
    long hwm = 0, rss = 0;
    read_memory(child, &hwm, &rss);
    int gl = gl_mapped(child);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    std::printf(
        "paint_ms=%.1f map_ms=%.1f damage_ms=%.1f hwm_kib=%ld rss_kib=%ld gl=%d damage_reports=%d cpu_ms=%.1f\n",
        paint_time, map_time, damage_time, hwm, rss, gl, damage_reports,
        usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
            usage.ru_stime.tv_usec / 1e3);
    XCloseDisplay(display);
    return 0;
}
