#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace velto {
namespace {

QString& Current() {
    static QString language = QStringLiteral("zh_CN");
    return language;
}

std::unique_ptr<QTranslator>& Installed(int which) {
    static std::unique_ptr<QTranslator> translators[2];
    return translators[which];
}

} // namespace

QString ChooseLanguage(const QString& setting, const QLocale& system) {
    if (setting == QLatin1String("zh_CN") || setting == QLatin1String("en"))
        return setting;
    return system.language() == QLocale::Chinese ? QStringLiteral("zh_CN") : QStringLiteral("en");
}

bool InstallTranslations(const QString& language, const QString& translationsFolder) {
    const QString files[2] = {QStringLiteral("velto_") + language,
                              QStringLiteral("qtbase_") + language};
    const QString folders[2] = {translationsFolder,
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    bool ours = false;
    for (int i = 0; i < 2; ++i) {
        if (Installed(i))
            QCoreApplication::removeTranslator(Installed(i).get());
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(files[i], folders[i])) {
            QCoreApplication::installTranslator(translator.get());
            Installed(i) = std::move(translator);
            ours |= i == 0;
        } else {
            Installed(i).reset();
        }
    }
    Current() = language;
    return ours;
}

QString CurrentLanguage() {
    return Current();
}

QString LocalisedDataFile(const QString& name) {
    if (Current() != QLatin1String("en"))
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name + QStringLiteral(".en")
                   : name.left(dot) + QStringLiteral(".en") + name.mid(dot);
}

} // namespace velto
