// OSC packets written byte by byte, as a tablet's app sends them, and sent
// over UDP to the player on this computer.
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kxtest {

// An OSC string: its bytes, a zero, padded to a multiple of four.
inline std::string oscString(const std::string& text)
{
    std::string out = text;
    out.push_back('\0');
    while (out.size() % 4) out.push_back('\0');
    return out;
}

inline std::string oscInt(uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return std::string(b, 4);
}

// A message: OscMessage("/kestrelux/set").s("bg").s("color").f(0.5).bytes()
class OscMessage {
public:
    explicit OscMessage(const std::string& address) : address_(address) { }
    OscMessage& s(const std::string& text)
    {
        tags_ += 's';
        args_ += oscString(text);
        return *this;
    }
    OscMessage& i(int32_t v)
    {
        tags_ += 'i';
        args_ += oscInt(uint32_t(v));
        return *this;
    }
    OscMessage& f(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        tags_ += 'f';
        args_ += oscInt(bits);
        return *this;
    }
    std::string bytes() const { return oscString(address_) + oscString(tags_) + args_; }
    operator std::string() const { return bytes(); }

private:
    std::string address_, tags_ = ",", args_;
};

// A bundle of packets (messages or bundles), time tag "immediately".
inline std::string oscBundle(const std::vector<std::string>& elements)
{
    std::string out = oscString("#bundle") + oscInt(0) + oscInt(1);
    for (const std::string& e : elements) out += oscInt(uint32_t(e.size())) + e;
    return out;
}

// Sends datagrams to 127.0.0.1:port; false when a send failed.
class OscSender {
public:
    OscSender() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) { }
    ~OscSender()
    {
        if (fd_ >= 0) close(fd_);
    }
    OscSender(const OscSender&) = delete;
    OscSender& operator=(const OscSender&) = delete;
    bool send(int port, const std::string& packet) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return fd_ >= 0 && sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                                  sizeof to) == ssize_t(packet.size());
    }

private:
    int fd_;
};

// A UDP port of the loopback address that nothing listens on now.
inline int freeUdpPort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) == 0)
        port = ntohs(at.sin_port);
    if (fd >= 0) close(fd);
    return port;
}

// Bytes waiting in the receive queue of the UDP socket bound to `port`
// (from /proc/net/udp); -1 when no socket is bound to it.
inline long udpWaiting(int port)
{
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line); // the heading
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        const size_t colon = local.find(':'), split = queues.find(':');
        if (colon == std::string::npos || split == std::string::npos) continue;
        if (std::stol(local.substr(colon + 1), nullptr, 16) != port) continue;
        return std::stol(queues.substr(split + 1), nullptr, 16);
    }
    return -1;
}

// Waits until the socket on `port` has taken every datagram sent to it
// (at most 10 s), then a little longer for the last one's handling.
inline bool waitUntilRead(int port)
{
    for (int i = 0; i < 2000; ++i) {
        if (udpWaiting(port) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace kxtest
