#include "net/ProtobufDiagnostics.h"

#include <google/protobuf/stubs/logging.h>

namespace
{
google::protobuf::LogHandler* g_previousHandler = nullptr;

void DropDiagnostics(google::protobuf::LogLevel level, const char* filename, int line,
                     const std::string& message)
{
    // A fatal message comes just before the library gives up; that one is worth seeing.
    if (level == google::protobuf::LOGLEVEL_FATAL && g_previousHandler != nullptr)
        g_previousHandler(level, filename, line, message);
}
} // namespace

void SilenceProtobufDiagnostics()
{
    static const bool installed = [] {
        g_previousHandler = google::protobuf::SetLogHandler(&DropDiagnostics);
        return true;
    }();
    (void)installed;
}
