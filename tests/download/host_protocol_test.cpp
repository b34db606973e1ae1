#include "download/host_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

namespace tarnvel::host {
namespace {

template <typename Record> Record Zeroed() {
    Record record;
    std::memset(&record, 0, sizeof(record));
    return record;
}

template <std::size_t N> void Put(EngineChar (&field)[N], const wchar_t* text) {
    std::wcsncpy(field, text, N);
}

// Every frame of `stream`, fed to a reader one byte at a time as a pipe may hand it over.
std::vector<FrameReader::Frame> FramesOf(const std::vector<std::uint8_t>& stream, ChannelFault& fault) {
    FrameReader reader;
    std::vector<FrameReader::Frame> frames;
    for (const std::uint8_t byte : stream) {
        reader.Append(&byte, 1);
        while (auto frame = reader.Next())
            frames.push_back(std::move(*frame));
    }
    reader.EndOfStream();
    fault = reader.Fault();
    return frames;
}

template <typename Message> ChannelFault DecodeOne(const std::vector<std::uint8_t>& bytes, Message& out) {
    ChannelFault fault{};
    const auto frames = FramesOf(bytes, fault);
    if (fault != ChannelFault::None)
        return fault;
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? ChannelFault::EndedMidFrame : Decode(frames.front(), out);
}

std::vector<std::uint8_t> Frame(std::uint16_t kind, const std::vector<std::uint8_t>& payload) {
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 2; ++i)
        bytes.push_back(static_cast<std::uint8_t>(kind >> (8 * i)));
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

TEST(HostProtocol, ReportsArriveWholeAndInTheEnginesOrderHoweverTheStreamIsCut) {
    auto info = Zeroed<MsgInfoRecord>();
    info.cell = 0;
    info.msgType = 2;
    Put(info.text, L"校验中");
    Put(info.detail, L"checking");
    auto monitor = Zeroed<MonitorStatusRecord>();
    monitor.cell = 3;
    monitor.status = 1;
    Put(monitor.text, L"COM7");
    auto check = Zeroed<CheckdataStatusRecord>();
    check.cell = -1;
    check.status = 2;
    const std::vector<Report> sent{ReadyReport{0, 0x1F},
                                   ReturnedReport{EngineExport::Init, -7},
                                   info,
                                   ProgressReport{0, 1 << 30, 12345},
                                   TestStatusReport{0, 99, 2},
                                   monitor,
                                   check};
    std::vector<std::uint8_t> stream;
    for (const auto& report : sent) {
        const auto bytes = Encode(report);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }

    ChannelFault fault{};
    const auto frames = FramesOf(stream, fault);
    ASSERT_EQ(fault, ChannelFault::None);
    ASSERT_EQ(frames.size(), sent.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Report got;
        ASSERT_EQ(Decode(frames[i], got), ChannelFault::None) << i;
        ASSERT_EQ(got.index(), sent[i].index()) << i;
        EXPECT_EQ(Encode(got), Encode(sent[i])) << i;
    }
    const auto& gotInfo = std::get<MsgInfoRecord>([&] {
        Report got;
        Decode(frames[2], got);
        return got;
    }());
    EXPECT_STREQ(gotInfo.text, L"校验中");
    EXPECT_STREQ(gotInfo.detail, L"checking");
}

TEST(HostProtocol, TheInitRecordAndTheCallsReachTheHostAsSent) {
    InitRequest init;
    init.packagePath = L"D:\\升级包\\TARNVEL 5512Q.RZB";
    init.modelName = L"5512Q";
    init.settings = {1, 2, 3, -4};
    init.switches = {0, 1, 0, 1, 0, 1, 7};
    Request got;
    ASSERT_EQ(DecodeOne(Encode(Request{init}), got), ChannelFault::None);
    const auto& gotInit = std::get<InitRequest>(got);
    EXPECT_EQ(gotInit.packagePath, init.packagePath);
    EXPECT_EQ(gotInit.extraText, L"");
    EXPECT_EQ(gotInit.modelName, init.modelName);
    EXPECT_EQ(gotInit.settings, init.settings);
    EXPECT_EQ(gotInit.switches, init.switches);

    for (const auto which :
         {EngineExport::Verify, EngineExport::Run, EngineExport::Stop, EngineExport::Release}) {
        ASSERT_EQ(DecodeOne(Encode(Request{CallRequest{which}}), got), ChannelFault::None);
        EXPECT_EQ(std::get<CallRequest>(got).which, which);
    }
}

TEST(HostProtocol, ARecordTextWithoutItsTerminatorTravelsUpToItsCapacityOnly) {
    auto monitor = Zeroed<MonitorStatusRecord>();
    std::fill(std::begin(monitor.text), std::end(monitor.text), L'x');
    monitor.cell = 0x01020304; // right after the text: must not be taken for more of it
    const auto bytes = Encode(Report{monitor});
    EXPECT_EQ(bytes.size(), kFrameHeaderSize + 4 + 4 + 4 + 2 * kMonitorTextCapacity);
    Report got;
    ASSERT_EQ(DecodeOne(bytes, got), ChannelFault::None);
    const auto& record = std::get<MonitorStatusRecord>(got);
    EXPECT_EQ(std::wstring(record.text, kMonitorTextCapacity), std::wstring(kMonitorTextCapacity, L'x'));
    EXPECT_EQ(record.cell, 0x01020304);
}

TEST(HostProtocol, BytesThatDoNotDecodeAreAFaultNeverAGuess) {
    Report report;
    Request request;
    const auto progress = Encode(Report{ProgressReport{1, 2, 3}});

    // A report sent where a request belongs, and a kind nobody sends.
    EXPECT_EQ(DecodeOne(progress, request), ChannelFault::UnknownKind);
    EXPECT_EQ(DecodeOne(Frame(999, {}), report), ChannelFault::UnknownKind);

    // A payload too short or too long for its kind.
    EXPECT_EQ(DecodeOne(Frame(67, {1, 0, 0, 0, 2, 0, 0, 0}), report), ChannelFault::Malformed);
    EXPECT_EQ(DecodeOne(Frame(67, std::vector<std::uint8_t>(13, 0)), report), ChannelFault::Malformed);

    // A text longer than its record holds, and one longer than its message.
    std::vector<std::uint8_t> overlong(8, 0);
    overlong.insert(overlong.end(), {65, 0, 0, 0}); // 65 units in a 64-unit field
    overlong.resize(overlong.size() + 2 * 65, 'x');
    EXPECT_EQ(DecodeOne(Frame(69, overlong), report), ChannelFault::Malformed);
    EXPECT_EQ(DecodeOne(Frame(69, {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), report),
              ChannelFault::Malformed);

    // Exports that do not exist, and InitDownloadObj without its record.
    EXPECT_EQ(DecodeOne(Frame(65, {5, 0, 0, 0, 0}), report), ChannelFault::Malformed);
    EXPECT_EQ(DecodeOne(Frame(1, {0}), request), ChannelFault::Malformed);
    EXPECT_EQ(DecodeOne(Frame(64, {0, 0, 0, 0, 0x20}), report), ChannelFault::Malformed);

    // What failed to decode leaves the last good message as it was.
    ASSERT_EQ(DecodeOne(progress, report), ChannelFault::None);
    EXPECT_EQ(DecodeOne(Frame(67, {}), report), ChannelFault::Malformed);
    EXPECT_EQ(std::get<ProgressReport>(report).done, 3);
}

TEST(HostProtocol, ABadLengthOrAnEndInsideAMessageStopsTheStream) {
    ChannelFault fault{};
    auto stream = Frame(67, std::vector<std::uint8_t>(kMaxPayload + 1, 0));
    stream.resize(kFrameHeaderSize); // the length alone is enough to tell
    const auto good = Encode(Report{ProgressReport{1, 2, 3}});
    stream.insert(stream.end(), good.begin(), good.end());
    EXPECT_TRUE(FramesOf(stream, fault).empty());
    EXPECT_EQ(fault, ChannelFault::Oversized);

    auto cut = good;
    cut.pop_back();
    EXPECT_TRUE(FramesOf(cut, fault).empty());
    EXPECT_EQ(fault, ChannelFault::EndedMidFrame);

    // A whole message, then the start of another's header.
    auto followed = good;
    followed.insert(followed.end(), {67, 0});
    EXPECT_EQ(FramesOf(followed, fault).size(), 1u);
    EXPECT_EQ(fault, ChannelFault::EndedMidFrame);
}

} // namespace
} // namespace tarnvel::host
