#include "sweep/dutyramp.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "protocol/frame_assembler.h"
#include "seriallink/receive_worker.h"
#include "seriallink/serial_port.h"
#include "sweep/console.h"
#include "sweep/sweep_sequencer.h"

namespace fanbench::sweep {

namespace {

constexpr int kBaudRate = 9600;
constexpr std::size_t kReadChunk = 32;
constexpr auto kPollInterval = std::chrono::milliseconds(250);

void printUsage() {
    std::fputs("Usage : Dutyramp ComPort WaitSec\r\n", stderr);
}

}  // namespace

int parseDecimalLikeAtoi(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int runDutyramp(std::span<const char* const> args) {
    if (args.size() < 3) {
        printUsage();
        return kExitUsage;
    }
    const int comPort = parseDecimalLikeAtoi(args[1]);
    const int waitSec = parseDecimalLikeAtoi(args[2]);
    if (waitSec < 1) {
        printUsage();
        std::fputs("WaitSec must be 1 or greater.\r\n", stderr);
        return kExitUsage;
    }

    seriallink::SerialPort port;
    if (!port.open(comPort, kBaudRate, seriallink::PortSharing::Shared)) {
        std::fprintf(stderr, "Can't Open COM%d\r\n", comPort);
        const seriallink::OpenFailure& why = port.lastFailure();
        if (!why.device.empty()) {
            std::fprintf(stderr, "%s: %s\r\n", why.device.c_str(), why.reason.c_str());
        }
        return kExitFailure;
    }

    Console console;
    // The worker wakes the run loop the moment the sweep ends or the device goes.
    SweepSequencer sequencer(
        waitSec,
        [&port](std::uint8_t command) {
            port.write({&command, 1});
        },
        stderr, stdout, [&console] { console.wake(); });
    protocol::FrameAssembler assembler(protocol::CapacityRule::DiscardAt128, sequencer);
    seriallink::ReceiveWorker worker(port, kReadChunk, assembler, [&console] { console.wake(); });
    if (!Console::withSignalsBlocked([&] { return worker.start(); })) {
        std::fputs("Can't Run Thread.\r\n", stderr);
        port.close();
        return kExitFailure;
    }

    std::fprintf(stderr, "ComPort=%d, WaitSec=%d, 'Q':Exit.\r\n", comPort, waitSec);
    std::fputs("Duty(%)\tSpeed(rpm)\n", stdout);
    std::fflush(stdout);
    const std::uint8_t fourPin = protocol::fanTypeCommand(protocol::kFanType4Pin);
    port.write({&fourPin, 1});
    sequencer.commandFirstDuty();

    int status = kExitOk;
    for (;;) {
        if (sequencer.finished()) break;
        if (worker.deviceLost()) {
            std::fprintf(stderr, "\r\nLost COM%d: the device was disconnected.\r\n", comPort);
            status = kExitFailure;
            break;
        }
        const Console::Wake wake = console.wait(kPollInterval);
        if (wake == Console::Wake::QuitKey) break;
        if (wake == Console::Wake::Signal) {
            status = 128 + console.caughtSignal();
            break;
        }
    }

    // The worker ends first: a duty command it was sending can then not land after 0 %.
    worker.stop();
    const std::uint8_t zeroDuty = protocol::dutyCommand(0);
    port.write({&zeroDuty, 1});
    port.close();
    return status;
}

}  // namespace fanbench::sweep
