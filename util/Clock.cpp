#include "util/Clock.h"

#include <atomic>

namespace
{
std::atomic<bool> s_fixed{false};
std::atomic<std::time_t> s_fixedNow{0};
} // namespace

std::time_t Clock::Now()
{
    return s_fixed.load() ? s_fixedNow.load() : std::time(nullptr);
}

void Clock::SetNowForTesting(std::optional<std::time_t> fixedNow)
{
    s_fixedNow.store(fixedNow.value_or(0));
    s_fixed.store(fixedNow.has_value());
}
