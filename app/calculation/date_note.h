// The note shown beside a calculated date: its weekday in the locale's
// language, or for Japanese its era date with weekday and holiday.
// Display-free.
#pragma once

#include <string>

// True when the LC_TIME locale is Japanese (its name starts with "ja", as in
// "ja_JP.UTF-8" or "ja_JP.eucJP"). Reads the process locale: false until the
// program has called setlocale, and not while another thread changes it.
bool locale_is_japanese();

// The note for year-month-day as UTF-8; empty for an invalid date (years
// 1 .. 9999 only).
// japanese false: the weekday's full name from the C library's LC_TIME data
//   ("Monday", "Montag"), converted from the locale's character set; when
//   that conversion fails, the English name.
// japanese true: from 1873-01-01 (when Japan took the Gregorian calendar) the
//   era date, its weekday in one character and any holiday, e.g.
//   "令和9年3月8日（月）", "令和元年5月1日（水・祝）即位の日",
//   "令和9年3月22日（月・休）振替休日" (休 for a substitute holiday or a day between
//   two holidays); before it the weekday alone ("月曜日").
// Reads the process locale (japanese false): not while another thread changes it.
std::string date_note(int year, int month, int day, bool japanese);
