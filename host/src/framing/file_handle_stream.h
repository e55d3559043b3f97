#pragma once
// ByteReader and ByteWriter over open file descriptors (standard input and
// output in host mode). Short reads and writes are continued, interrupted
// calls retried. Neither class closes its descriptor.

#include "framing/byte_stream.h"

namespace tavrin::host {

class FileHandleReader final : public ByteReader {
  public:
    explicit FileHandleReader(int handle) : handle_(handle) {}
    int handle() const { return handle_; }

    Result<std::vector<std::uint8_t>, FramingError> readExactly(std::size_t count) override;

  private:
    // Zero once the descriptor is readable (or has ended), else an errno.
    int waitReadable();

    int handle_;
};

class FileHandleWriter final : public ByteWriter {
  public:
    explicit FileHandleWriter(int handle) : handle_(handle) {}
    int handle() const { return handle_; }

    // Unbuffered. A failure (EPIPE when the browser has gone away, with
    // SIGPIPE ignored by the process) is reported, never swallowed.
    Result<Unit, FramingError> write(std::span<const std::uint8_t> bytes) override;

  private:
    int handle_;
};

}  // namespace tavrin::host
