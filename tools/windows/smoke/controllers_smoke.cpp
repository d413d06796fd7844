// Smoke test for the controllers' libraries cross-built for Windows:
//  - oscpack sends an OSC message to this program over 127.0.0.1 (UDP, on
//    Winsock) and parses it, with a 64-bit integer and a time tag among its
//    arguments: mingw-w64's 32-bit long would cut them without the type
//    correction build-deps.sh makes; a truncated copy must be refused with
//    oscpack's exception, thrown in its DLL and caught here;
//  - RtMidi lists the MIDI input ports of the Windows multimedia API (WinMM)
//    and opens the first one if there is one. No port (as under Wine without
//    a sequencer) is a line, not a failure.
// Prints one "osc: ..." or "midi: ..." line per check and exits non-zero on
// the first failure.
#include <RtMidi.h>
#include <oscpack/ip/PacketListener.h>
#include <oscpack/ip/TimerListener.h>
#include <oscpack/ip/UdpSocket.h>
#include <oscpack/osc/OscException.h>
#include <oscpack/osc/OscOutboundPacketStream.h>
#include <oscpack/osc/OscReceivedElements.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

bool fail(const std::string& what)
{
    std::printf("FAILED: %s\n", what.c_str());
    return false;
}

const char* const kAddress = "/kestrelux/set";
const float kVolume = 0.504f;
const std::int64_t kBig = (std::int64_t(1) << 40) + 7;
const std::uint64_t kTimeTag = 0x0123456789abcdefULL;

// Parses one packet as the message sendOsc() sends; empty when it matches,
// else what differs.
std::string checkMessage(const char* data, std::size_t size)
{
    osc::ReceivedPacket packet(data, static_cast<osc::osc_bundle_element_size_t>(size));
    if (!packet.IsMessage())
        return "a bundle";
    osc::ReceivedMessage message(packet);
    if (std::string(message.AddressPattern()) != kAddress)
        return std::string("address ") + message.AddressPattern();
    osc::ReceivedMessageArgumentStream args = message.ArgumentStream();
    const char* effect = nullptr;
    const char* attribute = nullptr;
    float volume = 0;
    osc::int64 big = 0;
    osc::TimeTag tag(0);
    args >> effect >> attribute >> volume >> big >> tag >> osc::EndMessage;
    std::printf("osc: received %s %s %s %.3f %lld timetag 0x%016llx\n", message.AddressPattern(), effect,
                attribute, static_cast<double>(volume), static_cast<long long>(big),
                static_cast<unsigned long long>(tag.value));
    if (std::string(effect) != "tune" || std::string(attribute) != "volume" || volume != kVolume)
        return "the string or float arguments";
    if (sizeof(osc::int64) != 8 || big != kBig || tag.value != kTimeTag)
        return "the 64-bit arguments (osc::int64 has " + std::to_string(8 * sizeof(osc::int64)) + " bits)";
    return "";
}

// Receives one packet on the multiplexer, or gives up after a timeout.
class cOneShot : public PacketListener, public TimerListener
{
public:
    explicit cOneShot(SocketReceiveMultiplexer& mux) : mux_(mux) {}

    void ProcessPacket(const char* data, int size, const IpEndpointName& from) override
    {
        char host[IpEndpointName::ADDRESS_STRING_LENGTH];
        from.AddressAsString(host);
        std::printf("osc: a %d-byte packet from %s\n", size, host);
        try {
            problem = checkMessage(data, static_cast<std::size_t>(size));
        } catch (const osc::Exception& e) {
            problem = std::string("parse error: ") + e.what();
        }
        received = true;
        mux_.Break();
    }

    void TimerExpired() override { mux_.Break(); }

    bool received = false;
    std::string problem;

private:
    SocketReceiveMultiplexer& mux_;
};

// A receiving socket on 127.0.0.1, on the first free port of a few.
std::unique_ptr<UdpReceiveSocket> bindLoopback(int& port)
{
    for (port = 47311; port < 47311 + 40; ++port) {
        try {
            return std::make_unique<UdpReceiveSocket>(IpEndpointName("127.0.0.1", port));
        } catch (const std::runtime_error&) {
            // taken: the next one
        }
    }
    return nullptr;
}

bool checkOsc()
{
    int port = 0;
    std::unique_ptr<UdpReceiveSocket> receiver = bindLoopback(port);
    if (!receiver)
        return fail("oscpack could not bind a UDP socket on 127.0.0.1");
    std::printf("osc: listening on 127.0.0.1:%d\n", port);

    char buffer[256];
    osc::OutboundPacketStream out(buffer, sizeof buffer);
    out << osc::BeginMessage(kAddress) << "tune" << "volume" << kVolume << osc::int64(kBig)
        << osc::TimeTag(kTimeTag) << osc::EndMessage;
    UdpTransmitSocket sender(IpEndpointName("127.0.0.1", port));
    sender.Send(out.Data(), out.Size());

    SocketReceiveMultiplexer mux;
    cOneShot listener(mux);
    mux.AttachSocketListener(receiver.get(), &listener);
    mux.AttachPeriodicTimerListener(5000, &listener);
    mux.Run();
    mux.DetachPeriodicTimerListener(&listener);
    mux.DetachSocketListener(receiver.get(), &listener);
    if (!listener.received)
        return fail("no OSC packet arrived within 5 s");
    if (!listener.problem.empty())
        return fail("the OSC message came back wrong: " + listener.problem);

    // The same message without its last four bytes.
    try {
        checkMessage(out.Data(), out.Size() - 4);
        return fail("oscpack accepted a truncated message");
    } catch (const osc::Exception& e) {
        std::printf("osc: a truncated message is refused: %s\n", e.what());
    }
    return true;
}

bool checkMidi()
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::string names;
    for (RtMidi::Api api : apis)
        names += " " + RtMidi::getApiName(api);
    std::printf("midi: RtMidi %s, APIs:%s\n", RtMidi::getVersion().c_str(), names.c_str());
    try {
        RtMidiIn in(RtMidi::WINDOWS_MM, "kestrelux smoke");
        const unsigned int count = in.getPortCount();
        if (count == 0) {
            std::printf("midi: no MIDI input ports\n");
            return true;
        }
        for (unsigned int i = 0; i < count; ++i)
            std::printf("midi: input port %u: %s\n", i, in.getPortName(i).c_str());
        in.openPort(0);
        in.closePort();
        std::printf("midi: opened and closed port 0\n");
    } catch (const RtMidiError& e) {
        return fail("RtMidi: " + e.getMessage());
    }
    return true;
}

} // namespace

int main()
{
    try {
        if (!checkOsc() || !checkMidi())
            return 1;
    } catch (const std::exception& e) {
        fail(e.what());
        return 1;
    }
    std::printf("controllers smoke: oscpack and RtMidi work\n");
    return 0;
}
