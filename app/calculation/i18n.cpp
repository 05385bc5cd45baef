// The program's text domain and its catalogue folder.
#include "app/calculation/i18n.h"

#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"

#include <libintl.h>

#ifndef TDA_LOCALE_DIR
#define TDA_LOCALE_DIR "/usr/share/locale"
#endif

void i18n_init() {
    bindtextdomain(GETTEXT_PACKAGE, TDA_LOCALE_DIR);
    bind_textdomain_codeset(GETTEXT_PACKAGE, "UTF-8");
}

WideText::WideText(const char* utf8) : text_(string_from_utf8_alloc(utf8)) {}

WideText::~WideText() {
    string_free(text_);
}
