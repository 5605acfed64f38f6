#include "support/GuardedMain.h"

#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (veltrum::test::RefuseOffLoopback(argc, argv)) {
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // Number texts are pinned to the English separators the expectations use;
    // the program formats with the system locale, which Qt takes from LC_ALL.
    setenv("LC_ALL", "en_US.UTF-8", 1);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
