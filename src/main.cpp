#include "AppController.h"

int main(int argc, char* argv[]) {
    AppController app(argc, argv);
    return app.run();
}
