// The Theora decoder on clips made at test time: each frame is flat grey at a level that names the
// frame, so the RGB picture tells which frame the decoder gave. Every test also checks that the
// tracked heap is back where it was once the decoder is closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "memory_files.h"
#include "movies/theora_decoder.h"
#include "platform/testing.h"
#include "runtime/tracked_heap.h"
#include "theora_clips.h"

namespace movie_test {
namespace {

// Within 3 luma steps, which the encoder's rounding may cost at its best quality.
constexpr int kGreyTolerance = 4;

class TheoraDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTheoraColorTables();
    blocksAtStart_ = GetTrackedBlockCount();
  }
  void TearDown() override {
    platform::testing::FailThreadCreation(0);
    EXPECT_EQ(GetTrackedBlockCount(), blocksAtStart_);
  }

  // Opens the bytes as a movie; the stream is closed with the decoder by Close.
  TheoraMovieDecoder* Open(std::vector<uint8_t> bytes, int stockSize = 10) {
    file_ = std::make_shared<MemoryFile>();
    file_->bytes = std::move(bytes);
    stream_ = OpenMemoryFile(file_);
    return OpenTheoraDecoder(MemoryFileTable(), stream_, stockSize);
  }
  void Close(TheoraMovieDecoder* decoder) {
    EXPECT_EQ(CloseTheoraDecoder(decoder), 0);
    MemoryFileTable()->Close(stream_);
    stream_ = 0;
  }

  // Fetches the current frame as RGB (1 for a new frame, 0 when the image already holds it) and
  // checks it is flat grey at `level`.
  void ExpectGreyFrame(TheoraMovieDecoder* decoder, int level) {
    FetchTheoraFrame(decoder, 1, 0);
    const BaseImage* image = GetTheoraImage(decoder);
    int low = 255, high = 0;
    for (int y = 0; y < image->height; ++y) {
      const uint8_t* pixel = image->pixels + y * image->pitch;
      for (int x = 0; x < image->width; ++x, pixel += 4) {
        low = std::min({low, int{pixel[0]}, int{pixel[1]}, int{pixel[2]}});
        high = std::max({high, int{pixel[0]}, int{pixel[1]}, int{pixel[2]}});
        ASSERT_EQ(pixel[3], 255);
      }
    }
    EXPECT_NEAR(low, GreyRgb(level), kGreyTolerance) << "frame " << GetTheoraCurrentFrame(decoder);
    EXPECT_NEAR(high, GreyRgb(level), kGreyTolerance) << "frame " << GetTheoraCurrentFrame(decoder);
  }

  // Fetches the current frame as RGB and checks that its mean grey is `level`'s (for clips with
  // a pattern over the grey).
  void ExpectMeanLevel(TheoraMovieDecoder* decoder, int level) {
    FetchTheoraFrame(decoder, 1, 0);
    const BaseImage* image = GetTheoraImage(decoder);
    int64_t sum = 0;
    for (int y = 0; y < image->height; ++y)
      for (int x = 0; x < image->width; ++x) sum += image->pixels[y * image->pitch + x * 4 + 1];
    const double mean = static_cast<double>(sum) / (image->width * image->height);
    EXPECT_NEAR(mean, GreyRgb(level), 2.0) << "frame " << GetTheoraCurrentFrame(decoder);
  }

  std::shared_ptr<MemoryFile> file_;
  StreamHandle stream_ = 0;
  int blocksAtStart_ = 0;
};

TEST_F(TheoraDecoder, ReportsFrameCountRateAndCodedSize) {
  TheoraClipOptions options;
  options.width = 80;
  options.height = 40;  // Coded as 80 x 48.
  options.frames = 7;
  options.fpsNumerator = 30000;
  options.fpsDenominator = 1001;
  TheoraMovieDecoder* decoder = Open(MakeTheoraClip(options));
  ASSERT_NE(decoder, nullptr);
  TheoraInfo info{};
  EXPECT_EQ(GetTheoraInfo(decoder, &info), 0);
  EXPECT_EQ(info.frameCount, 7);
  EXPECT_DOUBLE_EQ(info.framesPerSecond, 30000.0 / 1001.0);
  EXPECT_EQ(info.width, 80);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(GetTheoraCurrentFrame(decoder), 0);
  EXPECT_EQ(GetTheoraImage(decoder)->width, 80);
  EXPECT_EQ(GetTheoraImage(decoder)->height, 48);
  // The software device offers no YUV surface: the movie is shown from its RGB image.
  EXPECT_EQ(GetTheoraYuvSurface(decoder), nullptr);
  ExpectGreyFrame(decoder, DefaultClipLevel(0));
  Close(decoder);
}

