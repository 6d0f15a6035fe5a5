#pragma once

#include <memory>

#include "server/DemoServer.h"

namespace TestSupport
{
/// Starts the demo trade server in process on a free loopback port, with the built-in
/// book unless the options name another. Requests are not logged unless the options give
/// a log sink. Returns null, with the reason recorded as a test failure, when it does not
/// start; the client is not pointed at it (PointClientAt does that).
std::unique_ptr<DemoServer> StartDemoServer(DemoServerOptions options = {});
} // namespace TestSupport
