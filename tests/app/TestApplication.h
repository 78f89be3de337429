// The application object the window's parts need, made once for the whole test binary.
#pragma once

#include <QApplication>

namespace velto::test {

inline void NeedApplication() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

} // namespace velto::test
