#include "sweep/dutyramp.h"

int main(int argc, char** argv) {
    return fanbench::sweep::runDutyramp(
        {const_cast<const char* const*>(argv), static_cast<std::size_t>(argc)});
}
