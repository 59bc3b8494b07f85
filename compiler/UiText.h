// SPDX-License-Identifier: MIT
// The language of display texts: the Japanese text is the key, a translator swaps it.
#pragma once

#include <string>
#include <string_view>

namespace tavolin {

enum class Language { Japanese, English };

// Marks a display text for lupdate (run with -tr-function-alias
// QT_TRANSLATE_NOOP+=TAVOLIN_TR_NOOP); the text itself is unchanged, so what is
// stored or compared stays Japanese. Every toolkit-free text uses the context "Texts".
#define TAVOLIN_TR_NOOP(context, text) text

// The language from the POSIX locale variables, in their order of precedence
// (LC_ALL, LC_MESSAGES, LANG; the first non-empty one counts). No locale, "C",
// "POSIX" (with any ".codeset") and "ja..." give Japanese; any other gives English.
Language languageFromLocale(std::string_view lcAll, std::string_view lcMessages, std::string_view lang) noexcept;
// The same from this process's environment.
Language languageFromEnvironment() noexcept;

// Turns a Japanese source text (UTF-8) into the display language. Installed once
// at start-up, before any window or command runs; none means Japanese.
using Translator = std::string (*)(const char* source);
void setTranslator(Translator translator) noexcept;

// `source` in the display language (the source itself when no translator is set or
// it knows no translation). Only for texts shown to the user.
std::string uiText(const char* source);
inline std::string uiText(std::string_view source) { return uiText(std::string(source).c_str()); }

}  // namespace tavolin
