// How the wire messages are written and read: unchecked, GBK-transparent, strict about
// the end of the input.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "WireHelpers.h"
#include "WrappedMessage.pb.h"

namespace
{
using google::protobuf::FieldDescriptor;

TEST(Schema, DeclaresTheMessagesInOrderWithGaplessRequiredFields)
{
    const std::vector<std::string> expected = {
        "WrappedMessage",
        "TestMessageReq",
        "TestMessageRes",
        "MsgLogin_req",
        "MsgLogin_res",
        "MsgEntrust_req",
        "MsgEntrust_res",
        "MsgCanEntrust_req",
        "MsgCanEntrust_res",
        "MsgQryEntrust_req",
        "MsgQryEntrust_res_collection",
        "MsgQryEntrust_res",
        "MsgQryHisEntrust_req",
        "MsgQryHisEntrust_res_collection",
        "MsgQryHisEntrust_res",
        "MsgQryOptCode_req",
        "MsgQryOptCode_res_collection",
        "MsgQryOptCode_res",
        "MsgQryPosCode_req",
        "MsgQryPosCode_res_collection",
        "MsgQryPosCode_res",
        "MsgQryStockAcc_req",
        "MsgQryStockAcc_res_collection",
        "MsgQryStockAcc_res",
    };
    const auto* file = quorvanta::WrappedMessage::descriptor()->file();
    EXPECT_EQ(file->package(), "quorvanta");
    ASSERT_EQ(file->message_type_count(), int(expected.size()));
    for (int i = 0; i < file->message_type_count(); ++i) {
        const auto* message = file->message_type(i);
        EXPECT_EQ(message->name(), expected[size_t(i)]);
        const bool collection = message->name().ends_with("_res_collection");
        for (int f = 0; f < message->field_count(); ++f) {
            const auto* field = message->field(f);
            SCOPED_TRACE(message->name() + "." + field->name());
            EXPECT_EQ(field->number(), f + 1);
            EXPECT_EQ(field->label(), collection ? FieldDescriptor::LABEL_REPEATED
                                                 : FieldDescriptor::LABEL_REQUIRED);
            EXPECT_FALSE(field->has_default_value());
        }
    }
}

TEST(Schema, RequestEnvelopeWithoutErrorFieldsWritesAndReadsBack)
{
    const auto envelope = NetTest::ClientEnvelope("", "0A1B2C3D4E5F", 9870, "payload");
    ASSERT_FALSE(envelope.IsInitialized()); // ErrorCode, MsgDesc, BuffSize are missing

    std::string bytes;
    ASSERT_TRUE(envelope.SerializePartialToString(&bytes));
    quorvanta::WrappedMessage read;
    ASSERT_TRUE(read.ParsePartialFromString(bytes));
    EXPECT_EQ(read.errorcode(), 0);
    EXPECT_EQ(read.msgdesc(), "");
    EXPECT_EQ(read.buffsize(), 0);
    EXPECT_TRUE(read.has_tokenkey());
    EXPECT_EQ(read.macid(), "0A1B2C3D4E5F");
    EXPECT_EQ(read.funid(), 9870);
    EXPECT_EQ(read.buff(), "payload");
}

TEST(Schema, EmptyInputIsACollectionWithoutRows)
{
    quorvanta::MsgQryPosCode_res_collection rows;
    ASSERT_TRUE(rows.ParsePartialFromString(""));
    EXPECT_EQ(rows.res_collection_size(), 0);
}

TEST(Schema, RowWithOnlyEntrustNoReadsOtherFieldsAsEmptyText)
{
    quorvanta::MsgQryEntrust_res written;
    written.set_entrust_no("1024");
    quorvanta::MsgQryEntrust_res read;
    ASSERT_TRUE(read.ParsePartialFromString(written.SerializePartialAsString()));

    const auto* descriptor = read.GetDescriptor();
    const auto* reflection = read.GetReflection();
    for (int f = 0; f < descriptor->field_count(); ++f) {
        const auto* field = descriptor->field(f);
        SCOPED_TRACE(field->name());
        EXPECT_EQ(reflection->GetString(read, field), field->name() == "entrust_no" ? "1024" : "");
    }
}

TEST(Schema, GbkTextSurvivesWriteAndRead)
{
    quorvanta::MsgQryEntrust_res_collection written;
    auto* row = written.add_res_collection();
    row->set_status_name(NetTest::kGbkFilled);
    row->set_sopt_name(std::string("\x80\xFF\x00\xA1", 4));
    quorvanta::WrappedMessage envelope;
    envelope.set_msgdesc(NetTest::kGbkNoAccount);
    envelope.set_buff(written.SerializePartialAsString());

    quorvanta::WrappedMessage readEnvelope;
    ASSERT_TRUE(readEnvelope.ParsePartialFromString(envelope.SerializePartialAsString()));
    EXPECT_EQ(readEnvelope.msgdesc(), NetTest::kGbkNoAccount);
    quorvanta::MsgQryEntrust_res_collection read;
    ASSERT_TRUE(read.ParsePartialFromString(readEnvelope.buff()));
    ASSERT_EQ(read.res_collection_size(), 1);
    EXPECT_EQ(read.res_collection(0).status_name(), NetTest::kGbkFilled);
    EXPECT_EQ(read.res_collection(0).sopt_name(), std::string("\x80\xFF\x00\xA1", 4));
}

TEST(Schema, FieldsTheSchemaLacksAreCarriedNotRefused)
{
    quorvanta::MsgEntrust_res reply;
    reply.set_entrust_no("77");
    std::string bytes = reply.SerializePartialAsString();
    bytes += std::string("\xF8\x06\x2A", 3);   // field 111, varint 42
    bytes += std::string("\x9A\x01\x02hi", 5); // field 19, two bytes
    quorvanta::MsgEntrust_res read;
    ASSERT_TRUE(read.ParsePartialFromString(bytes));
    EXPECT_EQ(read.entrust_no(), "77");
}

TEST(Schema, MalformedBytesDoNotParse)
{
    quorvanta::MsgEntrust_res reply;
    reply.set_entrust_no("77");
    reply.set_init_date("20260101");
    const std::string wellFormed = reply.SerializePartialAsString();

    const struct
    {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"trailing zero byte", wellFormed + std::string(1, '\0')},
        {"zero tag inside", std::string("\x0A\x01x\x00\x12\x01y", 7)},
        {"length past the end", std::string("\x0A\x05"
                                            "ab",
                                            4)},
        {"cut varint", std::string("\x08\x80", 2)},
        {"wire type 7", std::string("\x0F\x01", 2)},
        {"cut message", wellFormed.substr(0, wellFormed.size() - 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        quorvanta::MsgEntrust_res read;
        EXPECT_FALSE(read.ParsePartialFromString(c.bytes));
        quorvanta::WrappedMessage envelope;
        EXPECT_FALSE(envelope.ParsePartialFromArray(c.bytes.data(), int(c.bytes.size())));
    }
}

} // namespace
