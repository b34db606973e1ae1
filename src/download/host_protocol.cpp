#include "download/host_protocol.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace tarnvel::host {

namespace {

class Writer {
public:
    explicit Writer(MessageKind kind) {
        U16(static_cast<std::uint16_t>(kind));
        U32(0); // the length, set by Finish
    }

    void U16(std::uint16_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }
    void U8(std::uint8_t value) { bytes_.push_back(value); }
    // The units of a text, at most `limit` of them: a record's text ends at its terminator or
    // its capacity.
    void Text(const EngineChar* text, std::size_t limit) {
        std::size_t length = 0;
        while (length < limit && text[length] != 0)
            ++length;
        U32(static_cast<std::uint32_t>(length));
        for (std::size_t i = 0; i < length; ++i)
            U16(static_cast<std::uint16_t>(text[i]));
    }
    void Text(const std::wstring& text) { Text(text.c_str(), text.size()); }

    std::vector<std::uint8_t> Finish() && {
        const auto length = static_cast<std::uint32_t>(bytes_.size() - kFrameHeaderSize);
        for (int i = 0; i < 4; ++i)
            bytes_[2 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// Reads a payload front to back; any read past its end makes it fail, and a payload with bytes
// left over fails too (Done).
class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& payload)
        : data_(payload.data()), size_(payload.size()) {}

    std::uint32_t U32() {
        std::uint32_t value = 0;
        if (Take(4)) {
            for (int i = 0; i < 4; ++i)
                value |= std::uint32_t{data_[at_ - 4 + i]} << (8 * i);
        }
        return value;
    }
    std::uint16_t U16() {
        return Take(2) ? static_cast<std::uint16_t>(data_[at_ - 2] | (data_[at_ - 1] << 8)) : 0;
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::uint8_t U8() { return Take(1) ? data_[at_ - 1] : 0; }

    // A text of at most `capacity` units into `out`, zeros after it.
    void Text(EngineChar* out, std::size_t capacity) {
        const std::uint32_t length = U32();
        if (length > capacity || !Fits(std::size_t{length} * 2)) {
            failed_ = true;
            return;
        }
        std::fill(out, out + capacity, EngineChar{0});
        for (std::uint32_t i = 0; i < length; ++i)
            out[i] = static_cast<EngineChar>(U16());
    }
    std::wstring Text() {
        const std::uint32_t length = U32();
        if (!Fits(std::size_t{length} * 2)) {
            failed_ = true;
            return {};
        }
        std::wstring text(length, L'\0');
        for (auto& unit : text)
            unit = static_cast<wchar_t>(U16());
        return text;
    }

    bool Done() const { return !failed_ && at_ == size_; }
    void Fail() { failed_ = true; }

private:
    bool Fits(std::size_t count) const { return !failed_ && count <= size_ - at_; }
    bool Take(std::size_t count) {
        if (!Fits(count)) {
            failed_ = true;
            return false;
        }
        at_ += count;
        return true;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

bool IsExport(std::uint8_t value) {
    return value < kExportCount;
}

template <typename Record> void ZeroFill(Record& record) {
    static_assert(std::is_trivially_copyable_v<Record>);
    std::memset(&record, 0, sizeof(record));
}

} // namespace

std::vector<std::uint8_t> Encode(const Request& request) {
    if (const auto* call = std::get_if<CallRequest>(&request)) {
        Writer writer(MessageKind::Call);
        writer.U8(static_cast<std::uint8_t>(call->which));
        return std::move(writer).Finish();
    }
    const auto& init = std::get<InitRequest>(request);
    Writer writer(MessageKind::Init);
    writer.Text(init.packagePath);
    writer.Text(init.extraText);
    writer.Text(init.modelName);
    for (const std::int32_t setting : init.settings)
        writer.I32(setting);
    for (const std::int32_t value : init.switches)
        writer.I32(value);
    return std::move(writer).Finish();
}

std::vector<std::uint8_t> Encode(const Report& report) {
    return std::visit(
        [](const auto& message) {
            using T = std::decay_t<decltype(message)>;
            if constexpr (std::is_same_v<T, ReadyReport>) {
                Writer writer(MessageKind::Ready);
                writer.U32(message.loadError);
                writer.U8(message.exports);
                return std::move(writer).Finish();
            } else if constexpr (std::is_same_v<T, ReturnedReport>) {
                Writer writer(MessageKind::Returned);
                writer.U8(static_cast<std::uint8_t>(message.which));
                writer.I32(message.result);
                return std::move(writer).Finish();
            } else if constexpr (std::is_same_v<T, MsgInfoRecord>) {
                Writer writer(MessageKind::MsgInfo);
                writer.I32(message.cell);
                writer.I32(message.msgType);
                writer.Text(message.text, kMsgInfoTextCapacity);
                writer.Text(message.detail, kMsgInfoDetailCapacity);
                return std::move(writer).Finish();
            } else if constexpr (std::is_same_v<T, ProgressReport>) {
                Writer writer(MessageKind::Progress);
                writer.I32(message.cell);
                writer.I32(message.total);
                writer.I32(message.done);
                return std::move(writer).Finish();
            } else if constexpr (std::is_same_v<T, TestStatusReport>) {
                Writer writer(MessageKind::TestStatus);
                writer.I32(message.cell);
                writer.I32(message.code);
                writer.I32(message.status);
                return std::move(writer).Finish();
            } else if constexpr (std::is_same_v<T, MonitorStatusRecord>) {
                Writer writer(MessageKind::MonitorStatus);
                writer.I32(message.cell);
                writer.I32(message.status);
                writer.Text(message.text, kMonitorTextCapacity);
                return std::move(writer).Finish();
            } else {
                static_assert(std::is_same_v<T, CheckdataStatusRecord>);
                Writer writer(MessageKind::Checkdata);
                writer.I32(message.cell);
                writer.I32(message.status);
                writer.Text(message.text, kCheckdataTextCapacity);
                return std::move(writer).Finish();
            }
        },
        report);
}

std::wstring_view Describe(ChannelFault fault) {
    switch (fault) {
    case ChannelFault::None:
        return L"no fault";
    case ChannelFault::UnknownKind:
        return L"a message of an unknown kind";
    case ChannelFault::Oversized:
        return L"a message longer than any the channel carries";
    case ChannelFault::Malformed:
        return L"a message whose content does not match its kind";
    case ChannelFault::EndedMidFrame:
        return L"the channel ended in the middle of a message";
    }
    return L"an unknown fault";
}

void FrameReader::Append(const std::uint8_t* data, std::size_t size) {
    if (fault_ != ChannelFault::None || size == 0)
        return;
    // Drop what has been read before growing, so the buffer holds at most one frame and a piece.
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

std::optional<FrameReader::Frame> FrameReader::Next() {
    if (fault_ != ChannelFault::None || buffer_.size() - start_ < kFrameHeaderSize)
        return std::nullopt;
    const std::uint8_t* header = buffer_.data() + start_;
    const auto kind = static_cast<MessageKind>(header[0] | (header[1] << 8));
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= std::uint32_t{header[2 + i]} << (8 * i);
    if (length > kMaxPayload) {
        fault_ = ChannelFault::Oversized;
        return std::nullopt;
    }
    if (buffer_.size() - start_ - kFrameHeaderSize < length)
        return std::nullopt;
    const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(start_ + kFrameHeaderSize);
    Frame frame{kind, std::vector<std::uint8_t>(begin, begin + length)};
    start_ += kFrameHeaderSize + length;
    return frame;
}

void FrameReader::EndOfStream() {
    if (fault_ == ChannelFault::None && start_ != buffer_.size())
        fault_ = ChannelFault::EndedMidFrame;
}

ChannelFault Decode(const FrameReader::Frame& frame, Request& out) {
    Reader reader(frame.payload);
    Request decoded;
    switch (frame.kind) {
    case MessageKind::Call: {
        const std::uint8_t which = reader.U8();
        // InitDownloadObj takes its record, so it never comes as a plain call.
        if (!IsExport(which) || which == static_cast<std::uint8_t>(EngineExport::Init))
            reader.Fail();
        decoded = CallRequest{static_cast<EngineExport>(which)};
        break;
    }
    case MessageKind::Init: {
        InitRequest init;
        init.packagePath = reader.Text();
        init.extraText = reader.Text();
        init.modelName = reader.Text();
        for (auto& setting : init.settings)
            setting = reader.I32();
        for (auto& value : init.switches)
            value = reader.I32();
        decoded = std::move(init);
        break;
    }
    default:
        return ChannelFault::UnknownKind;
    }
    if (!reader.Done())
        return ChannelFault::Malformed;
    out = std::move(decoded);
    return ChannelFault::None;
}

ChannelFault Decode(const FrameReader::Frame& frame, Report& out) {
    Reader reader(frame.payload);
    Report decoded;
    switch (frame.kind) {
    case MessageKind::Ready: {
        ReadyReport ready;
        ready.loadError = reader.U32();
        ready.exports = reader.U8();
        if (ready.exports >= (1u << kExportCount))
            reader.Fail();
        decoded = ready;
        break;
    }
    case MessageKind::Returned: {
        const std::uint8_t which = reader.U8();
        if (!IsExport(which))
            reader.Fail();
        decoded = ReturnedReport{static_cast<EngineExport>(which), reader.I32()};
        break;
    }
    case MessageKind::MsgInfo: {
        MsgInfoRecord record;
        ZeroFill(record);
        record.cell = reader.I32();
        record.msgType = reader.I32();
        reader.Text(record.text, kMsgInfoTextCapacity);
        reader.Text(record.detail, kMsgInfoDetailCapacity);
        decoded = record;
        break;
    }
    case MessageKind::Progress:
        decoded = ProgressReport{reader.I32(), reader.I32(), reader.I32()};
        break;
    case MessageKind::TestStatus:
        decoded = TestStatusReport{reader.I32(), reader.I32(), reader.I32()};
        break;
    case MessageKind::MonitorStatus: {
        MonitorStatusRecord record;
        ZeroFill(record);
        record.cell = reader.I32();
        record.status = reader.I32();
        reader.Text(record.text, kMonitorTextCapacity);
        decoded = record;
        break;
    }
    case MessageKind::Checkdata: {
        CheckdataStatusRecord record;
        ZeroFill(record);
        record.cell = reader.I32();
        record.status = reader.I32();
        reader.Text(record.text, kCheckdataTextCapacity);
        decoded = record;
        break;
    }
    default:
        return ChannelFault::UnknownKind;
    }
    if (!reader.Done())
        return ChannelFault::Malformed;
    out = decoded;
    return ChannelFault::None;
}

} // namespace tarnvel::host
