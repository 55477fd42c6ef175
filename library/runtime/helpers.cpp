// String, memory and number helpers. Every scanner is double-byte aware: it steps over a lead byte
// and its trail byte together, so a trail byte is never mistaken for the character looked for.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

int CheckLeadByte(const char* p, int charSet) {
  const unsigned char byte = static_cast<unsigned char>(*p);
  if (charSet == CHARSET_HANGEUL || charSet == CHARSET_BIG5 || charSet == CHARSET_GB2312) return (byte & 0x80) ? 1 : 0;
  return ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) ? 1 : 0;
}

int GetByteKindAt(const char* text, int index, int charSet) {
  if (index < 0) return -1;
  for (int i = 0; text[i] != 0;) {
    if (CheckLeadByte(text + i, charSet)) {
      if (i == index) return 1;
      if (text[i + 1] == 0) return -1;  // A lead byte with no trail ends the text.
      if (i + 1 == index) return 2;
      i += 2;
    } else {
      if (i == index) return 0;
      ++i;
    }
    if (i > index) return -1;
  }
  return -1;
}

const char* CopyString(char* dst, const char* src) {
  while ((*dst++ = *src) != 0) ++src;
  return src;
}

const char* CopyStringN(char* dst, const char* src, int count) {
  // `dst` holds count + 1 bytes: up to count bytes of text and the terminator.
  int i = 0;
  for (; i < count && src[i] != 0; ++i) dst[i] = src[i];
  dst[i < 0 ? 0 : i] = 0;
  return src + (i < 0 ? 0 : i);
}

char* FindCharInString(const char* text, int ch) {
  const int charSet = g_runtime.charSet;
  for (const char* p = text; *p != 0;) {
    if (CheckLeadByte(p, charSet)) {
      if (p[1] == 0) break;
      p += 2;
      continue;
    }
    if (static_cast<unsigned char>(*p) == static_cast<unsigned char>(ch)) return const_cast<char*>(p);
    ++p;
  }
  return nullptr;
}

int CompareStrings(const char* a, const char* b) { return std::strcmp(a, b) == 0 ? 0 : 1; }

char* UpperCaseString(char* text) {
  const int charSet = g_runtime.charSet;
  char* p = text;
  while (*p != 0) {
    if (CheckLeadByte(p, charSet)) {
      if (p[1] == 0) {
        ++p;
        break;
      }
      p += 2;
      continue;
    }
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    ++p;
  }
  return p;
}

int CompareStringsN(const char* a, const char* b, int count) {
  for (int i = 0; i < count; ++i) {
    if (a[i] != b[i]) return 1;
    if (a[i] == 0) return 0;
  }
  return 0;
}

void FillBytes(void* dst, int value, unsigned count) { std::memset(dst, value, count); }

int CompareBytes(const void* a, const void* b, int count) {
  if (count <= 0) return 0;
  return std::memcmp(a, b, static_cast<size_t>(count)) == 0 ? 0 : 1;
}

void* CopyBytes(void* dst, const void* src, int count) {
  if (count > 0) std::memmove(dst, src, static_cast<size_t>(count));
  return dst;
}

void* MoveBytes(void* dst, const void* src, int count) {
  auto* to = static_cast<unsigned char*>(dst);
  const auto* from = static_cast<const unsigned char*>(src);
  if (count <= 0 || to == from) return dst;
  if (from < to) {
    for (int i = count - 1; i >= 0; --i) to[i] = from[i];
  } else {
    for (int i = 0; i < count; ++i) to[i] = from[i];
  }
  return dst;
}

void SinCosFloat(float angle, float* sinOut, float* cosOut) {
  *sinOut = std::sin(angle);
  *cosOut = std::cos(angle);
}

int AbsInt(int value) { return value < 0 ? static_cast<int>(0u - static_cast<unsigned>(value)) : value; }
float AbsFloat(float value) { return std::fabs(value); }

// Truncation toward zero whatever the rounding mode. NaN and values outside int32 give the
// integer-indefinite value 0x80000000, as the processor's conversion does.
int DoubleToInt(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int>(value);
}

