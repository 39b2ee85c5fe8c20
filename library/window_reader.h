// Small helpers over a FileReader for analysers that read many short
// pieces: a buffered window for small reads at rising offsets, and a guard
// that puts the reader back where it was.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io.h"

namespace vesko {

// Small reads at rising offsets through one buffered window, so that a run
// of short headers costs one read of the file per window, not one per header.
template <size_t WindowBytes = 4096>
class WindowReader {
public:
    explicit WindowReader(FileReader& reader) : reader_(reader) {}
    WindowReader(const WindowReader&) = delete;
    WindowReader& operator=(const WindowReader&) = delete;

    // Up to n bytes (n <= WindowBytes) at offset into out; returns how many
    // the file holds there.
    size_t get(uint64_t offset, uint8_t* out, size_t n) {
        if (offset >= reader_.size) return 0;
        n = std::min(n, WindowBytes);
        if (offset < start_ || offset - start_ + n > length_) {
            reader_.seek(static_cast<int64_t>(offset), 0);
            length_ = reader_.read(bytes_, sizeof bytes_, false);
            start_ = offset;
        }
        const size_t at = static_cast<size_t>(offset - start_);
        const size_t have = at < length_ ? std::min(n, length_ - at) : 0;
        if (have != 0) std::memcpy(out, bytes_ + at, have);
        return have;
    }

private:
    FileReader& reader_;
    uint8_t bytes_[WindowBytes] = {};
    uint64_t start_ = 0;
    size_t length_ = 0;
};

// Restores the reader's position when it goes out of scope, whichever way
// the scan ends.
class PositionGuard {
public:
    explicit PositionGuard(FileReader& reader) : reader_(reader), position_(reader.tell()) {}
    ~PositionGuard() { reader_.seek(static_cast<int64_t>(position_), 0); }
    PositionGuard(const PositionGuard&) = delete;
    PositionGuard& operator=(const PositionGuard&) = delete;

private:
    FileReader& reader_;
    uint64_t position_;
};

}  // namespace vesko
