// MulDiv: the platform's scaled multiplication.
#include <cstdint>
#include <limits>

#include "platform/kernel.h"

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const int64_t product = static_cast<int64_t>(number) * numerator;
  int64_t quotient = product / denominator;
  const int64_t remainder = product % denominator;
  // Half away from zero: compare twice the remainder's size with the divisor's.
  const uint64_t twiceRemainder = 2 * static_cast<uint64_t>(remainder < 0 ? -remainder : remainder);
  const uint64_t divisor = static_cast<uint64_t>(denominator < 0 ? -static_cast<int64_t>(denominator) : denominator);
  if (twiceRemainder >= divisor) quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
  if (quotient > std::numeric_limits<int>::max() || quotient < std::numeric_limits<int>::min()) return -1;
  return static_cast<int>(quotient);
}
