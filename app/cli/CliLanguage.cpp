// SPDX-License-Identifier: MIT
// tavolin-cli's display language, chosen from the locale.
#include "app/cli/CliLanguage.h"

#include "app/texts/EnglishTexts.h"
#include "compiler/UiText.h"

namespace tavolin::cli {

void useLocaleLanguage() {
    setTranslator(languageFromEnvironment() == Language::English ? &texts::englishText : nullptr);
}

}  // namespace tavolin::cli
