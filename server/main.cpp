// halvorn-demo-server: the demo trade server as a program of its own.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <pthread.h>

#include "server/DemoServer.h"

namespace
{
constexpr const char* kProgram = "halvorn-demo-server";
constexpr uint16_t kDefaultPort = 8000;

void PrintUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: %s [options]\n"
                 "  --listen ADDR         address to listen on (default 127.0.0.1)\n"
                 "  --port N              port (default %u; 0 picks a free one)\n"
                 "  --book FILE           demo book JSON instead of the built-in one\n"
                 "  --request-timeout-ms N  drop a request not complete after N ms (default "
                 "5000)\n"
                 "  --session-idle-minutes N  a session unused this long expires (default "
                 "480)\n"
                 "  --quiet               no log line per request\n"
                 "Faults on purpose:\n"
                 "  --fault MODE          close, garbage, no-token, refuse, bad-buff, trickle,\n"
                 "                        silent or oversize\n"
                 "  --fault-fun N         only for requests of function number N\n"
                 "  --fault-code N        ErrorCode of 'refuse' (default 9999)\n"
                 "  --fault-text TEXT     MsgDesc of 'refuse' (UTF-8)\n"
                 "  --fault-pause-ms N    pause between the pieces of 'trickle' (default 100)\n"
                 "  --fault-piece-bytes N bytes per piece of 'trickle' (default 16)\n",
                 kProgram, unsigned(kDefaultPort));
}

bool ParseNumber(std::string_view text, long long low, long long high, long long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const std::string copy(text);
    errno = 0;
    const long long parsed = std::strtoll(copy.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

// Fills options from the command line; false (after a message) for a bad one.
bool ParseOptions(int argc, char** argv, DemoServerOptions& options, bool& help)
{
    options.port = kDefaultPort;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        }
        if (option == "--quiet") {
            options.logRequests = false;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s: %s needs a value (see --help)\n", kProgram, argv[i]);
            return false;
        }
        const std::string_view value = argv[++i];
        long long number = 0;
        const auto bad = [&](const char* what) {
            std::fprintf(stderr, "%s: %s %s: %s\n", kProgram, argv[i - 1], argv[i], what);
            return false;
        };
        if (option == "--listen") {
            options.listenAddress = value;
        } else if (option == "--port") {
            if (!ParseNumber(value, 0, 65535, number))
                return bad("not a port number");
            options.port = static_cast<uint16_t>(number);
        } else if (option == "--book") {
            options.bookPath = value;
        } else if (option == "--request-timeout-ms") {
            if (!ParseNumber(value, 1, 3'600'000, number))
                return bad("not a time in milliseconds");
            options.requestTimeout = std::chrono::milliseconds(number);
        } else if (option == "--session-idle-minutes") {
            if (!ParseNumber(value, 1, 7 * 24 * 60, number))
                return bad("not a number of minutes");
            options.sessionIdleTimeout = std::chrono::minutes(number);
        } else if (option == "--fault") {
            if (!ParseFaultMode(value, options.fault.mode))
                return bad("unknown fault (see --help)");
        } else if (option == "--fault-fun") {
            if (!ParseNumber(value, 1, 2147483647, number))
                return bad("not a function number");
            options.fault.funId = static_cast<int32_t>(number);
        } else if (option == "--fault-code") {
            if (!ParseNumber(value, -2147483648LL, 2147483647, number) || number == 0)
                return bad("not a non-zero error code");
            options.fault.refuseCode = static_cast<int32_t>(number);
        } else if (option == "--fault-text") {
            options.fault.refuseText = value;
        } else if (option == "--fault-pause-ms") {
            if (!ParseNumber(value, 0, 600'000, number))
                return bad("not a time in milliseconds");
            options.fault.pause = std::chrono::milliseconds(number);
        } else if (option == "--fault-piece-bytes") {
            if (!ParseNumber(value, 1, 1 << 20, number))
                return bad("not a byte count");
            options.fault.pieceBytes = static_cast<std::size_t>(number);
        } else {
            std::fprintf(stderr, "%s: unknown option %s (see --help)\n", kProgram, argv[i - 1]);
            return false;
        }
    }
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    DemoServerOptions options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help)) {
        return 2;
    }
    if (help) {
        PrintUsage(stdout);
        return 0;
    }

    // The serving threads inherit this mask, so SIGINT and SIGTERM reach only the
    // sigwait below and the server is stopped in order.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    DemoServer server(options);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }
    std::printf("%s: listening on %s:%u\n", kProgram, options.listenAddress.c_str(),
                unsigned(server.Port()));
    if (options.fault.mode != FaultMode::None) {
        std::printf("%s: fault '%s' on %s\n", kProgram,
                    std::string(FaultModeName(options.fault.mode)).c_str(),
                    options.fault.funId == 0
                        ? "every request"
                        : ("function " + std::to_string(options.fault.funId)).c_str());
    }
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::printf("%s: %s received, stopping\n", kProgram, signal == SIGINT ? "SIGINT" : "SIGTERM");
    std::fflush(stdout);
    server.Stop();
    return 0;
}
