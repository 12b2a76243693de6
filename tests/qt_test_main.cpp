// The main() of every widget test: offscreen, silent, with the program's
// resources, and with private folders for settings and recovery copies so
// that no test reads or writes the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BLEEPTONE_AUDIO", "null");
    const QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Bleeptone");
    QApplication::setApplicationName("Bleeptone");
    Q_INIT_RESOURCE(resources);
    return RUN_ALL_TESTS();
}
