// Double-byte text scanning and the CP932 conversions on arbitrary bytes.
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<char> text(data + 1, data + size);
  text.push_back(0);
  const int charSet = data[0] % 5;
  g_runtime.charSet = charSet;

  const int length = static_cast<int>(std::strlen(text.data()));
  for (int i = -1; i <= length + 1; ++i) GetByteKindAt(text.data(), i, charSet);
  FindCharInString(text.data(), '\\');
  std::vector<char> upper = text;
  char* end = UpperCaseString(upper.data());
  if (end < upper.data() || end > upper.data() + length) __builtin_trap();

  std::string utf8 = platform::Cp932ToUtf8(text.data());
  platform::Utf8ToCp932(utf8);
  return 0;
}
