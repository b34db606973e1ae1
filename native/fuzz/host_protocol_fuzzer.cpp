// libFuzzer entry: any bytes as the stream from the engine host (or to it), cut into pieces where the
// input says. Nothing may crash or read out of bounds; a frame either fails to decode or decodes to a
// message whose encoding decodes to the same message again.
#include "download/host_protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "host protocol: %s\n", what);
    std::abort();
}

template <typename Message> void CheckFrame(const tarnvel::host::FrameReader::Frame& frame) {
    using namespace tarnvel::host;
    Message message;
    if (Decode(frame, message) != ChannelFault::None)
        return;
    const auto encoded = Encode(message);
    FrameReader again;
    again.Append(encoded.data(), encoded.size());
    const auto frameAgain = again.Next();
    Message messageAgain;
    if (!frameAgain || Decode(*frameAgain, messageAgain) != ChannelFault::None)
        Fail("a decoded message does not decode again once encoded");
    if (Encode(messageAgain) != encoded)
        Fail("a decoded message changes when it travels again");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnvel::host;
    if (size == 0)
        return 0;
    // The first byte sets the size of the pieces the stream arrives in.
    const std::size_t piece = data[0] % 17 + 1;
    FrameReader reader;
    for (std::size_t at = 1; at < size; at += piece) {
        reader.Append(data + at, std::min(piece, size - at));
        while (auto frame = reader.Next()) {
            if (frame->payload.size() > kMaxPayload)
                Fail("a frame longer than the channel carries");
            CheckFrame<Request>(*frame);
            CheckFrame<Report>(*frame);
        }
    }
    reader.EndOfStream();
    return 0;
}
