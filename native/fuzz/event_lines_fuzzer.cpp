// libFuzzer entry: engine records and callback arguments of any content, turned into log lines and
// progress reports as the engine callbacks do. The records are filled to their last byte, so a
// text without a terminator must be cut at its capacity, and any integer may arrive.
#include "download/engine_interface.h"
#include "download/event_lines.h"
#include "text/text_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "event lines: %s\n", what);
    std::abort();
}

// Fills the whole object from the input, repeating it as needed (never leaving zeros behind).
template <typename Record> Record Filled(const std::uint8_t* data, std::size_t size) {
    Record record;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof(Record); ++i)
        bytes[i] = size ? data[i % size] : 0x41;
    return record;
}

std::int32_t Int32At(const std::uint8_t* data, std::size_t size, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t{size ? data[(at + i) % size] : std::uint8_t{0}} << (8 * i);
    return static_cast<std::int32_t>(value);
}

void CheckText(const std::wstring& line, std::wstring_view text, std::size_t capacity) {
    if (text.size() >= capacity)
        Fail("a record text read up to or past its capacity");
    if (line.find(text) == std::wstring::npos)
        Fail("a record text is missing from its line");
}

void CheckLevel(int level) {
    if (level < 0 || level > 3)
        Fail("a level outside 0..3");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnvel;
    const std::uint8_t* rest = size ? data + 1 : data;
    const std::size_t restSize = size ? size - 1 : 0;
    switch (size ? data[0] % 5 : 0) {
    case 0: {
        const auto record = Filled<MsgInfoRecord>(rest, restSize);
        const auto text = BoundedText(record.text, kMsgInfoTextCapacity);
        const auto detail = BoundedText(record.detail, kMsgInfoDetailCapacity);
        const std::wstring line = MsgInfoLine(record.cell, record.msgType, text, detail);
        CheckText(line, text, kMsgInfoTextCapacity + 1);
        CheckText(line, detail, kMsgInfoDetailCapacity + 1);
        CheckLevel(MsgInfoLevel(record.msgType));
        break;
    }
    case 1: {
        const auto record = Filled<MonitorStatusRecord>(rest, restSize);
        const auto text = BoundedText(record.text, kMonitorTextCapacity);
        CheckText(MonitorStatusLine(record.cell, record.status, text), text, kMonitorTextCapacity + 1);
        break;
    }
    case 2: {
        const auto record = Filled<CheckdataStatusRecord>(rest, restSize);
        const auto text = BoundedText(record.text, kCheckdataTextCapacity);
        const std::wstring line = CheckdataStatusLine(record.cell, record.status, text);
        if (record.status != 2)
            CheckText(line, text, kCheckdataTextCapacity + 1);
        CheckLevel(CheckdataStatusLevel(record.status));
        break;
    }
    case 3: {
        const std::int32_t cell = Int32At(rest, restSize, 0);
        const std::int32_t total = Int32At(rest, restSize, 4);
        const std::int32_t done = Int32At(rest, restSize, 8);
        ShowProgressLine(cell, total, done);
        const auto percent = ProgressPercentForHook(total, done);
        const long long exact = total == 0 ? 0 : static_cast<long long>(done) * 100 / total;
        const bool told = exact >= 0 && exact <= 98;
        if (percent.has_value() != told || (percent && *percent != exact))
            Fail("the progress percent is wrong");
        break;
    }
    default: {
        const std::int32_t status = Int32At(rest, restSize, 8);
        TestStatusLine(Int32At(rest, restSize, 0), Int32At(rest, restSize, 4), status);
        CheckLevel(TestStatusLevel(status));
        break;
    }
    }
    return 0;
}
