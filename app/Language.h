// The language of the window: Chinese or English, from the "Language" setting ("auto" follows
// the system's locale), with Qt's own translations for its dialogs.
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace velto {

inline constexpr const char* kLanguageKey = "Language";

// "zh_CN" or "en" for a setting of "zh_CN", "en" or "auto" (anything else counts as auto): auto
// takes Chinese for a Chinese locale, English for every other.
QString ChooseLanguage(const QString& setting, const QLocale& system = QLocale::system());

// Installs the program's translation for language from translationsFolder and Qt's own from
// Qt's translations folder, replacing any installed before. False when the program's is missing.
bool InstallTranslations(const QString& language, const QString& translationsFolder);
// The language installed last ("zh_CN" before any).
QString CurrentLanguage();

// A shipped page in the current language: "faq.htm" is "faq.en.htm" in English.
QString LocalisedDataFile(const QString& name);

} // namespace velto
