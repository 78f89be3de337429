// The window's settings file: per user, found where QStandardPaths puts the application's
// configuration, copied there from the factory file beside the program.
#include "AppPaths.h"

#include "SettingsLocation.h"
#include "TestLibraries.h"

#include <QApplication>
#include <QStandardPaths>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace velto::test {
namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(AppPathsTest, SettingsGoToTheUsersConfigFolderWhichThePlainLookupAlsoFinds) {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
    const QString oldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QString::fromUtf8(kConfigFolderName));
    const std::string root = ScratchFolder();
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "/config"));
    std::filesystem::create_directory(root + "/bin");
    std::ofstream(root + "/bin/Velto3GPConverter.ini") << "[Options]\nFormatNum=0\n";

    const TAppPaths paths = TAppPaths::ForProgram(QString::fromStdString(root + "/bin"));
    EXPECT_EQ(paths.SettingsFile.toStdString(),
              root + "/config/Velto3GPConverter/Velto3GPConverter.ini");
    // The command line finds the same file without Qt.
    EXPECT_EQ(paths.SettingsFile.toStdString(), UserConfigFolder() + "/Velto3GPConverter.ini");
    EXPECT_EQ(paths.DataFolder.toStdString(), root + "/bin");
    EXPECT_TRUE(paths.SettingsError.isEmpty());
    EXPECT_EQ(Read(paths.Settings()), "[Options]\nFormatNum=0\n");

    qputenv("XDG_CONFIG_HOME", oldXdg);
    QCoreApplication::setApplicationName(oldName);
}

} // namespace
} // namespace velto::test
