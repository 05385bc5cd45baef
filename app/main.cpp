// Entry point of the date calculator.
#include "app/app.h"

int main(int argc, char** argv) {
    return app_run(&argc, &argv);
}
