// The archive key, built at run time so that no key lies in the program file. Its constants live
// here and nowhere else: the writer (tools/zva-pack) links this same builder, and an archive only
// opens with the key it was scrambled with.
#include <cstring>

#include "files/archive_format.h"

namespace {

constexpr unsigned char kKeyFill = 0xA7;        // Fills the key when there is no key text.
constexpr unsigned char kSecondKeyFill = 0x3C;  // The fallback key: 12 copies, untransformed.

unsigned char SwapNibbles(unsigned char b) { return static_cast<unsigned char>((b << 4) | (b >> 4)); }
unsigned char RotateLeft(unsigned char b, int bits) {
  return static_cast<unsigned char>((b << bits) | (b >> (8 - bits)));
}

// Each key position's own transformation.
unsigned char TransformKeyByte(unsigned char b, int position) {
  switch (position) {
    case 0:
      return static_cast<unsigned char>(~b);
    case 1:
      return SwapNibbles(b);
    case 2:
      return RotateLeft(b, 3);
    case 3:
      return b ^ 0x5D;
    case 4:
      return static_cast<unsigned char>(~SwapNibbles(b));
    case 5:
      return RotateLeft(b, 1) ^ 0x21;
    case 6:
      return SwapNibbles(b ^ 0x96);
    case 7:
      return static_cast<unsigned char>(~RotateLeft(b, 5));
    case 8:
      return b ^ 0xC3;
    case 9:
      return RotateLeft(SwapNibbles(b), 2);
    case 10:
      return static_cast<unsigned char>(~(b ^ 0x4E));
    default:
      return RotateLeft(b, 6) ^ 0x1F;
  }
}

}  // namespace

void BuildArchiveKey(const char* keyText, unsigned char key[kArchiveKeySize]) {
  const size_t textLength = keyText ? std::strlen(keyText) : 0;
  for (int i = 0; i < kArchiveKeySize; ++i) {
    unsigned char b = textLength ? static_cast<unsigned char>(keyText[i % textLength]) : kKeyFill;
    key[i] = TransformKeyByte(b, i);
  }
}

void BuildSecondArchiveKey(unsigned char key[kArchiveKeySize]) { std::memset(key, kSecondKeyFill, kArchiveKeySize); }
