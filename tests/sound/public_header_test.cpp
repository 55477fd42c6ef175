// What a game reaches through the public sound header alone (this file includes no header of the
// library's own): the handle and stream-sound calls, each answering -1 while sound is not started.
#include <gtest/gtest.h>

#include "zyvel/sound.h"

namespace {

TEST(SoundPublicHeader, StreamSoundCallsAnswerMinusOneBeforeSoundStarts) {
  const unsigned char image[64] = {'R', 'I', 'F', 'F'};
  const int someHandle = 0x10000000;
  EXPECT_EQ(AddSoundData(-1), -1);
  EXPECT_EQ(AddStreamSoundFile("sound.wav", 0, someHandle, 2, -1), -1);
  EXPECT_EQ(AddStreamSoundMemory(image, sizeof(image), 0, someHandle, 2, -1), -1);
  EXPECT_EQ(PrimeStreamSound(someHandle), -1);
  EXPECT_EQ(DeleteAllSoundHandles(0), -1);
}

}  // namespace
