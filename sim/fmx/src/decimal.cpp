#include "decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace fmsim {
namespace {

using Limbs = std::vector<uint32_t>;
constexpr uint32_t kBase = 1000000000u;
constexpr uint32_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

void trim(Limbs& a) {
  while (!a.empty() && a.back() == 0) a.pop_back();
}

int compareMagnitude(const Limbs& a, const Limbs& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

Limbs addMagnitude(const Limbs& a, const Limbs& b) {
  Limbs sum(std::max(a.size(), b.size()) + 1, 0);
  uint32_t carry = 0;
  for (size_t i = 0; i < sum.size(); ++i) {
    uint64_t s = uint64_t{carry} + (i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0);
    sum[i] = static_cast<uint32_t>(s % kBase);
    carry = static_cast<uint32_t>(s / kBase);
  }
  trim(sum);
  return sum;
}

// a - b for a >= b.
Limbs subtractMagnitude(const Limbs& a, const Limbs& b) {
  Limbs diff(a.size(), 0);
  int64_t borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int64_t d = int64_t{a[i]} - borrow - (i < b.size() ? b[i] : 0);
    borrow = d < 0 ? 1 : 0;
    if (d < 0) d += kBase;
    diff[i] = static_cast<uint32_t>(d);
  }
  trim(diff);
  return diff;
}

Limbs multiplyMagnitude(const Limbs& a, const Limbs& b) {
  if (a.empty() || b.empty()) return {};
  std::vector<uint64_t> acc(a.size() + b.size() + 1, 0);
  for (size_t i = 0; i < a.size(); ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < b.size(); ++j) {
      uint64_t cur = acc[i + j] + uint64_t{a[i]} * b[j] + carry;
      acc[i + j] = cur % kBase;
      carry = cur / kBase;
    }
    size_t k = i + b.size();
    while (carry != 0) {
      uint64_t cur = acc[k] + carry;
      acc[k] = cur % kBase;
      carry = cur / kBase;
      ++k;
    }
  }
  Limbs product(acc.begin(), acc.end());
  trim(product);
  return product;
}

Limbs multiplySmall(const Limbs& a, uint32_t factor) {
  Limbs product(a.size() + 1, 0);
  uint64_t carry = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    uint64_t cur = uint64_t{a[i]} * factor + carry;
    product[i] = static_cast<uint32_t>(cur % kBase);
    carry = cur / kBase;
  }
  product[a.size()] = static_cast<uint32_t>(carry);
  trim(product);
  return product;
}

// Divides in place by a divisor of at most 10^9 and returns the remainder.
uint32_t divideSmall(Limbs& a, uint32_t divisor) {
  uint64_t rest = 0;
  for (size_t i = a.size(); i-- > 0;) {
    uint64_t cur = rest * kBase + a[i];
    a[i] = static_cast<uint32_t>(cur / divisor);
    rest = cur % divisor;
  }
  trim(a);
  return static_cast<uint32_t>(rest);
}

Limbs timesPowerOfTen(Limbs a, int32_t digits) {
  if (a.empty() || digits <= 0) return a;
  a.insert(a.begin(), static_cast<size_t>(digits / 9), 0u);
  return multiplySmall(a, kPow10[digits % 9]);
}

// Cuts `digits` decimal digits off the end; returns whether any cut digit was non-zero and the first cut
// digit (for rounding).
Limbs dropDigits(Limbs a, int32_t digits, bool* anyCut, uint32_t* firstCutDigit) {
  *anyCut = false;
  *firstCutDigit = 0;
  if (digits <= 0 || a.empty()) return a;
  // The digit that decides rounding is the most significant one removed.
  Limbs probe = a;
  if (digits > 1) {
    size_t whole = static_cast<size_t>((digits - 1) / 9);
    if (whole >= probe.size()) {
      probe.clear();
    } else {
      probe.erase(probe.begin(), probe.begin() + static_cast<ptrdiff_t>(whole));
      divideSmall(probe, kPow10[(digits - 1) % 9]);
    }
  }
  *firstCutDigit = probe.empty() ? 0 : probe[0] % 10;
  size_t whole = static_cast<size_t>(digits / 9);
  for (size_t i = 0; i < std::min(whole, a.size()); ++i) {
    if (a[i] != 0) *anyCut = true;
  }
  if (whole >= a.size()) return {};
  a.erase(a.begin(), a.begin() + static_cast<ptrdiff_t>(whole));
  if (digits % 9 != 0 && divideSmall(a, kPow10[digits % 9]) != 0) *anyCut = true;
  return a;
}

