// qelp-check: the driver conformance checker (see qelp-check(1)).
#include "checker.h"

#include <iostream>

int main(int argc, char** argv) {
    return qelpcheck::CheckMain(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                std::cerr);
}
