// The entry: start the program and run the console's event loop.
#include "ui/application.h"

int main(int argc, char** argv) {
    return qelp::ui::RunConsole(argc, argv);
}
