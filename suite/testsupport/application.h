// The application object widget tests need: made once per test program, on first use, and
// kept for the program's life (Qt allows one per process).
#pragma once

#include <QApplication>
#include <string>

// Makes the QApplication named `name` unless one exists.
inline void EnsureQApplication(const char* name) {
    if (QApplication::instance() != nullptr) return;
    static std::string program = name;
    static int argc = 1;
    static char* argv[] = {program.data(), nullptr};
    new QApplication(argc, argv);
}
