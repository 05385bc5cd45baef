// The one name under which desktops know the calculator.
#pragma once

// Application id: program name, window class (WM_CLASS on X11, app id on
// Wayland), launcher file name and icon name.
constexpr const char* APP_ID = "com.example.TovamiDaysAfter";

// Makes the application id the program name (which is also the name the
// accessibility bus shows for the application). Call before gtk_init, so
// that the toolkit starts under that name.
void app_identity_name();

// Keeps the program name and window class the user gave (GTK's --name and
// --class) where `name` or `klass` is true: app_identity_name and
// app_identity_class leave them alone from then on.
void app_identity_keep_given(bool name, bool klass);

// Makes the application id the window class (gtk_init sets a capitalised
// program name as class) and the icon of that name in the icon theme every
// window's default icon. Call after gtk_init, before the first window opens.
void app_identity_class();
