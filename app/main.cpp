// Entry of the desktop program. The full main window arrives with the desktop work; until then a
// plain window shows that the engine binds its libraries from LibAV/ beside the program.
#include "LibraryBinding.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velto 3GP Converter"));
    const QString libraryFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/LibAV");
    const bool loaded = velto::LoadLibraries(libraryFolder.toStdString(), true);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Velto 3GP Converter"));
    auto* status = new QLabel(loaded ? QStringLiteral("媒体库已加载。")
                                     : QString::fromStdString(velto::LibraryError()));
    status->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(status);
    window.resize(640, 400);
    window.show();
    return QApplication::exec();
}
