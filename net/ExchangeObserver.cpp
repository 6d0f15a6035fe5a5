#include "net/ExchangeObserver.h"

#include <atomic>

namespace
{
// Sessions are built during static initialisation; a constant-initialised atomic exists
// before any of them.
std::atomic<IExchangeObserver*> g_observer{nullptr};
std::atomic<IExchangeWaiter*> g_waiter{nullptr};
} // namespace

IExchangeObserver* SetExchangeObserver(IExchangeObserver* observer)
{
    return g_observer.exchange(observer);
}

IExchangeObserver* GetExchangeObserver()
{
    return g_observer.load();
}

IExchangeWaiter* SetExchangeWaiter(IExchangeWaiter* waiter)
{
    return g_waiter.exchange(waiter);
}

IExchangeWaiter* GetExchangeWaiter()
{
    return g_waiter.load();
}
