// Integer arithmetic for the controls' scales: products and quotients truncated toward zero
// like the written formulas, but computed wide enough that no input (any 32-bit range, any
// position a message can carry) overflows.
#pragma once

#include <cstdint>

namespace mw {

// trunc(a * b / c) with the product held exactly in 128 bits; the quotient saturates at the
// 64-bit limits. c == 0 gives 0.
inline std::int64_t MulDivTrunc(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c == 0 || a == 0 || b == 0) return 0;
  std::int64_t product;
  if (!__builtin_mul_overflow(a, b, &product) && !(product == INT64_MIN && c == -1))
    return product / c;
  const bool negative = (a < 0) != (b < 0) ? !(c < 0) : (c < 0);
  auto magnitude = [](std::int64_t v) {
    return v < 0 ? ~static_cast<std::uint64_t>(v) + 1u : static_cast<std::uint64_t>(v);
  };
  const std::uint64_t ua = magnitude(a), ub = magnitude(b), uc = magnitude(c);
  // 128-bit product from 32-bit halves.
  const std::uint64_t a0 = ua & 0xFFFFFFFFu, a1 = ua >> 32, b0 = ub & 0xFFFFFFFFu, b1 = ub >> 32;
  const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  const std::uint64_t lo = (p00 & 0xFFFFFFFFu) | (middle << 32);
  const std::uint64_t hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
  const std::uint64_t kLimit = negative ? (std::uint64_t{1} << 63) : (std::uint64_t{1} << 63) - 1;
  if (hi >= uc) return negative ? INT64_MIN : INT64_MAX;
  // Long division of hi:lo by uc; the remainder stays below uc <= 2^63, so it never overflows.
  std::uint64_t rem = hi, q = 0;
  for (int bit = 63; bit >= 0; --bit) {
    rem = (rem << 1) | ((lo >> bit) & 1u);
    if (rem >= uc) {
      rem -= uc;
      q |= std::uint64_t{1} << bit;
    }
  }
  if (q > kLimit) q = kLimit;
  return negative ? static_cast<std::int64_t>(~q + 1u) : static_cast<std::int64_t>(q);
}

// v limited to [lo, hi] (the bounds in either order).
inline std::int64_t ClampBetween(std::int64_t v, std::int64_t a, std::int64_t b) {
  const std::int64_t lo = a < b ? a : b, hi = a < b ? b : a;
  return v < lo ? lo : (v > hi ? hi : v);
}

inline std::int32_t ClampTo32(std::int64_t v) {
  return static_cast<std::int32_t>(ClampBetween(v, INT32_MIN, INT32_MAX));
}

}  // namespace mw
