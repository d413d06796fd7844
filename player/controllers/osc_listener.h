// OSC over UDP: a socket on a thread of its own that turns every datagram
// into controller actions (osc_packet.h) and queues them for the frame loop.
// One listener per process: started when the first demo plays (--osc PORT,
// or the demo element's osc="PORT"; oscbind="ADDRESS" for another address
// than the loopback one), kept across reloads and demos, stopped when the
// show ends. Whatever goes wrong (a bad port, a port in use) is one log line
// and the show plays without OSC.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace controllers {

// "9000" -> 9000: whole numbers 1..65535 only.
bool readOscPort(const char* text, int& port);
// "127.0.0.1" -> 0x7F000001: a dotted IPv4 address, or "localhost". Not
// the broadcast address, which the socket library takes for "any".
bool readOscAddress(const char* text, uint32_t& address);
std::string oscAddressText(uint32_t address);

class cOscListener {
public:
    cOscListener();
    ~cOscListener();
    cOscListener(const cOscListener&) = delete;
    cOscListener& operator=(const cOscListener&) = delete;

    // Binds the socket and starts the thread; false with the reason when
    // the socket cannot be had (port in use, address not of this machine).
    bool start(uint32_t address, int port, std::string& problem);
    // Ends the thread and closes the socket; the actions already queued stay.
    void stop();
    bool running() const { return thread_.joinable(); }
    uint32_t address() const { return address_; }
    int port() const { return port_; }
    // Datagrams read since start (for the log line at the end).
    unsigned long packets() const { return packets_.load(); }

    // One datagram, as the socket thread hands it over: its actions are
    // queued, and each kind of ignored input is logged the first time.
    void take(const char* data, size_t size);

private:
    class cSocket;
    void loop();

    std::unique_ptr<cSocket> socket_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::atomic<unsigned long> packets_{0};
    std::atomic<unsigned> told_{0}; // kinds of ignored input already in the log
    uint32_t address_ = 0;
    int port_ = 0;
};

// --osc PORT from the command line: it wins over the demo element's osc=.
void setOscCommandLinePort(const std::string& text);
// A demo starts playing, or a reload rebuilt it: its osc= and oscbind=
// (null when absent). Starts the listener when one is asked for and none
// runs; a running one is kept whatever the script now says, and the log says so.
void oscForShow(const char* port, const char* bind);
// The show is over: the listener stops (also when the process ends).
void stopOsc();

} // namespace controllers
