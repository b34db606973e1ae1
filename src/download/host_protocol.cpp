#include "download/host_protocol.h"

#include <algorithm>
#include <type_traits>
#include <utility>

namespace tarnvel::host {

namespace {

class Writer {
public:
    explicit Writer(MessageKind kind) {
        Number(static_cast<std::uint16_t>(kind));
        Number(std::uint32_t{0}); // the length, set by Finish
    }

    template <typename Integer> void Number(Integer value) {
        using Unsigned = std::make_unsigned_t<Integer>;
        for (std::size_t i = 0; i < sizeof(Integer); ++i)
            bytes_.push_back(static_cast<std::uint8_t>(static_cast<Unsigned>(value) >> (8 * i)));
    }
    template <typename... Integers> void Numbers(Integers... values) { (Number(values), ...); }
    void Export(EngineExport which) { Number(static_cast<std::uint8_t>(which)); }
    // A record's text ends at its terminator or its capacity, whichever comes first.
    template <std::size_t Capacity> void Text(const EngineChar (&text)[Capacity]) {
        Units(text, std::find(text, text + Capacity, EngineChar{0}) - text);
    }
    void Text(const std::wstring& text) { Units(text.data(), text.size()); }

    std::vector<std::uint8_t> Finish() && {
        const auto length = static_cast<std::uint32_t>(bytes_.size() - kFrameHeaderSize);
        for (int i = 0; i < 4; ++i)
            bytes_[2 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        return std::move(bytes_);
    }

private:
    template <typename Char> void Units(const Char* units, std::size_t count) {
        Number(static_cast<std::uint32_t>(count));
        for (std::size_t i = 0; i < count; ++i)
            Number(static_cast<std::uint16_t>(units[i]));
    }

    std::vector<std::uint8_t> bytes_;
};

// Reads a payload front to back; a read past its end fails it, and so do bytes left over (Done).
class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& payload)
        : data_(payload.data()), size_(payload.size()) {}

    template <typename Integer> void Number(Integer& value) {
        using Unsigned = std::make_unsigned_t<Integer>;
        Unsigned bits = 0;
        if (Take(sizeof(Integer))) {
            for (std::size_t i = 0; i < sizeof(Integer); ++i)
                bits |= static_cast<Unsigned>(Unsigned{data_[at_ - sizeof(Integer) + i]} << (8 * i));
        }
        value = static_cast<Integer>(bits);
    }
    template <typename... Integers> void Numbers(Integers&... values) { (Number(values), ...); }
    void Export(EngineExport& which) {
        std::uint8_t value = 0;
        Number(value);
        if (value >= kExportCount)
            failed_ = true;
        which = static_cast<EngineExport>(value);
    }
    // At most the field's capacity, zeros after it.
    template <std::size_t Capacity> void Text(EngineChar (&text)[Capacity]) {
        std::fill(text, text + Capacity, EngineChar{0});
        const std::uint32_t count = Count();
        if (count > Capacity)
            failed_ = true;
        for (std::uint32_t i = 0; i < count && !failed_; ++i)
            text[i] = Unit();
    }
    void Text(std::wstring& text) {
        text.assign(Count(), L'\0');
        for (auto& unit : text)
            unit = Unit();
    }

