// SPDX-License-Identifier: MIT
#include "framework/virtual_window_services.h"

#include <algorithm>

namespace krx {

void VirtualWindowServices::post(std::function<void()> task) {
    scheduleAtUs(nowUs(), std::move(task));
}

void VirtualWindowServices::armTimer(TimerTarget& target, int id, std::uint64_t generation,
                                     int intervalMs) {
    scheduleAtUs(nowUs() + std::int64_t{intervalMs} * 1000, [this, &target, id, generation] {
        auto it = timers_.find({&target, id});
        if (it == timers_.end() || it->second.generation != generation)
            return;  // killed or reset
        armTimer(target, id, generation, it->second.intervalMs);
        target.onTimer(id);
    });
}

void VirtualWindowServices::setTimer(TimerTarget& target, int id, int intervalMs) {
    intervalMs = std::max(intervalMs, 1);
    const std::uint64_t generation = ++nextGeneration_;
    timers_[{&target, id}] = Timer{intervalMs, generation};
    armTimer(target, id, generation, intervalMs);
}

void VirtualWindowServices::killTimer(TimerTarget& target, int id) {
    timers_.erase({&target, id});
}

void VirtualWindowServices::killAllTimers(TimerTarget& target) {
    std::erase_if(timers_, [&target](const auto& entry) { return entry.first.first == &target; });
}

void VirtualWindowServices::sleepMs(int ms) {
    advanceUs(std::int64_t{ms} * 1000);
}

void VirtualWindowServices::showMessage(QWidget* owner, const QString& text) {
    messages_.push_back(Message{text, owner, nowMs()});
}

int VirtualWindowServices::runModal(QDialog& dialog) {
    modalDialogs_.push_back(&dialog);
    return modalHook ? modalHook(dialog) : 0;
}

std::optional<int> VirtualWindowServices::timerInterval(const TimerTarget& target, int id) const {
    auto it = timers_.find({&target, id});
    if (it == timers_.end())
        return std::nullopt;
    return it->second.intervalMs;
}

}  // namespace krx
