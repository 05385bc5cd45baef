// Entry point of the window program, which the installed command starts for
// everything but the terminal answers; run directly it behaves the same.
#include "app/command/terminal.h"
#include "app/window/app.h"

int main(int argc, char** argv) {
    terminal_open_standard_streams();
    return app_run(&argc, &argv);
}
