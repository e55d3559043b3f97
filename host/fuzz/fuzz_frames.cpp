// Frames from an untrusted peer: the first two bytes choose the length limit
// (reached without megabyte inputs), the rest is the stream. Each frame read
// is what the stream held and is written back byte for byte; a stream that
// stops being valid ends with the right error.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "framing/framing.h"

namespace {

using tavrin::host::ByteReader;
using tavrin::host::ByteWriter;
using tavrin::host::Framing;
using tavrin::host::FramingError;

class MemoryReader final : public ByteReader {
  public:
    explicit MemoryReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    tavrin::Result<std::vector<std::uint8_t>, FramingError> readExactly(
        std::size_t count) override {
        if (count > bytes_.size() - offset_) {
            offset_ = bytes_.size();
            return FramingError::endOfStream();
        }
        std::vector<std::uint8_t> out(bytes_.begin() + offset_, bytes_.begin() + offset_ + count);
        offset_ += count;
        return out;
    }
    std::size_t offset() const { return offset_; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
};

class MemoryWriter final : public ByteWriter {
  public:
    tavrin::Result<tavrin::Unit, FramingError> write(std::span<const std::uint8_t> bytes) override {
        written.insert(written.end(), bytes.begin(), bytes.end());
        return tavrin::Unit{};
    }
    std::vector<std::uint8_t> written;
};

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t limit = data[0] | (static_cast<std::size_t>(data[1]) << 8);
    const std::span<const std::uint8_t> stream(data + 2, size - 2);
    MemoryReader reader(stream);
    MemoryWriter writer;
    for (;;) {
        const std::size_t start = reader.offset();
        auto message = Framing::readMessage(reader, limit);
        if (!message) {
            const FramingError& error = message.error();
            const std::size_t left = stream.size() - start;
            if (error.kind() == FramingError::Kind::tooLarge) {
                require(left >= 4 && static_cast<std::size_t>(error.declared()) > limit);
            } else {
                require(error.kind() == FramingError::Kind::endOfStream);
                if (left >= 4) {
                    const std::uint8_t* prefix = stream.data() + start;
                    const std::uint32_t declared = prefix[0] | (prefix[1] << 8) |
                                                   (prefix[2] << 16) |
                                                   (static_cast<std::uint32_t>(prefix[3]) << 24);
                    require(left - 4 < declared);
                }
            }
            break;
        }
        require(message.value().size() <= limit);
        require(static_cast<bool>(Framing::writeMessage(message.value(), writer, limit)));
        require(writer.written.size() == reader.offset());
    }
    require(std::equal(writer.written.begin(), writer.written.end(), stream.begin()));
    return 0;
}
