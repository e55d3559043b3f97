#pragma once
// The byte source and sink that frames are read from and written to, and the
// errors that end a native-messaging connection.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"

namespace tavrin::host {

class FramingError {
  public:
    enum class Kind {
        tooLarge,     // a length above the limit in force: declared(), max()
        endOfStream,  // the input ended before all requested bytes arrived
        readFailed,   // the system refused the read: errorNumber()
        writeFailed,  // the system refused the write (e.g. the reader went away): errorNumber()
    };

    static FramingError tooLarge(std::int64_t declared, std::int64_t max) {
        return {Kind::tooLarge, declared, max, 0};
    }
    static FramingError endOfStream() { return {Kind::endOfStream, 0, 0, 0}; }
    static FramingError readFailed(int errorNumber) {
        return {Kind::readFailed, 0, 0, errorNumber};
    }
    static FramingError writeFailed(int errorNumber) {
        return {Kind::writeFailed, 0, 0, errorNumber};
    }

    Kind kind() const { return kind_; }
    std::int64_t declared() const { return declared_; }
    std::int64_t max() const { return max_; }
    int errorNumber() const { return errorNumber_; }
    std::string description() const;

    bool operator==(const FramingError&) const = default;

  private:
    FramingError(Kind kind, std::int64_t declared, std::int64_t max, int errorNumber)
        : kind_(kind), declared_(declared), max_(max), errorNumber_(errorNumber) {}

    Kind kind_;
    std::int64_t declared_;
    std::int64_t max_;
    int errorNumber_;
};

class ByteReader {
  public:
    virtual ~ByteReader() = default;
    // Exactly `count` bytes, or endOfStream if the input ends first (what
    // arrived is discarded), or readFailed. A count of 0 reads nothing.
    virtual Result<std::vector<std::uint8_t>, FramingError> readExactly(std::size_t count) = 0;
};

class ByteWriter {
  public:
    virtual ~ByteWriter() = default;
    // All of `bytes`, or writeFailed.
    virtual Result<Unit, FramingError> write(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace tavrin::host
