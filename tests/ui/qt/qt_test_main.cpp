// Runs the Qt tests headless: the platform is chosen before QApplication exists,
// so listing the tests works without a display too.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>

#include "support/temp_dir.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The Recent Files list goes to a settings folder of the run's own.
    ferrolux::test::TempDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(settings.path().string()));
    return RUN_ALL_TESTS();
}
