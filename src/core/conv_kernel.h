#pragma once
#include <array>
#include <cstdint>

namespace corvane {

/// A small byte kernel: byte 0 is the nominal size, bytes 1..255 the weights
/// row after row (row 0 on top), so weight (r, c) of a kernel KW wide is byte
/// 1 + r x KW + c. Used as convolution kernel and as point-spread function.
struct TConvKernel {
  std::array<std::uint8_t, 256> Bytes{};

  std::uint8_t& operator[](std::size_t i) noexcept { return Bytes[i]; }
  std::uint8_t operator[](std::size_t i) const noexcept { return Bytes[i]; }
  friend bool operator==(const TConvKernel&, const TConvKernel&) = default;
};

}  // namespace corvane
