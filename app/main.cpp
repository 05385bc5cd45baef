// Entry point of the installed command. It answers the terminal calculations,
// --help and --version itself, linked against nothing that draws, so that a
// script asking for thousands of dates loads no toolkit and opens no display.
// Everything else (the window, GTK's options, --help-gtk, usage errors the
// window's reading finds) is the window program's: it replaces this process
// (same process id, same arguments, same environment).
#include "app/i18n.h"
#include "app/terminal.h"

#include "runtime/core/runtime_start.h"
#include "runtime/core/thread_slots.h"
#include "runtime/core/wide_string.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <string>

#ifndef TDA_WINDOW_PROGRAM
#define TDA_WINDOW_PROGRAM "tovamidaysafter-window"
#endif

namespace {

constexpr const char* WINDOW_PROGRAM_NAME = "tovamidaysafter-window";

// The window program: the one beside this executable (a build tree, or an
// installation that keeps both in one folder), else the installed one.
std::string window_program() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string beside(self, static_cast<std::size_t>(length));
        beside = beside.substr(0, beside.rfind('/') + 1) + WINDOW_PROGRAM_NAME;
        if (access(beside.c_str(), X_OK) == 0) return beside;
    }
    return TDA_WINDOW_PROGRAM;
}

} // namespace

int main(int argc, char** argv) {
    locale_init();
    i18n_init();
    workspace_init();
    // A reader that went away is a write error like any other: one line and
    // status 1, not a silent death by SIGPIPE. Set only on this path, since an
    // ignored signal stays ignored across exec.
    struct sigaction previous {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    const TerminalOutcome outcome = terminal_read(argc, argv, true);
    if (outcome.answered) {
        thread_slots_end();
        workspace_end();
        return terminal_check_output(outcome.status);
    }
    sigaction(SIGPIPE, &previous, nullptr);
    thread_slots_end();
    workspace_end();
    const std::string program = window_program();
    execv(program.c_str(), argv);
    const int reason = errno;
    terminal_complain(std::string(_("cannot start the window program ")) + program + ": " + g_strerror(reason));
    return 1;
}
