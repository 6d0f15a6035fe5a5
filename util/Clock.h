#pragma once

#include <ctime>
#include <optional>

/// The one source of "now" for the terminal: the system clock, or a fixed moment that
/// a test sets.
namespace Clock
{
std::time_t Now();
/// Fixes Now() at the given moment; std::nullopt returns to the system clock.
void SetNowForTesting(std::optional<std::time_t> fixedNow);
} // namespace Clock