TEST_F(TheoraDecoder, EveryFrameIsRightAcrossTheLoopForStockSizesBelowAndAboveTheFrameCount) {
  for (int stockSize : {1, 4, 20}) {
    SCOPED_TRACE(stockSize);
    TheoraClipOptions options;
    options.frames = 12;
    options.keyFrameInterval = 5;
    TheoraMovieDecoder* decoder = Open(MakeTheoraClip(options), stockSize);
    ASSERT_NE(decoder, nullptr);
    for (int step = 0; step < 3 * options.frames + 2; ++step) {
      const int frame = step % options.frames;
      ASSERT_EQ(GetTheoraCurrentFrame(decoder), frame);
      ExpectGreyFrame(decoder, DefaultClipLevel(frame));
      EXPECT_EQ(AdvanceTheoraFrame(decoder, 1), 0);
    }
    Close(decoder);
  }
}

// 4:2:0 goes through the integer tables, the other layouts through the floating-point path; each
// must take the chroma sample that covers the pixel in its own layout.
TEST_F(TheoraDecoder, ColoursEveryChromaLayoutFromTheSampleUnderThePixel) {
  constexpr int kLevel = 100;
  // (100 - 16) * 1.164 = 97.8; red + 1.596 * 72, green - 0.391 * -38 - 0.813 * 72, blue + 2.018 * -38.
  constexpr int kTintRed = 213, kTintGreen = 54, kTintBlue = 21;
  constexpr int kTolerance = 8;
  for (int layout : {420, 422, 444}) {
    SCOPED_TRACE(layout);
    TheoraClipOptions options;
    options.frames = 2;
    options.chromaLayout = layout;
    options.tintedQuarter = 1;
    options.level = [](int) { return kLevel; };
    TheoraMovieDecoder* decoder = Open(MakeTheoraClip(options), 2);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(FetchTheoraFrame(decoder, 1, 0), 0) << "open already brought frame 0 into the image";
    const BaseImage* image = GetTheoraImage(decoder);
    // Away from the quarter's edges, where the coding smears the colours.
    constexpr int kMargin = 6;
    for (int y = kMargin; y < image->height - kMargin; ++y) {
      for (int x = kMargin; x < image->width - kMargin; ++x) {
        if (std::abs(y - image->height / 2) < kMargin || std::abs(x - image->width / 2) < kMargin) continue;
        const bool tinted = y >= image->height / 2 && x >= image->width / 2;
        const uint8_t* pixel = image->pixels + y * image->pitch + x * 4;
        ASSERT_NEAR(pixel[2], tinted ? kTintRed : GreyRgb(kLevel), kTolerance) << x << "," << y;
        ASSERT_NEAR(pixel[1], tinted ? kTintGreen : GreyRgb(kLevel), kTolerance) << x << "," << y;
        ASSERT_NEAR(pixel[0], tinted ? kTintBlue : GreyRgb(kLevel), kTolerance) << x << "," << y;
      }
    }
    Close(decoder);
  }
}

TEST_F(TheoraDecoder, AdvancesBySeveralFramesWrappingPastTheEnd) {
  TheoraClipOptions options;
  options.frames = 12;
  options.keyFrameInterval = 4;
  TheoraMovieDecoder* decoder = Open(MakeTheoraClip(options), 4);
  ASSERT_NE(decoder, nullptr);
  struct Step {
    int64_t count;
    int64_t frame;  // The current frame after it.
  };
  // A count of 0 or less does nothing; counts of a whole loop or more wrap as often as needed.
  const Step steps[] = {{2, 2}, {5, 7}, {0, 7}, {-3, 7}, {6, 1}, {11, 0}, {12, 0}, {29, 5}, {3, 8}, {100, 0}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.count);
    EXPECT_EQ(AdvanceTheoraFrame(decoder, step.count), 0);
    EXPECT_EQ(GetTheoraCurrentFrame(decoder), step.frame);
    ExpectGreyFrame(decoder, DefaultClipLevel(static_cast<int>(step.frame)));
  }
  Close(decoder);
}

