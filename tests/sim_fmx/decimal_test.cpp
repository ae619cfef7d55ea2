// Exact decimals behind fixed-point numbers and the engine's arithmetic.
#include <gtest/gtest.h>

#include "decimal.h"

namespace {

using fmsim::Decimal;

Decimal dec(const char* text) {
  return *Decimal::parse(text);
}

TEST(DecimalTest, ArithmeticIsExactAtAnySize) {
  struct Case {
    const char* a;
    char op;
    const char* b;
    const char* expected;
  };
  const Case cases[] = {
      {"0.1", '+', "0.2", "0.3"},
      {"-5", '+', "3.25", "-1.75"},
      {"62135683200", '*', "10000000000000000", "621356832000000000000000000"},
      {"999999999.999999999", '+', "0.000000001", "1000000000"},
      {"1", '-', "1", "0"},
      {"-1.5", '*', "-1.5", "2.25"},
      {"1", '/', "3", "0.3333333333"},
      {"-7", '/', "2", "-3.5000000000"},
      {"123456789012345678901234567890", '/', "1234567890", "100000000010000000001.0000000000"},
  };
  for (const Case& c : cases) {
    Decimal a = dec(c.a), b = dec(c.b);
    Decimal r = c.op == '+' ? a + b : c.op == '-' ? a - b : c.op == '*' ? a * b : *Decimal::divide(a, b, 10);
    EXPECT_EQ(c.op == '/' ? r.toString() : r.trimmed().toString(), c.expected) << c.a << c.op << c.b;
  }
  EXPECT_FALSE(Decimal::divide(dec("1"), dec("0.000"), 4).has_value());
}

TEST(DecimalTest, ConversionsTruncateRoundAndWrapAsDocumented) {
  EXPECT_EQ(dec("-7.9").toInt32Wrapped(), -7);
  EXPECT_EQ(dec("4294967296.5").toInt32Wrapped(), 0);
  EXPECT_EQ(dec("-2147483649").toInt32Wrapped(), 2147483647);
  EXPECT_EQ(dec("2.5").roundedTo(0).toString(), "3");
  EXPECT_EQ(dec("-2.5").roundedTo(0).toString(), "-3");
  EXPECT_EQ(dec("0.66666666666666666666").toDisplay(16), "0.6666666666666667");
  EXPECT_EQ(dec("-0.00000000000000001").toDisplay(16), "0");
  EXPECT_EQ(dec("-2.5").floor().toString(), "-3");
  EXPECT_EQ(dec("1.0000005").toScaledInt64(6), 1000000);
  EXPECT_FALSE(dec("99999999999999999999").toScaledInt64(0).has_value());
  EXPECT_EQ(dec("0.1").toDouble(), 0.1);
  EXPECT_EQ(Decimal::compare(dec("1.50"), dec("1.5")), 0);
  EXPECT_EQ(Decimal::compare(dec("-2"), dec("1")), -1);
  EXPECT_FALSE(Decimal::parse("1.2.3").has_value());
  EXPECT_FALSE(Decimal::parse("-").has_value());
}

}  // namespace
