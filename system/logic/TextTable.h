// The localised text table: parsing the bilingual resource, choosing the language, and the
// small printf subset used by the progress text.
#pragma once

#include <string>
#include <vector>

// Splits the resource text into entries of one language column: backslash-n becomes a line feed,
// lines are the ";"-separated fields (stopping at the first empty field), the column is the
// "^"-separated part numbered languageIndex (empty when the field has none), and CR LF pairs are
// removed. The well-formed resource yields one entry a line and a last, empty one.
std::vector<std::wstring> ParseTextTable(const std::wstring& text, int languageIndex);

// Language index for the user-interface language (GetUserDefaultUILanguage): 1 for Korean
// (Korea), 0 for every other language.
int LanguageIndexFromUiLanguage(unsigned langId);

// The lists' earlier language index from the system language; takes the primary language id, or
// a whole LANGID (only the low 10 bits are read).
int LanguageIndexFromSystemPrimaryLanguage(unsigned primary);

// Formats the progress entry with its two arguments, the number and a string. Understands %.Nf
// and %f (the number, digits as printf gives them), %d (the number truncated), %s (the string)
// and %%. Arguments are taken in order; a conversion whose argument is missing or of the other
// kind, and anything else after a %, is copied as it stands.
std::wstring FormatProgressText(const std::wstring& format, double percent, const std::wstring& str);
