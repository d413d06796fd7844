// Sends one OSC message to 127.0.0.1 over UDP, as a tablet's OSC app would,
// with the tests' own packet writer (tests/osc_builder.h):
//   kx_osc_send PORT ADDRESS [i:INTEGER | f:DECIMAL | s:TEXT]...
//   kx_osc_send --free-port     prints a UDP port of 127.0.0.1 free now
// The window cases of the Windows suite (wine_window_test.sh) play the
// player under Wine with it.
#include "osc_builder.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--free-port") {
        const int port = kxtest::freeUdpPort();
        if (port <= 0) return 1;
        std::printf("%d\n", port);
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: kx_osc_send PORT ADDRESS [i:INTEGER | f:DECIMAL | s:TEXT]...\n"
                             "       kx_osc_send --free-port\n");
        return 2;
    }
    try {
        size_t used = 0;
        const int port = std::stoi(argv[1], &used);
        if (argv[1][used] || port < 1 || port > 65535) throw std::invalid_argument("not a port");
        kxtest::OscMessage message(argv[2]);
        for (int i = 3; i < argc; ++i) {
            const std::string arg = argv[i];
            const std::string value = arg.size() > 2 ? arg.substr(2) : "";
            if (arg.rfind("i:", 0) == 0)
                message.i(std::stoi(value));
            else if (arg.rfind("f:", 0) == 0)
                message.f(std::stof(value));
            else if (arg.rfind("s:", 0) == 0)
                message.s(value);
            else
                throw std::invalid_argument("'" + arg + "' is not i:, f: or s:");
        }
        if (!kxtest::OscSender().send(port, message)) throw std::runtime_error("the send failed");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kx_osc_send: %s\n", e.what());
        return 2;
    }
    return 0;
}
