// The OSC listener: oscpack's UDP socket read on a thread of its own.
#include "player/controllers/osc_listener.h"

#include "player/controllers/controller_input.h"
#include "player/controllers/osc_packet.h"
#include "player/log.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/ip/PacketListener.h>
#include <oscpack/ip/UdpSocket.h>
#include <strings.h>
#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif

namespace controllers {

bool readOscPort(const char* text, int& port)
{
    if (!text || !*text) return false;
    long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > 65535) return false;
    }
    if (value < 1) return false;
    port = int(value);
    return true;
}

bool readOscAddress(const char* text, uint32_t& address)
{
    if (!text) return false;
    if (strcasecmp(text, "localhost") == 0) {
        address = 0x7F000001u;
        return true;
    }
    uint32_t value = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *p++ != '.') return false;
        int digits = 0, number = 0;
        for (; *p >= '0' && *p <= '9' && digits < 3; ++p, ++digits) number = number * 10 + (*p - '0');
        if (digits == 0 || number > 255) return false;
        value = value << 8 | uint32_t(number);
    }
    if (*p || value == 0xFFFFFFFFu) return false;
    address = value;
    return true;
}

std::string oscAddressText(uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255, (address >> 8) & 255,
                  address & 255);
    return text;
}

// The bound socket, handing what it reads to the listener.
class cOscListener::cSocket : public PacketListener {
public:
    cSocket(cOscListener& owner, uint32_t address, int port)
        : owner_(owner), socket_(IpEndpointName(static_cast<unsigned long>(address), port), this)
    {
    }
    void ProcessPacket(const char* data, int size, const IpEndpointName&) override
    {
        if (size > 0) owner_.take(data, size_t(size));
    }
    UdpListeningReceiveSocket& socket() { return socket_; }

private:
    cOscListener& owner_;
    UdpListeningReceiveSocket socket_;
};

cOscListener::cOscListener() = default;

cOscListener::~cOscListener() { stop(); }

bool cOscListener::start(uint32_t address, int port, std::string& problem)
{
    if (running()) {
        problem = "already listening";
        return false;
    }
    try {
        socket_.reset(new cSocket(*this, address, port));
    } catch (const std::exception& e) {
        problem = e.what();
        while (!problem.empty() && (problem.back() == '\n' || problem.back() == ' ')) problem.pop_back();
        return false;
    }
    address_ = address;
    port_ = port;
    stopping_ = false;
    finished_ = false;
    packets_ = 0;
    thread_ = std::thread([this] { loop(); });
    return true;
}

void cOscListener::loop()
{
#ifndef _WIN32
    // Stop signals are the frame loop's to see; a signal landing here
    // would only interrupt the socket's wait.
    sigset_t signals;
    sigfillset(&signals);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif
    try {
        // The socket library forgets a break asked for before its loop
        // starts: stop() asks again until this thread says it is done.
        if (!stopping_) socket_->socket().Run();
    } catch (const std::exception& e) {
        cLog::get()->logf("OSC: the listener stopped: %s", e.what());
    } catch (...) {
        cLog::get()->logf("OSC: the listener stopped");
    }
    finished_ = true;
}

void cOscListener::stop()
{
    if (!running()) return;
    stopping_ = true;
    while (!finished_) {
        socket_->socket().AsynchronousBreak();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    thread_.join();
    socket_.reset();
}

void cOscListener::take(const char* data, size_t size)
{
    ++packets_;
    sOscRead read = readOscPacket(data, size);
    for (sAction& action : read.actions) inputQueue().push(std::move(action));
    if (!read.ignored) return;
    const unsigned fresh = read.ignored & ~told_.fetch_or(read.ignored);
    for (int i = 0; i < kOscIgnoredKinds; ++i)
        if (fresh & (1u << i)) cLog::get()->write(0, describeOscIgnored(1u << i, read.example[i]).c_str());
}

namespace {

std::string gCommandLinePort;
// The last port and address asked for, so that a reload asking for the
// same ones after a failure does not try (and log) again.
std::string gAsked;

cOscListener& listener()
{
    static cOscListener one;
    return one;
}

} // namespace

void setOscCommandLinePort(const std::string& text) { gCommandLinePort = text; }

void oscForShow(const char* portText, const char* bindText)
{
    cLog* log = cLog::get();
    const bool fromCommandLine = !gCommandLinePort.empty();
    const std::string port = fromCommandLine ? gCommandLinePort : portText ? portText : "";
    const std::string bind = bindText ? bindText : "";
    if (port.empty() && bind.empty()) {
        if (listener().running())
            log->logf("OSC: the show asks for no OSC; the player keeps listening on %s:%d",
                      oscAddressText(listener().address()).c_str(), listener().port());
        return;
    }
    const std::string asked = port + " " + bind;
    if (listener().running()) {
        if (asked != gAsked)
            log->logf("OSC: the show now asks for port %s%s%s; the player keeps listening on %s:%d until it is "
                      "started again",
                      port.empty() ? "(none)" : port.c_str(), bind.empty() ? "" : " on ", bind.c_str(),
                      oscAddressText(listener().address()).c_str(), listener().port());
        gAsked = asked;
        return;
    }
    if (asked == gAsked) return; // tried and said before
    gAsked = asked;

    int number = 0;
    uint32_t address = 0x7F000001u;
    if (port.empty()) {
        log->logf("OSC: oscbind=\"%s\" without a port (osc=\"PORT\" or --osc PORT): no OSC input", bind.c_str());
        return;
    }
    if (!readOscPort(port.c_str(), number)) {
        log->logf("OSC: %s \"%s\" is not a port number (1 to 65535): no OSC input",
                  fromCommandLine ? "--osc" : "osc=", port.c_str());
        return;
    }
    if (!bind.empty() && !readOscAddress(bind.c_str(), address)) {
        log->logf("OSC: oscbind=\"%s\" is not an IPv4 address such as 127.0.0.1 or 0.0.0.0: no OSC input",
                  bind.c_str());
        return;
    }
    std::string problem;
    if (!listener().start(address, number, problem)) {
        log->logf("OSC: cannot listen on %s:%d (%s; is the port in use?): no OSC input",
                  oscAddressText(address).c_str(), number, problem.c_str());
        return;
    }
    const bool loopback = (address >> 24) == 127;
    log->logf("OSC: listening on %s:%d%s", oscAddressText(address).c_str(), number,
              loopback ? " (this computer only)" : ": other computers that reach this address can drive the show");
}

void stopOsc()
{
    if (!listener().running()) return;
    listener().stop();
    cLog::get()->logf("OSC: stopped listening (%lu packets read)", listener().packets());
    gAsked.clear();
}

} // namespace controllers
