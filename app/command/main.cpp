// Entry point of the installed command. It answers the terminal calculations,
// --help, --version and every wrong command line itself, linked against
// nothing that draws, so that a script asking for thousands of dates loads no
// toolkit and opens no display. Everything else (the window, GTK's options,
// --help-gtk, --help-all) is the window program's: it replaces this process
// (same process id, same arguments, same environment).
#include "app/calculation/i18n.h"
#include "app/command/terminal.h"

#include "runtime/core/runtime_start.h"
#include "runtime/core/thread_slots.h"
#include "runtime/core/wide_string.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The window program: the one built beside this command when the command
// runs from the build tree it was built in; otherwise only the installed
// one, at the absolute path fixed at build time. A copy of the command in
// another folder (a shared /tmp, say) never runs a program found beside it.
std::string window_program() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string path(self, static_cast<std::size_t>(length));
        const std::string folder = path.substr(0, path.rfind('/'));
        char build[PATH_MAX];
        if (realpath(TDA_BUILD_DIR, build) != nullptr && folder == build) return folder + "/tovamidaysafter-window";
    }
    return TDA_WINDOW_PROGRAM;
}

} // namespace

int main(int argc, char** argv) {
    terminal_open_standard_streams();
    locale_init();
    i18n_init();
    workspace_init();
    // A reader that went away is a write error like any other: one line and
    // status 1, not a silent death by SIGPIPE. The window program sets the
    // same for its own printing (an ignored signal stays ignored across exec,
    // so it is put back here first).
    struct sigaction previous {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    const TerminalOutcome outcome = terminal_read(argc, argv);
    if (outcome.answered) {
        thread_slots_end();
        workspace_end();
        return terminal_check_output(outcome.status);
    }
    // The window's turn: exec replaces the whole process, so nothing is ended
    // first; should it fail, the workspace stays reachable until the exit.
    sigaction(SIGPIPE, &previous, nullptr);
    const std::string program = window_program();
    execv(program.c_str(), argv);
    const int reason = errno;
    // TRANSLATORS: the first %s is the program's path, the second the system's reason.
    g_autofree gchar* line =
        g_strdup_printf(_("cannot start the window program %s: %s"), program.c_str(), g_strerror(reason));
    terminal_complain(line);
    return 1;
}
