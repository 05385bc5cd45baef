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

#include "runtime/core/types.h"

// Binds the text domain to the catalogue folder fixed at build time, with
// UTF-8 as the encoding of what it returns. Call once after the locale is set
// (locale_init) and before the first text is looked up. A missing folder or
// catalogue is no error: the built-in texts are used.
void i18n_init();

// A translated text (UTF-8, as _() gives it) as a WideString for the
// runtime's calls, owned by the holder and freed with it. When memory runs
// out the holder has a null text, which the runtime reads as "".
class WideText {
  public:
    explicit WideText(const char* utf8);
    ~WideText();
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    operator const WideChar*() const { return text_; }

  private:
    WideChar* text_;
};
