// The process-wide text table of the chosen language and the process-wide language index.
#pragma once

#include "framework/StringArray.h"
#include "system/logic/TextId.h"

#include <string>

// Entry k is line k of the bilingual text resource, in the language of LanguageIndex.
class CLocalText : public CStringArray {
public:
    ~CLocalText() override = default;
    // Empties the table and fills it from the text resource in the column of LanguageIndex.
    void Load();
};

// 0 English, 1 Korean once the main dialog has chosen; the lists' set-up may set other values
// from the system's default language before that.
extern int LanguageIndex;
extern CLocalText g_localText;

// An entry of the text table.
inline std::wstring LocalText(TextId id) { return g_localText.GetAt(static_cast<int>(id)); }

// The language choice from the user-interface language.
void ChooseLanguageFromUserInterface();
// The earlier value from the system's default language, used by the lists' set-up.
void ChooseLanguageFromSystemDefault();