int FloatToInt(float value) { return DoubleToInt(static_cast<double>(value)); }

float SqrtFloat(float value) { return std::sqrt(value); }

char* IntToText(int value, char* out, int base) {
  if (base < 2 || base > 36) {
    out[0] = 0;
    return out;
  }
  char digits[40];
  int count = 0;
  // The magnitude is taken unsigned, so the most negative value needs no negation in int.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    unsigned digit = magnitude % static_cast<unsigned>(base);
    digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
    magnitude /= static_cast<unsigned>(base);
  } while (magnitude != 0);
  char* p = out;
  if (value < 0) *p++ = '-';
  while (count > 0) *p++ = digits[--count];
  *p = 0;
  return out;
}

void MulU64ToU128(const uint64_t* a, const uint64_t* b, uint32_t out[4]) {
  // Schoolbook product of 32-bit halves.
  const uint64_t aLow = *a & 0xFFFFFFFFu, aHigh = *a >> 32;
  const uint64_t bLow = *b & 0xFFFFFFFFu, bHigh = *b >> 32;
  const uint64_t lowLow = aLow * bLow;
  const uint64_t lowHigh = aLow * bHigh;
  const uint64_t highLow = aHigh * bLow;
  const uint64_t highHigh = aHigh * bHigh;
  const uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFFu) + (highLow & 0xFFFFFFFFu);
  const uint64_t upper = highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
  out[0] = static_cast<uint32_t>(lowLow);
  out[1] = static_cast<uint32_t>(middle);
  out[2] = static_cast<uint32_t>(upper);
  out[3] = static_cast<uint32_t>(upper >> 32);
}

int DivU128ByU64(const uint32_t dividend[4], const uint64_t* divisor, uint64_t* quotient) {
  // Shift and subtract: take the largest doubling of the divisor that still fits, set that quotient
  // bit, subtract, and go on until the remainder is below the divisor. A zero divisor is refused.
  if (*divisor == 0) {
    *quotient = 0;
    return -1;
  }
  uint64_t remainderHigh = (static_cast<uint64_t>(dividend[3]) << 32) | dividend[2];
  uint64_t remainderLow = (static_cast<uint64_t>(dividend[1]) << 32) | dividend[0];
  uint64_t result = 0;
  for (int bit = 127; bit >= 0; --bit) {
    // Does divisor << bit fit under the remainder? Compare without overflowing 128 bits.
    uint64_t shiftedHigh, shiftedLow;
    if (bit >= 64) {
      if (bit - 64 > 0 && (*divisor >> (128 - bit)) != 0) continue;  // Would exceed 128 bits.
      shiftedHigh = *divisor << (bit - 64);
      shiftedLow = 0;
    } else if (bit == 0) {
      shiftedHigh = 0;
      shiftedLow = *divisor;
    } else {
      shiftedHigh = *divisor >> (64 - bit);
      shiftedLow = *divisor << bit;
    }
    bool fits = remainderHigh > shiftedHigh || (remainderHigh == shiftedHigh && remainderLow >= shiftedLow);
    if (!fits) continue;
    uint64_t borrow = remainderLow < shiftedLow ? 1 : 0;
    remainderLow -= shiftedLow;
    remainderHigh -= shiftedHigh + borrow;
    if (bit < 64) result |= uint64_t(1) << bit;  // Quotient bits above 63 are cut off.
  }
  *quotient = result;
  return 0;
}

float PowerFloat(float x, float y) { return std::pow(x, y); }

int FormatTextV(char* out, int outSize, const char* format, va_list arguments) {
  if (outSize <= 0) return 0;
  int length = std::vsnprintf(out, static_cast<size_t>(outSize), format, arguments);
  if (length < 0) out[0] = 0;
  return length < 0 ? 0 : (length < outSize ? length : outSize - 1);
}

int FormatText(char* out, int outSize, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  FormatTextV(out, outSize, format, arguments);
  va_end(arguments);
  return 0;
}
