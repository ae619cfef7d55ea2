// Exact decimal numbers of any size: the value behind the host's fixed-point numbers and the calculation
// engine's arithmetic. A plain value type with no shared state; safe to use from any thread.
#ifndef FMSIM_DECIMAL_H
#define FMSIM_DECIMAL_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fmsim {

// sign * coefficient / 10^scale, the coefficient kept in base-10^9 limbs (least significant first) so that
// moving the decimal point and printing are cheap.
class Decimal {
 public:
  Decimal() = default;
  static Decimal fromInt(int64_t value);
  // Accepts [-+]digits[.digits] or [-+].digits; nothing else.
  static std::optional<Decimal> parse(std::string_view text);
  // Also takes a power of ten after the digits: "1.5e3", "2E-4", "-1e+2". Exponents beyond
  // kMaxExponent either way give nothing.
  static std::optional<Decimal> parseScientific(std::string_view text);
  static constexpr int kMaxExponent = 400;

  bool isZero() const { return limbs_.empty(); }
  bool isNegative() const { return negative_; }
  int32_t scale() const { return scale_; }
  // At least as many as the digits before the point (cheap: from the coefficient's size).
  int64_t integerDigitsBound() const { return static_cast<int64_t>(limbs_.size()) * 9 - scale_; }

  // The same value with exactly `scale` digits after the point; extra digits are cut toward zero.
  Decimal truncatedTo(int32_t scale) const;
  // Rounded half away from zero to at most `scale` digits.
  Decimal roundedTo(int32_t scale) const;
  // Trailing zero digits after the point removed.
  Decimal trimmed() const;
  // Largest integer not above the value.
  Decimal floor() const;

  // All digits of the coefficient with the point placed by the scale ("-12.500", "0.001", "7").
  std::string toString() const;
  // Rounded to `maxDecimals`, without trailing zeros or a trailing point.
  std::string toDisplay(int32_t maxDecimals) const;

  // Integer part (toward zero) reduced to 32 bits two's complement.
  int32_t toInt32Wrapped() const;
  // value * 10^scale cut toward zero, or nothing when it does not fit in 64 bits.
  std::optional<int64_t> toScaledInt64(int32_t scale) const;
  // The double nearest to the exact value.
  double toDouble() const;

  Decimal negated() const;
  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b);
  friend Decimal operator*(const Decimal& a, const Decimal& b);
  // a / b cut toward zero at `scale` digits; nothing when b is zero.
  static std::optional<Decimal> divide(const Decimal& a, const Decimal& b, int32_t scale);
  // -1, 0 or 1.
  static int compare(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return compare(a, b) == 0; }

 private:
  using Limbs = std::vector<uint32_t>;
  Decimal(bool negative, Limbs limbs, int32_t scale);

  bool negative_ = false;
  Limbs limbs_;
  int32_t scale_ = 0;
};

}  // namespace fmsim

#endif  // FMSIM_DECIMAL_H
