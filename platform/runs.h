// Byte ranges that follow each other, collected into runs so that each run is
// written with one call.
#pragma once

#include <cstdint>
#include <utility>

namespace kv {

// `write(start, length)` takes one finished run and says whether it was written.
template <typename Write>
class RunFolder {
public:
    explicit RunFolder(Write write) : write_(std::move(write)) {}

    // Adds the range [offset, offset + length); a range that does not continue
    // the run ends the run first. False when writing that run failed.
    bool Add(std::uint64_t offset, std::uint64_t length) {
        if (length_ != 0 && start_ + length_ != offset && !Flush()) return false;
        if (length_ == 0) start_ = offset;
        length_ += length;
        return true;
    }

    // Writes the run collected so far, if any.
    bool Flush() {
        if (length_ == 0) return true;
        const std::uint64_t length = std::exchange(length_, 0);
        return write_(start_, length);
    }

private:
    Write write_;
    std::uint64_t start_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace kv
