// Start-up and shut-down duties of the runtime that no more specific unit
// owns: the process's arguments, the locale, GTK and the GDK lock.
#pragma once

// Brings the whole runtime up in its fixed order: the arguments, locale,
// workspace, image decoders, GTK (gui_start), fonts, map and list hooks,
// event queue, image drawing, BMP decoder, images, windows, gadgets, PNG
// decoder. argc/argv are the process's own; gtk_init may change them. Call
// once, on the main thread, before anything else of the runtime.
// (runtime_start_gtk.cpp: it starts the toolkit.)
void runtime_start(int* argc, char*** argv);

// Shuts the runtime down in its fixed order (windows, images, event queue,
// fonts, gui_stop, thread slots); the workspace key is deleted separately by
// workspace_end, last of all. Main thread, after the main loop.
void runtime_end();

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
