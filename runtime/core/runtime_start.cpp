// Display-free start-up duties: the process's arguments and the locale.
#include "runtime/core/runtime_start.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int* g_argc = nullptr;    // the entry point's argument count
char*** g_argv = nullptr; // the entry point's argument vector

} // namespace

void runtime_args_set(int* argc, char*** argv) {
    g_argc = argc;
    g_argv = argv;
}

int* runtime_args_count() {
    return g_argc;
}

char*** runtime_args_vector() {
    return g_argv;
}

void locale_init() {
    std::setlocale(LC_ALL, "");
}

bool process_single_threaded() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return false;
    char line[256];
    bool single = false;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, "Threads:", 8) == 0) single = std::atoi(line + 8) == 1;
    std::fclose(status);
    return single;
}