TEST_F(TheoraDecoder, SeeksToFramesInsideAKeyFrameGroupAndClampsToTheMovie) {
  TheoraClipOptions options;
  options.frames = 30;
  options.keyFrameInterval = 8;
  // A pattern over small steps of grey: the encoder codes frames as changes to the frame before,
  // so a frame decodes right only from its key frame on through every frame between.
  options.level = [](int frame) { return 40 + 5 * frame; };
  options.texture = 12;
  TheoraMovieDecoder* decoder = Open(MakeTheoraClip(options), 3);
  ASSERT_NE(decoder, nullptr);
  struct Seek {
    int64_t asked;
    int64_t frame;
  };
  const Seek seeks[] = {{13, 13}, {5, 5}, {29, 29}, {0, 0}, {22, 22}, {17, 17}, {-5, 0}, {1000, 29}, {8, 8}, {7, 7}};
  for (const Seek& seek : seeks) {
    SCOPED_TRACE(seek.asked);
    EXPECT_EQ(SeekTheoraFrame(decoder, seek.asked), 0);
    EXPECT_EQ(GetTheoraCurrentFrame(decoder), seek.frame);
    ExpectMeanLevel(decoder, options.level(static_cast<int>(seek.frame)));
    // Playing on from the sought frame decodes forward from it.
    EXPECT_EQ(AdvanceTheoraFrame(decoder, 1), 0);
    ExpectMeanLevel(decoder, options.level(static_cast<int>((seek.frame + 1) % options.frames)));
  }
  Close(decoder);
}

TEST_F(TheoraDecoder, PlaysTheVideoOfAClipWithASoundTrack) {
  TheoraClipOptions options;
  options.frames = 20;
  options.fpsNumerator = 10;
  options.soundSeconds = 2.0;
  TheoraMovieDecoder* decoder = Open(MakeTheoraClip(options), 4);
  ASSERT_NE(decoder, nullptr);
  TheoraInfo info{};
  GetTheoraInfo(decoder, &info);
  EXPECT_EQ(info.frameCount, 20);
  for (int frame = 0; frame < 22; ++frame) {
    ExpectGreyFrame(decoder, DefaultClipLevel(frame % 20));
    AdvanceTheoraFrame(decoder, 1);
  }
  Close(decoder);
}

TEST_F(TheoraDecoder, RefusesFilesThatAreNotOggAfterFourBytes) {
  std::vector<uint8_t> notOgg(5000, 'x');
  std::copy_n("RIFF", 4, notOgg.begin());
  for (const std::vector<uint8_t>& bytes : {notOgg, std::vector<uint8_t>{'O', 'g'}, std::vector<uint8_t>{}}) {
    EXPECT_EQ(Open(bytes), nullptr);
    EXPECT_LE(file_->bytesRead, 4);
    MemoryFileTable()->Close(stream_);
  }
}

TEST_F(TheoraDecoder, RefusesAnOggFileWithoutATheoraStream) {
  EXPECT_EQ(Open(MakeVorbisOnlyOgg(0.5)), nullptr);
  MemoryFileTable()->Close(stream_);
}

TEST_F(TheoraDecoder, ThreadCreationFailureGivesNullAndLeavesNothing) {
  platform::testing::FailThreadCreation(1);
  EXPECT_EQ(Open(MakeTheoraClip({})), nullptr);
  MemoryFileTable()->Close(stream_);
}

// Without the events the two threads wait on (their creation refused), both poll: every frame
// still comes, through the loop and after a seek.
TEST_F(TheoraDecoder, PlaysByPollingWhenItsEventsCannotBeMade) {
  TheoraClipOptions options;
  options.frames = 12;
  options.keyFrameInterval = 5;
  const std::vector<uint8_t> clip = MakeTheoraClip(options);
  for (int refused : {1, -1}) {  // The main thread's event only; both.
    SCOPED_TRACE(refused);
    platform::testing::FailEventAndSemaphoreCreation(refused);
    TheoraMovieDecoder* decoder = Open(clip, 4);
    platform::testing::FailEventAndSemaphoreCreation(0);
    ASSERT_NE(decoder, nullptr);
    for (int step = 0; step < options.frames + 3; ++step) {
      const int frame = step % options.frames;
      ASSERT_EQ(GetTheoraCurrentFrame(decoder), frame);
      ExpectGreyFrame(decoder, DefaultClipLevel(frame));
      AdvanceTheoraFrame(decoder, 1);
    }
    EXPECT_EQ(SeekTheoraFrame(decoder, 8), 0);
    ExpectGreyFrame(decoder, DefaultClipLevel(8));
    Close(decoder);
  }
}

