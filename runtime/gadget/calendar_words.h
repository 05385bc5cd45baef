// The calendar's selected day in words, for its accessible name.
#pragma once

// The locale's date format for speech, from LC_TIME alone: the C library's
// date-and-time format of that locale (the one date(1) writes) without the
// time of day, its month and weekday names in full and its day and month
// numbers without padding, so that names and order come from one category
// ("%A %B %-d %Y" under C, "%Y年 %B %-d日 %A" under ja_JP). A new UTF-8 text
// (g_free), never null; "%x" when the locale's format has no date in it.
char* calendar_locale_day_format();

// The day `day` of `month` (1-12) of `year` written with `format` (a
// strftime format as g_date_strftime takes it, UTF-8) in the LC_TIME
// locale. Built from the date alone, whatever the time zone. A new UTF-8
// text (g_free); null when the date is no valid date or nothing is written.
char* calendar_day_words(const char* format, unsigned year, unsigned month, unsigned day);
