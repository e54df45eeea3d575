// fantester-sim: a fan tester on a pseudo-terminal, published as COM<n>.

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "simulator/port_link.h"
#include "simulator/sim_options.h"
#include "simulator/simulated_tester.h"

namespace {

std::atomic<bool> gStop{false};

extern "C" void onSignal(int) {
    gStop.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace fanbench::simulator;
    std::string error;
    if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kSimUsage, stdout);
        return 0;
    }
    const auto options = parseSimOptions({argv + 1, static_cast<std::size_t>(argc - 1)}, error);
    if (!options) {
        std::fprintf(stderr, "fantester-sim: %s\n%s", error.c_str(), kSimUsage);
        return 2;
    }

    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&raw, B9600);
    ::cfsetospeed(&raw, B9600);
    int master = -1;
    int slave = -1;
    char device[256] = {};
    if (::openpty(&master, &slave, device, &raw, nullptr) != 0) {
        std::perror("fantester-sim: openpty");
        return 1;
    }
    // Holding the slave open keeps the line up between clients.
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    PortLink link;
    if (!link.publish(options->comPort, device, error)) {
        std::fprintf(stderr, "fantester-sim: %s\n", error.c_str());
        return 1;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    std::printf("fantester-sim: COM%d is %s (%s)\n", options->comPort, device, link.path().c_str());
    std::fflush(stdout);

    SimulatedTester tester(*options, master, stdout);
    tester.run(gStop);

    link.remove();
    ::close(master);
    ::close(slave);
    return 0;
}
