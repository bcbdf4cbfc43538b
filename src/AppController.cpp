#include "AppController.h"

AppController::AppController(int& argc, char** argv) : QApplication(argc, argv) {}

int AppController::run() { return exec(); }
