// SPDX-License-Identifier: MIT
// Loading and swapping the translators of the window's language.
#include "app/qt/Language.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace tavolin::qt {
namespace {

Language g_language = Language::Japanese;
std::unique_ptr<QTranslator> g_qtTexts;   // Qt's own dialogs (Japanese only)
std::unique_ptr<QTranslator> g_ourTexts;  // the window's texts (English only)

// The model's texts share the context "Texts" (the marker in compiler/UiText.h).
std::string translateModelText(const char* source) {
    return QCoreApplication::translate("Texts", source).toStdString();
}

void drop(std::unique_ptr<QTranslator>& translator) {
    if (translator) QCoreApplication::removeTranslator(translator.get());
    translator.reset();
}

bool install(std::unique_ptr<QTranslator>& slot, const QString& file, const QString& directory) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(file, directory)) return false;
    QCoreApplication::installTranslator(translator.get());
    slot = std::move(translator);
    return true;
}

}  // namespace

LanguageChoice storedLanguageChoice() {
    const QString v = QSettings().value(QStringLiteral("language"), QStringLiteral("auto")).toString();
    if (v == QLatin1String("ja")) return LanguageChoice::Japanese;
    if (v == QLatin1String("en")) return LanguageChoice::English;
    return LanguageChoice::Auto;
}

void storeLanguageChoice(LanguageChoice choice) {
    const char* v = choice == LanguageChoice::Japanese ? "ja" : choice == LanguageChoice::English ? "en" : "auto";
    QSettings().setValue(QStringLiteral("language"), QString::fromLatin1(v));
}

bool applyLanguage(Language language) {
    drop(g_qtTexts);
    drop(g_ourTexts);
    setTranslator(nullptr);
    g_language = language;
    if (language == Language::Japanese) {
        // Debian's qt6-translations-l10n; without it Qt's dialogs stay English.
        return install(g_qtTexts, QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    // Built from app/qt/translations/tavolin_en.ts and embedded.
    if (!install(g_ourTexts, QStringLiteral("tavolin_en"), QStringLiteral(":/i18n"))) return false;
    setTranslator(&translateModelText);
    return true;
}

Language currentLanguage() noexcept { return g_language; }

QString displayText(const char* source) { return QString::fromStdString(uiText(source)); }

}  // namespace tavolin::qt
