// SPDX-License-Identifier: MIT
// The display-language switch and the locale rule.
#include "compiler/UiText.h"

#include <atomic>
#include <cstdlib>

namespace tavolin {
namespace {

std::atomic<Translator> g_translator{nullptr};

}  // namespace

Language languageFromLocale(std::string_view lcAll, std::string_view lcMessages, std::string_view lang) noexcept {
    std::string_view locale = !lcAll.empty() ? lcAll : !lcMessages.empty() ? lcMessages : lang;
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX" || name.substr(0, 2) == "ja") return Language::Japanese;
    return Language::English;
}

Language languageFromEnvironment() noexcept {
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string_view(v ? v : "");
    };
    return languageFromLocale(env("LC_ALL"), env("LC_MESSAGES"), env("LANG"));
}

void setTranslator(Translator translator) noexcept { g_translator.store(translator); }

std::string uiText(const char* source) {
    const Translator t = g_translator.load();
    return t ? t(source) : std::string(source);
}

}  // namespace tavolin
