// Start-up and shut-down duties of the runtime that no more specific unit
// owns: the process's arguments, the locale, GTK and the GDK lock.
#pragma once

// Keeps the addresses of the entry point's argument count and vector, handed
// to gtk_init by gui_start. Called before any other start-up step.
void runtime_args_set(int* argc, char*** argv);

// The addresses saved by runtime_args_set (null before it ran).
int* runtime_args_count();
char*** runtime_args_vector();

// setlocale(LC_ALL, ""): character classes and case folding follow the
// user's locale.
void locale_init();

// True while the process runs one thread (from /proc/self/status; false
// when that cannot be read): only then may the environment change without a
// race against a thread reading it.
bool process_single_threaded();

// Installs the GDK lock functions, starts GDK threads, runs gtk_init with the
// saved arguments and enters the GDK lock, which the calling (main) thread
// then holds until gui_stop. Does nothing when already started.
void gui_start();

// Leaves the GDK lock entered by gui_start, when started. The started flag
// stays set; a second call does nothing (the lock was already left).
void gui_stop();

// True once gui_start has initialised GTK.
bool gui_started();

// The GDK lock: a process-wide recursive mutex; GDK calls these through
// gdk_threads_enter/gdk_threads_leave.
void gdk_lock_enter();
void gdk_lock_leave();
