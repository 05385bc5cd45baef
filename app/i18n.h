// Translation of the program's own texts through gettext, in the text domain
// "tovamidaysafter". _() marks a text translated where it is written, N_() one
// kept in a table and translated with _() where it is shown. Without a
// catalogue for the locale (or under C and POSIX) every text stays as written.
// Texts come back as UTF-8 whatever the locale's encoding; what goes to a
// terminal is converted on the way out.
#pragma once

#ifndef GETTEXT_PACKAGE
#define GETTEXT_PACKAGE "tovamidaysafter"
#endif
#include <glib/gi18n-lib.h>

// Binds the text domain to the catalogue folder fixed at build time, with
// UTF-8 as the encoding of what it returns. Call once after the locale is set
// (locale_init) and before the first text is looked up. A missing folder or
// catalogue is no error: the built-in texts are used.
void i18n_init();
