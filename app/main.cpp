// Entry of the desktop program: the application object with its error box, the engine's
// main-thread dispatcher over the Qt event loop, and the main window.
#include "FFMpegException.h"
#include "InstanceHandOff.h"
#include "Language.h"
#include "QtMainThreadDispatcher.h"
#include "QueueFile.h"
#include "QuitSignals.h"
#include "SettingsStore.h"
#include "SourceFiles.h"
#include "frm_Main.h"
#include "frm_Preview.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <exception>

namespace {

// Exceptions that reach the event loop end in the error box; the program goes on.
class TVeltoApplication : public QApplication {
public:
    using QApplication::QApplication;
    velto::TfrmMain* MainForm = nullptr;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const velto::FFMpegException& error) {
            Report(QString::fromStdString(error.what()), true);
        } catch (const std::exception& error) {
            Report(QString::fromStdString(error.what()), false);
        }
        return false;
    }

private:
    void Report(const QString& message, bool engineError) {
        if (MainForm)
            MainForm->ShowError(message, engineError);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    TVeltoApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velto3GPConverter"));
    // The installed .desktop file is named after this id; desktops match the window to it.
    QApplication::setDesktopFileName(QStringLiteral(VELTO_APP_ID));
    // Qt has taken its own options out of the arguments by now.
    const QStringList sources =
        velto::CommandLineSources(QCoreApplication::arguments().mid(1), QDir::currentPath());
    velto::TInstanceHandOff handOff(velto::TInstanceHandOff::SocketFor(velto::DefaultQueueFile()));
    if (handOff.HandToRunningCopy(sources))
        return 0;
    const velto::TAppPaths paths =
        velto::TAppPaths::ForProgram(QCoreApplication::applicationDirPath());
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("velto3gpconverter"),
                         QIcon(paths.DataFile(QStringLiteral("velto3gpconverter.svg")))));
    const QString setting = QString::fromStdString(
        velto::TSettingsStore(paths.Settings()).ReadOption(velto::kLanguageKey, "auto"));
    velto::InstallTranslations(velto::ChooseLanguage(setting),
                               paths.DataFolder + QStringLiteral("/translations"));
    velto::SetPreviewWindowFactory(velto::QtPreviewWindowFactory());
    // Declared before the window: the engine inside it may post until it is destroyed.
    velto::TQtMainThreadDispatcher dispatcher;
    velto::SetMainThreadDispatcher(&dispatcher);
    int result = 0;
    {
        velto::TfrmMain window(paths);
        application.MainForm = &window;
        velto::TQuitSignals quitSignals;
        QObject::connect(&quitSignals, &velto::TQuitSignals::QuitRequested, &window,
                         &velto::TfrmMain::EndWithoutAsking);
        window.show();
        window.AddFromCommandLine(sources);
        QObject::connect(&handOff, &velto::TInstanceHandOff::FilesHandedOver, &window,
                         [&window](const QStringList& files) {
                             window.AddFromCommandLine(files);
                             window.raise();
                             window.activateWindow();
                         });
        result = QApplication::exec();
        application.MainForm = nullptr;
    }
    velto::SetPreviewWindowFactory(nullptr);
    velto::SetMainThreadDispatcher(nullptr);
    return result;
}