TEST_F(TheoraDecoder, ClosingWhileTheThreadDecodesEndsIt) {
  TheoraClipOptions options;
  options.width = 320;
  options.height = 240;
  options.frames = 40;
  options.keyFrameInterval = 10;
  const std::vector<uint8_t> clip = MakeTheoraClip(options);
  for (int64_t jump : {0, 1, 17, 35}) {
    TheoraMovieDecoder* decoder = Open(clip, 10);
    ASSERT_NE(decoder, nullptr);
    AdvanceTheoraFrame(decoder, jump);  // The thread is still filling its stock.
    Close(decoder);
  }
}

// A file cut short after it was indexed: the frames past the cut fail to fetch instead of
// waiting, and the frames before it still play when the movie loops round.
TEST_F(TheoraDecoder, FramesPastDataThatRanOutFailToFetchAndTheRestStillPlay) {
  TheoraClipOptions options;
  options.width = 160;
  options.height = 120;
  options.frames = 24;
  options.keyFrameInterval = 6;
  options.texture = 20;  // Frames of some kilobytes: the decoder has read only the file's start.
  options.level = [](int frame) { return 50 + 6 * frame; };
  TheoraMovieDecoder* decoder = Open(MakeTheoraClip(options), 1);
  ASSERT_NE(decoder, nullptr);
  ExpectMeanLevel(decoder, options.level(0));
  // With a stock of one frame the thread rests once frame 0 is in: the file is not being read.
  file_->bytes.resize(file_->bytes.size() * 2 / 3);
  AdvanceTheoraFrame(decoder, options.frames - 1);
  EXPECT_EQ(FetchTheoraFrame(decoder, 1, 0), 0);
  AdvanceTheoraFrame(decoder, 1);
  ExpectMeanLevel(decoder, options.level(0));
  AdvanceTheoraFrame(decoder, 2);
  ExpectMeanLevel(decoder, options.level(2));
  EXPECT_EQ(SeekTheoraFrame(decoder, options.frames - 2), 0);
  EXPECT_EQ(FetchTheoraFrame(decoder, 1, 0), 0);
  Close(decoder);
}

// Cut and damaged clips: each either fails to open or plays to a clean stop (a fetch that gives
// 0 or a picture), never crashing or hanging.
TEST_F(TheoraDecoder, CutAndDamagedClipsFailOrStopCleanly) {
  TheoraClipOptions options;
  options.frames = 16;
  options.keyFrameInterval = 4;
  options.soundSeconds = 0.5;
  const std::vector<uint8_t> clip = MakeTheoraClip(options);
  std::vector<std::vector<uint8_t>> damaged;
  for (size_t length = 0; length < clip.size(); length += clip.size() / 40 + 1)
    damaged.emplace_back(clip.begin(), clip.begin() + static_cast<std::ptrdiff_t>(length));
  uint32_t seed = 20261211;
  for (int round = 0; round < 40; ++round) {
    std::vector<uint8_t> bytes = clip;
    for (int flip = 0; flip < 1 + round % 4; ++flip) {
      seed = seed * 1103515245u + 12345u;
      bytes[(seed >> 8) % bytes.size()] ^= static_cast<uint8_t>(seed >> 24 | 1);
    }
    damaged.push_back(std::move(bytes));
  }
  int opened = 0;
  for (const std::vector<uint8_t>& bytes : damaged) {
    TheoraMovieDecoder* decoder = Open(bytes, 3);
    if (!decoder) {
      MemoryFileTable()->Close(stream_);
      continue;
    }
    ++opened;
    TheoraInfo info{};
    GetTheoraInfo(decoder, &info);
    EXPECT_GT(info.frameCount, 0);
    EXPECT_GT(info.framesPerSecond, 0);
    for (int step = 0; step < 20; ++step) {
      const int fetched = FetchTheoraFrame(decoder, 1, 1);
      EXPECT_TRUE(fetched == 0 || fetched == 1);
      AdvanceTheoraFrame(decoder, 1 + step % 3);
    }
    SeekTheoraFrame(decoder, info.frameCount / 2);
    FetchTheoraFrame(decoder, 1, 0);
    Close(decoder);
  }
  EXPECT_GT(opened, 0);
}

}  // namespace
}  // namespace movie_test