    bool Done() const { return !failed_ && at_ == size_; }
    void Fail() { failed_ = true; }

private:
    // A count of units that the payload can hold, else 0 and failed.
    std::uint32_t Count() {
        std::uint32_t count = 0;
        Number(count);
        if (failed_ || std::size_t{count} * 2 > size_ - at_) {
            failed_ = true;
            return 0;
        }
        return count;
    }
    EngineChar Unit() {
        std::uint16_t unit = 0;
        Number(unit);
        return static_cast<EngineChar>(unit);
    }
    bool Take(std::size_t count) {
        if (failed_ || count > size_ - at_) {
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

// Each message's fields, in the order they travel: one description for writing and reading.
template <typename Io, typename M> void Fields(Io& io, M& m) {
    using T = std::remove_const_t<M>;
    if constexpr (std::is_same_v<T, CallRequest>) {
        io.Export(m.which);
    } else if constexpr (std::is_same_v<T, InitRequest>) {
        io.Text(m.packagePath);
        io.Text(m.extraText);
        io.Text(m.modelName);
        for (auto& value : m.settings)
            io.Number(value);
        for (auto& value : m.switches)
            io.Number(value);
    } else if constexpr (std::is_same_v<T, ReadyReport>) {
        io.Numbers(m.loadError, m.exports);
    } else if constexpr (std::is_same_v<T, ReturnedReport>) {
        io.Export(m.which);
        io.Number(m.result);
    } else if constexpr (std::is_same_v<T, MsgInfoRecord>) {
        io.Numbers(m.cell, m.msgType);
        io.Text(m.text);
        io.Text(m.detail);
    } else if constexpr (std::is_same_v<T, ProgressReport>) {
        io.Numbers(m.cell, m.total, m.done);
    } else if constexpr (std::is_same_v<T, TestStatusReport>) {
        io.Numbers(m.cell, m.code, m.status);
    } else {
        static_assert(std::is_same_v<T, MonitorStatusRecord> || std::is_same_v<T, CheckdataStatusRecord>);
        io.Numbers(m.cell, m.status);
        io.Text(m.text);
    }
}

template <typename T> constexpr MessageKind kKindOf = MessageKind::Call;
template <> constexpr MessageKind kKindOf<InitRequest> = MessageKind::Init;
template <> constexpr MessageKind kKindOf<ReadyReport> = MessageKind::Ready;
template <> constexpr MessageKind kKindOf<ReturnedReport> = MessageKind::Returned;
template <> constexpr MessageKind kKindOf<MsgInfoRecord> = MessageKind::MsgInfo;
template <> constexpr MessageKind kKindOf<ProgressReport> = MessageKind::Progress;
template <> constexpr MessageKind kKindOf<TestStatusReport> = MessageKind::TestStatus;
template <> constexpr MessageKind kKindOf<MonitorStatusRecord> = MessageKind::MonitorStatus;
template <> constexpr MessageKind kKindOf<CheckdataStatusRecord> = MessageKind::Checkdata;

// What the fields alone cannot say: InitDownloadObj never comes without its record, and Ready
// names no export that does not exist.
bool Valid(const CallRequest& call) {
    return call.which != EngineExport::Init;
}
bool Valid(const ReadyReport& ready) {
    return ready.exports < (1u << kExportCount);
}
template <typename T> bool Valid(const T&) {
    return true;
}

template <typename Variant> std::vector<std::uint8_t> EncodeAny(const Variant& message) {
    return std::visit(
        [](const auto& m) {
            Writer writer(kKindOf<std::decay_t<decltype(m)>>);
            Fields(writer, m);
            return std::move(writer).Finish();
        },
        message);
}

// Tries each kind the direction carries.
template <typename Variant, std::size_t... I>
ChannelFault DecodeAny(const FrameReader::Frame& frame, Variant& out, std::index_sequence<I...>) {
    ChannelFault fault = ChannelFault::UnknownKind;
    const auto tryKind = [&](auto message) {
        if (kKindOf<decltype(message)> != frame.kind)
            return false;
        Reader reader(frame.payload);
        Fields(reader, message);
        if (!reader.Done() || !Valid(message)) {
            fault = ChannelFault::Malformed;
        } else {
            out = std::move(message);
            fault = ChannelFault::None;
        }
        return true;
    };
    // Value-initialised: a record's texts are zeros past what arrives.
    (tryKind(std::variant_alternative_t<I, Variant>{}) || ...);
    return fault;
}

template <typename Variant> ChannelFault DecodeAny(const FrameReader::Frame& frame, Variant& out) {
    return DecodeAny(frame, out, std::make_index_sequence<std::variant_size_v<Variant>>{});
}

} // namespace

std::vector<std::uint8_t> Encode(const Request& request) {
    return EncodeAny(request);
}

std::vector<std::uint8_t> Encode(const Report& report) {
    return EncodeAny(report);
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
    return DecodeAny(frame, out);
}

ChannelFault Decode(const FrameReader::Frame& frame, Report& out) {
    return DecodeAny(frame, out);
}

} // namespace tarnvel::host
