// The main() of every widget test: offscreen, silent, with the program's resources.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BLEEPTONE_AUDIO", "null");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    return RUN_ALL_TESTS();
}
