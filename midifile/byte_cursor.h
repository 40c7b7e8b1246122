// A read position in a block of bytes that never steps outside it. Every read
// either succeeds whole or reports that the data ran out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tonemark {

class ByteCursor {
public:
    explicit ByteCursor(std::string_view bytes) : bytes_(bytes) {}

    std::size_t Remaining() const { return bytes_.size() - position_; }

    std::optional<std::uint8_t> Byte() {
        if (Remaining() < 1) return std::nullopt;
        return static_cast<std::uint8_t>(bytes_[position_++]);
    }

    // The next `count` bytes, or nothing (and no move) when fewer are left.
    std::optional<std::string_view> Take(std::size_t count) {
        if (Remaining() < count) return std::nullopt;
        std::string_view taken = bytes_.substr(position_, count);
        position_ += count;
        return taken;
    }

    // Big-endian unsigned value of `count` bytes (at most 4).
    std::optional<std::uint32_t> BigEndian(std::size_t count) {
        auto taken = Take(count);
        if (!taken) return std::nullopt;
        std::uint32_t value = 0;
        for (char c : *taken) value = (value << 8) | static_cast<std::uint8_t>(c);
        return value;
    }

    // A variable-length quantity: 7 bits per byte, most significant group first,
    // a byte below 128 ends it. At most 4 bytes are read, whatever the fourth holds.
    std::optional<std::uint32_t> VarLen() {
        std::uint32_t value = 0;
        for (int i = 0; i < kMaxVarLenBytes; ++i) {
            auto byte = Byte();
            if (!byte) return std::nullopt;
            value = (value << 7) | (*byte & 0x7Fu);
            if (*byte < 0x80) break;
        }
        return value;
    }

    // Moves past `count` bytes; false (and no move) when fewer are left.
    bool Skip(std::size_t count) { return Take(count).has_value(); }

private:
    static constexpr int kMaxVarLenBytes = 4;
    std::string_view bytes_;
    std::size_t position_ = 0;
};

}  // namespace tonemark
