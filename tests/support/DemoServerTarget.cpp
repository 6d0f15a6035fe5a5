#include "tests/support/DemoServerTarget.h"

#include <string>

#include <gtest/gtest.h>

namespace TestSupport
{
std::unique_ptr<DemoServer> StartDemoServer(DemoServerOptions options)
{
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    if (!options.logSink)
        options.logRequests = false;
    auto server = std::make_unique<DemoServer>(std::move(options));
    std::string error;
    if (!server->Start(error)) {
        ADD_FAILURE() << "the demo server does not start: " << error;
        return nullptr;
    }
    return server;
}
} // namespace TestSupport
