// The step of converters that hold their whole PCM in memory (the media framework's result).
#include <cstring>

#include "sound/pcm_converter.h"

int CopyMemoryPcmBlock(PcmConverter* converter) {
  PcmMemoryState& memory = converter->memory;
  if (memory.readPosition >= memory.size) return -1;
  int bytes = memory.size - memory.readPosition;
  if (bytes > converter->bufferSize) bytes = converter->bufferSize;
  std::memcpy(converter->buffer, memory.pcm + memory.readPosition, static_cast<size_t>(bytes));
  converter->validBytes = bytes;
  memory.readPosition += bytes;
  return 0;
}
