// The event records as the engine fills them: every text is cut to leave room for its closing
// zero. The controller's tests build the records they report the same way.
#pragma once

#include "download/engine_interface.h"

#include <iterator>
#include <string_view>

namespace tarnvel::sim {

inline MsgInfoRecord MsgInfo(int cell, int type, std::wstring_view text, std::wstring_view detail) {
    MsgInfoRecord record{};
    record.cell = cell;
    record.msgType = type;
    text.copy(record.text, std::size(record.text) - 1);
    detail.copy(record.detail, std::size(record.detail) - 1);
    return record;
}

// MonitorStatusRecord and CheckdataStatusRecord: a cell, a status and one text.
template <typename Record> Record StatusRecord(int cell, int status, std::wstring_view text) {
    Record record{};
    record.cell = cell;
    record.status = status;
    text.copy(record.text, std::size(record.text) - 1);
    return record;
}

} // namespace tarnvel::sim
