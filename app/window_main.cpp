// Entry point of the window program, which the installed command starts for
// everything but the terminal answers; run directly it behaves the same.
#include "app/app.h"

int main(int argc, char** argv) {
    return app_run(&argc, &argv);
}
