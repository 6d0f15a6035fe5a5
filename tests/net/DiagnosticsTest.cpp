// The protocol-buffer library's complaints about GBK text never reach the output.

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <google/protobuf/wire_format_lite.h>
#include <gtest/gtest.h>

#include "WireHelpers.h"
#include "WrappedMessage.pb.h"
#include "net/ClientUtil.h"

namespace
{

/// Everything written to standard error while it lives.
class StandardErrorCapture
{
public:
    StandardErrorCapture() : m_file(std::tmpfile())
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        if (m_file != nullptr)
            ::dup2(::fileno(m_file), STDERR_FILENO);
    }
    ~StandardErrorCapture()
    {
        Restore();
        if (m_file != nullptr)
            std::fclose(m_file);
    }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    std::string Text()
    {
        Restore();
        std::string text;
        if (m_file == nullptr)
            return "(capture failed)";
        std::rewind(m_file);
        for (int c = std::fgetc(m_file); c != EOF; c = std::fgetc(m_file))
            text.push_back(static_cast<char>(c));
        return text;
    }

private:
    void Restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    std::FILE* m_file;
    int m_saved = -1;
};

TEST(ProtobufDiagnostics, GbkTextWritesWithoutALogLine)
{
    const CClientUtil session; // the first session silences the library

    quorvanta::WrappedMessage envelope;
    envelope.set_msgdesc(NetTest::kGbkNoAccount);
    quorvanta::MsgQryEntrust_res row;
    row.set_status_name(NetTest::kGbkFilled);

    StandardErrorCapture capture;
    const std::string bytes = envelope.SerializePartialAsString() + row.SerializePartialAsString();
    quorvanta::WrappedMessage read;
    read.ParsePartialFromString(envelope.SerializePartialAsString());
    // The library's own check, which the generated code runs in unoptimised builds; it
    // reports the GBK bytes as invalid UTF-8.
    using google::protobuf::internal::WireFormatLite;
    EXPECT_FALSE(WireFormatLite::VerifyUtf8String(NetTest::kGbkFilled.data(),
                                                  int(NetTest::kGbkFilled.size()),
                                                  WireFormatLite::SERIALIZE, "status_name"));
    EXPECT_EQ(capture.Text(), "");
    EXPECT_FALSE(bytes.empty());
}

} // namespace
