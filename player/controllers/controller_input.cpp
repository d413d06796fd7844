// The queue between the controllers' threads and the frame loop.
#include "player/controllers/controller_input.h"

#include <utility>

namespace controllers {

sAction sAction::press(int code, const char* from)
{
    sAction a;
    a.kind = eKind::press;
    a.key = code;
    a.source = from;
    return a;
}

sAction sAction::setBank(int newBank, const char* from)
{
    sAction a;
    a.kind = eKind::bank;
    a.bank = newBank;
    a.source = from;
    return a;
}

sAction sAction::set(std::string effect, std::string attribute, std::string value, const char* from)
{
    sAction a;
    a.kind = eKind::set;
    a.effect = std::move(effect);
    a.attribute = std::move(attribute);
    a.value = std::move(value);
    a.source = from;
    return a;
}

sAction sAction::midiMessage(unsigned char status, unsigned char data1, unsigned char data2, const char* from)
{
    sAction a;
    a.kind = eKind::midi;
    a.midi[0] = status;
    a.midi[1] = data1;
    a.midi[2] = data2;
    a.source = from;
    return a;
}

void cInputQueue::push(sAction action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.size() >= kMaxPending) {
        ++dropped_;
        return;
    }
    pending_.push_back(std::move(action));
}

std::vector<sAction> cInputQueue::take(size_t* dropped)
{
    std::vector<sAction> taken;
    std::lock_guard<std::mutex> lock(mutex_);
    taken.swap(pending_);
    if (dropped) *dropped = dropped_;
    dropped_ = 0;
    return taken;
}

cInputQueue& inputQueue()
{
    static cInputQueue queue;
    return queue;
}

} // namespace controllers
