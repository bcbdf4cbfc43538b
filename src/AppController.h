#pragma once

#include <QApplication>

// Placeholder; the application controller lands with the foundation.
class AppController : public QApplication {
    Q_OBJECT
public:
    AppController(int& argc, char** argv);
    int run();
};
