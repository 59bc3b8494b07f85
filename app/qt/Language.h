// SPDX-License-Identifier: MIT
// The window's display language: the user's choice, the locale, and Qt's translators.
#pragma once

#include <QString>

#include "compiler/UiText.h"

namespace tavolin::qt {

// The Help menu's "言語" choice; Auto follows the locale.
enum class LanguageChoice { Auto, Japanese, English };

// Remembered with QSettings under "language" ("auto", "ja", "en").
LanguageChoice storedLanguageChoice();
void storeLanguageChoice(LanguageChoice choice);

constexpr Language resolveLanguage(LanguageChoice choice, Language fromLocale) noexcept {
    return choice == LanguageChoice::Japanese ? Language::Japanese
           : choice == LanguageChoice::English ? Language::English
                                                : fromLocale;
}

// Installs the translators of `language` in the running application, replacing
// those of an earlier call: Japanese loads Qt's own Japanese texts (file dialogs,
// standard buttons) and leaves the window's texts as written; English loads the
// window's English texts and routes the model's texts through them. Widgets made
// afterwards show the new language. False when a translation file is missing.
bool applyLanguage(Language language);
Language currentLanguage() noexcept;

// A model text (UTF-8, Japanese source) in the current language.
QString displayText(const char* source);

}  // namespace tavolin::qt