// Quotient of a / b (b non-zero), one base-10^9 digit at a time, each found by bisection.
Limbs divideMagnitude(const Limbs& a, const Limbs& b) {
  Limbs quotient(a.size(), 0);
  Limbs rest;
  for (size_t i = a.size(); i-- > 0;) {
    rest.insert(rest.begin(), a[i]);
    trim(rest);
    uint32_t low = 0;
    uint32_t high = kBase - 1;
    while (low < high) {
      uint32_t mid = low + (high - low + 1) / 2;
      if (compareMagnitude(multiplySmall(b, mid), rest) <= 0) {
        low = mid;
      } else {
        high = mid - 1;
      }
    }
    quotient[i] = low;
    if (low != 0) rest = subtractMagnitude(rest, multiplySmall(b, low));
  }
  trim(quotient);
  return quotient;
}

// A signed decimal text without an exponent: its sign, its digits without the point, and how many of
// them stand after the point. None for anything else, an empty digit run included.
struct DecimalText {
  bool negative = false;
  std::string digits;
  int32_t scale = 0;
};

std::optional<DecimalText> readDecimalText(std::string_view text) {
  DecimalText read;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    read.negative = text[0] == '-';
    text.remove_prefix(1);
  }
  bool seenPoint = false;
  for (char c : text) {
    if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else if (c >= '0' && c <= '9') {
      read.digits.push_back(c);
      if (seenPoint) ++read.scale;
    } else {
      return std::nullopt;
    }
  }
  if (read.digits.empty()) return std::nullopt;
  return read;
}

}  // namespace

Decimal::Decimal(bool negative, Limbs limbs, int32_t scale)
    : negative_(negative), limbs_(std::move(limbs)), scale_(scale) {
  trim(limbs_);
  if (limbs_.empty()) negative_ = false;
}

Decimal Decimal::fromInt(int64_t value) {
  bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  Limbs limbs;
  while (magnitude != 0) {
    limbs.push_back(static_cast<uint32_t>(magnitude % kBase));
    magnitude /= kBase;
  }
  return Decimal(negative, std::move(limbs), 0);
}

std::optional<Decimal> Decimal::parseScientific(std::string_view text) {
  size_t mark = text.find_first_of("eE");
  if (mark == std::string_view::npos) return parse(text);
  std::string_view mantissa = text.substr(0, mark);
  std::string_view power = text.substr(mark + 1);
  bool negativePower = false;
  if (!power.empty() && (power[0] == '-' || power[0] == '+')) {
    negativePower = power[0] == '-';
    power.remove_prefix(1);
  }
  if (power.empty() || power.size() > 4) return std::nullopt;
  int exponent = 0;
  for (char c : power) {
    if (c < '0' || c > '9') return std::nullopt;
    exponent = exponent * 10 + (c - '0');
  }
  if (exponent > kMaxExponent) return std::nullopt;
  if (negativePower) exponent = -exponent;
  // The mantissa's digits with the point moved by the exponent.
  std::optional<DecimalText> read = readDecimalText(mantissa);
  if (!read) return std::nullopt;
  bool negative = read->negative;
  std::string digits = std::move(read->digits);
  const int scale = read->scale - exponent;
  if (scale <= 0) {
    digits.append(static_cast<size_t>(-scale), '0');
  } else {
    if (static_cast<size_t>(scale) > digits.size())
      digits.insert(0, static_cast<size_t>(scale) - digits.size(), '0');
    digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
  }
  std::optional<Decimal> magnitude = parse(digits);
  if (magnitude && negative) return magnitude->negated();
  return magnitude;
}

std::optional<Decimal> Decimal::parse(std::string_view text) {
  std::optional<DecimalText> read = readDecimalText(text);
  if (!read) return std::nullopt;
  const bool negative = read->negative;
  const std::string& digits = read->digits;
  const int32_t scale = read->scale;
  Limbs limbs;
  for (size_t end = digits.size(); end > 0;) {
    size_t start = end >= 9 ? end - 9 : 0;
    uint32_t limb = 0;
    for (size_t i = start; i < end; ++i) limb = limb * 10 + static_cast<uint32_t>(digits[i] - '0');
    limbs.push_back(limb);
    end = start;
  }
  return Decimal(negative, std::move(limbs), scale);
}

Decimal Decimal::truncatedTo(int32_t scale) const {
  if (scale >= scale_) return Decimal(negative_, timesPowerOfTen(limbs_, scale - scale_), scale);
  bool anyCut = false;
  uint32_t firstCut = 0;
  return Decimal(negative_, dropDigits(limbs_, scale_ - scale, &anyCut, &firstCut), scale);
}

Decimal Decimal::roundedTo(int32_t scale) const {
  if (scale >= scale_) return *this;
  bool anyCut = false;
  uint32_t firstCut = 0;
  Limbs kept = dropDigits(limbs_, scale_ - scale, &anyCut, &firstCut);
  if (firstCut >= 5) kept = addMagnitude(kept, Limbs{1});
  return Decimal(negative_, std::move(kept), scale);
}

