#include <iostream>

#include "curve/fancurve.h"

int main(int argc, char** argv) {
    return fanbench::curve::runFancurve(
        {const_cast<const char* const*>(argv), static_cast<std::size_t>(argc)}, std::cin, std::cout,
        std::cerr);
}