Decimal Decimal::trimmed() const {
  Decimal result = *this;
  while (result.scale_ > 0 && !result.limbs_.empty() && result.limbs_[0] % 10 == 0) {
    divideSmall(result.limbs_, 10);
    --result.scale_;
  }
  if (result.limbs_.empty()) result.scale_ = 0;
  return result;
}

Decimal Decimal::floor() const {
  Decimal whole = truncatedTo(0);
  if (negative_ && !(whole == *this)) whole = whole - fromInt(1);
  return whole;
}

std::string Decimal::toString() const {
  std::string digits;
  if (limbs_.empty()) {
    digits = "0";
  } else {
    digits = std::to_string(limbs_.back());
    for (size_t i = limbs_.size() - 1; i-- > 0;) {
      std::string part = std::to_string(limbs_[i]);
      digits.append(9 - part.size(), '0');
      digits += part;
    }
  }
  if (scale_ > 0) {
    if (digits.size() <= static_cast<size_t>(scale_))
      digits.insert(0, static_cast<size_t>(scale_) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<size_t>(scale_), 1, '.');
  } else if (scale_ < 0) {
    digits.append(static_cast<size_t>(-scale_), '0');
  }
  return negative_ ? "-" + digits : digits;
}

std::string Decimal::toDisplay(int32_t maxDecimals) const {
  return roundedTo(maxDecimals).trimmed().toString();
}

int32_t Decimal::toInt32Wrapped() const {
  Decimal whole = truncatedTo(0);
  uint32_t low = 0;
  for (size_t i = whole.limbs_.size(); i-- > 0;) low = low * kBase + whole.limbs_[i];
  if (negative_) low = 0u - low;
  return static_cast<int32_t>(low);
}

std::optional<int64_t> Decimal::toScaledInt64(int32_t scale) const {
  Decimal scaled = truncatedTo(scale);
  if (scaled.limbs_.size() > 3) return std::nullopt;
  uint64_t magnitude = 0;
  for (size_t i = scaled.limbs_.size(); i-- > 0;) {
    if (magnitude > (UINT64_MAX - scaled.limbs_[i]) / kBase) return std::nullopt;
    magnitude = magnitude * kBase + scaled.limbs_[i];
  }
  if (magnitude > static_cast<uint64_t>(INT64_MAX) + (negative_ ? 1u : 0u)) return std::nullopt;
  return negative_ ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

double Decimal::toDouble() const {
  // from_chars rounds correctly, which a sum of limb powers would not.
  std::string text = toString();
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  if (ec == std::errc::result_out_of_range) return negative_ ? -HUGE_VAL : HUGE_VAL;
  return value;
}

Decimal Decimal::negated() const {
  return Decimal(!negative_, limbs_, scale_);
}

Decimal operator+(const Decimal& a, const Decimal& b) {
  int32_t scale = std::max(a.scale_, b.scale_);
  Limbs x = timesPowerOfTen(a.limbs_, scale - a.scale_);
  Limbs y = timesPowerOfTen(b.limbs_, scale - b.scale_);
  if (a.negative_ == b.negative_) return Decimal(a.negative_, addMagnitude(x, y), scale);
  if (compareMagnitude(x, y) >= 0) return Decimal(a.negative_, subtractMagnitude(x, y), scale);
  return Decimal(b.negative_, subtractMagnitude(y, x), scale);
}

Decimal operator-(const Decimal& a, const Decimal& b) {
  return a + b.negated();
}

Decimal operator*(const Decimal& a, const Decimal& b) {
  return Decimal(a.negative_ != b.negative_, multiplyMagnitude(a.limbs_, b.limbs_), a.scale_ + b.scale_);
}

std::optional<Decimal> Decimal::divide(const Decimal& a, const Decimal& b, int32_t scale) {
  if (b.isZero()) return std::nullopt;
  // a/b at `scale` digits is (ca * 10^(scale + sb - sa)) / cb.
  int32_t shift = scale + b.scale_ - a.scale_;
  Limbs numerator = a.limbs_;
  Limbs denominator = b.limbs_;
  if (shift >= 0) {
    numerator = timesPowerOfTen(numerator, shift);
  } else {
    denominator = timesPowerOfTen(denominator, -shift);
  }
  return Decimal(a.negative_ != b.negative_, divideMagnitude(numerator, denominator), scale);
}

int Decimal::compare(const Decimal& a, const Decimal& b) {
  if (a.negative_ != b.negative_) return a.negative_ ? -1 : 1;
  int32_t scale = std::max(a.scale_, b.scale_);
  int magnitude = compareMagnitude(timesPowerOfTen(a.limbs_, scale - a.scale_),
                                   timesPowerOfTen(b.limbs_, scale - b.scale_));
  return a.negative_ ? -magnitude : magnitude;
}

}  // namespace fmsim
