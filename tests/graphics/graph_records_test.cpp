// Graph handles and records: slot and check-value rules, tile sizes, the tile pieces a graph
// shows, shared parts and file names.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/graphs/graph_records.h"
#include "runtime/log_directory.h"
#include "zyvel/graphics.h"

namespace {

// Deletes what a test made, so every test starts from an empty table.
class GraphTableTest : public zyvel_test::LogDirectoryTest {
 protected:
  void TearDown() override {
    for (int slot = 0; slot < g_graphHandleTable.highWaterMark; ++slot) {
      auto* record = static_cast<GraphRecord*>(g_graphHandleTable.slots[slot]);
      if (!record) continue;
      SetGraphFileName(record->Handle, nullptr, -1);
      DeleteHandleRecord(&g_graphHandleTable, record->Handle);
    }
    g_graphHandleTable.nextCheckCount = 0;
    zyvel_test::LogDirectoryTest::TearDown();
  }
};

TEST(SplitTextureSizes, CoversOneDimensionWithPowersOfTwo) {
  struct Case {
    int length, single, maxSide, screenWidth;
    std::vector<int> sizes;
  };
  const Case cases[] = {
      {5, 0, 2048, 640, {8}},
      {100, 0, 2048, 640, {128}},       // e = 64, one texture of 2e below the screen width.
      {64, 0, 2048, 640, {64}},         // e equals the length: no doubling.
      {640, 0, 2048, 640, {512, 128}},  // 640 - 512 leaves 128, which ends the loop at 0.
      {640, 1, 2048, 640, {1024}},      // Single: one texture of 2e.
      // 188 left after 512: e falls to 128, then 32; 28 > 24 stops and the last doubles.
      {700, 0, 512, 640, {512, 128, 64}},
      // 488 > 384 does not stop at e = M; 232 > 192 does, and 256 doubles to 512 (not merged:
      // 1024 is beyond M).
      {1000, 0, 512, 640, {512, 512}},
      {1200, 0, 2048, 640, {1024, 128, 32, 16}},
      {900, 0, 2048, 640, {1024}},  // 388 > 384 with e < M: the one size doubles.
      {768, 0, 2048, 640, {512, 256}},
  };
  for (const Case& c : cases) {
    int sizes[64] = {};
    const int count = SplitTextureSizesFor(c.length, sizes, c.single, c.maxSide, c.screenWidth);
    EXPECT_EQ(count, SplitTextureSizesFor(c.length, nullptr, c.single, c.maxSide, c.screenWidth)) << c.length;
    EXPECT_EQ(std::vector<int>(sizes, sizes + count), c.sizes) << "length " << c.length;
  }
}

TEST_F(GraphTableTest, SlotsAreTakenAtTheMarkAndTheMarkFallsOnlyFromTheTop) {
  int handles[6];
  for (int i = 0; i < 6; ++i) {
    handles[i] = NewGraphHandle();
    EXPECT_EQ(HandleSlotOf(handles[i]), i);
    EXPECT_EQ(HandleKindOf(handles[i]), HANDLE_KIND_GRAPH);
    EXPECT_EQ(GetGraphRecord(handles[i])->MovieHandle, -1);
  }
  DeleteHandleRecord(&g_graphHandleTable, handles[5]);
  EXPECT_EQ(HandleSlotOf(NewGraphHandle()), 5);
  DeleteHandleRecord(&g_graphHandleTable, handles[2]);
  EXPECT_FALSE(IsGraphHandleValid(handles[2]));
  EXPECT_EQ(HandleSlotOf(NewGraphHandle()), 6);
}

TEST_F(GraphTableTest, AHandleWhoseSlotWasReusedIsNoLongerLive) {
  const int first = NewGraphHandle();
  DeleteHandleRecord(&g_graphHandleTable, first);
  // 2048 creations later the check value is the same one again, in another slot.
  int again = -1;
  for (int i = 0; i < 2048; ++i) {
    again = NewGraphHandle();
    if (HandleSlotOf(again) == 0) break;
    DeleteHandleRecord(&g_graphHandleTable, again);
  }
  EXPECT_EQ(HandleSlotOf(again), 0);
  EXPECT_NE(again, first);
  EXPECT_FALSE(IsGraphHandleValid(first));
  EXPECT_TRUE(IsGraphHandleValid(again));
  EXPECT_FALSE(IsGraphHandleValid(again | 0x8000));  // Bit 15 set.
  EXPECT_FALSE(IsGraphHandleValid(-1));
}

class GraphTableDeathTest : public GraphTableTest {};

TEST_F(GraphTableDeathTest, The32769thGraphEndsTheProgram) {
  EXPECT_EXIT(
      {
        for (int i = 0; i < 32768; ++i) NewGraphHandle();
        NewGraphHandle();
      },
      ::testing::ExitedWithCode(255), "");
  EXPECT_NE(LogText().find(zyvel_test::Utf8(u8"グラフィックの数が許容量を越えました終了します")), std::string::npos);
}

// A textured part of w x h covered by the tiles SplitTextureSizesFor gives for a 2048 device on a
// 640-wide screen; textures are not created (the pieces need only the tile geometry).
struct TiledPart {
  GraphImagePart part{};
  TiledPart(int width, int height) {
    int widths[16], heights[16];
    const int columns = SplitTextureSizesFor(width, widths, 0, 2048, 640);
    const int rows = SplitTextureSizesFor(height, heights, 0, 2048, 640);
    part.Textured = 1;
    part.Width = width;
    part.Height = height;
    part.TextureCount = columns * rows;
    part.Textures = new GraphTexture[part.TextureCount]{};
    int y = 0;
    for (int r = 0; r < rows; ++r) {
      int x = 0;
      for (int c = 0; c < columns; ++c) {
        GraphTexture& t = part.Textures[r * columns + c];
        t.X = x, t.Y = y;
        t.TextureWidth = widths[c], t.TextureHeight = heights[r];
        t.UsedWidth = std::min(widths[c], width - x);
        t.UsedHeight = std::min(heights[r], height - y);
        x += widths[c];
      }
      y += heights[r];
    }
  }
  ~TiledPart() { delete[] part.Textures; }
  int Graph(int x, int y, int w, int h) {
    const int handle = NewGraphHandle();
    GraphRecord* record = GetGraphRecord(handle);
    record->Part = &part;
    ++part.RefCount;
    record->PartX = x, record->PartY = y, record->Width = w, record->Height = h;
    return handle;
  }
};

TEST_F(GraphTableTest, AGraphAcrossTilesGetsOnePiecePerTileItOverlaps) {
  TiledPart tiled(640, 100);  // Columns 512 + 128, one row of 128.
  ASSERT_EQ(tiled.part.TextureCount, 2);
  EXPECT_EQ(tiled.part.Textures[1].UsedWidth, 128);
  EXPECT_EQ(tiled.part.Textures[0].UsedHeight, 100);

  const int whole = tiled.Graph(0, 0, 640, 100);
  ASSERT_EQ(SetupGraphTileDraws(whole), 0);
  GraphRecord* record = GetGraphRecord(whole);
  ASSERT_EQ(record->TileCount, 2);
  const GraphTileDraw& right = record->TileDraws()[1];
  EXPECT_EQ(right.DestX, 512);
  EXPECT_EQ(right.SourceX, 0);
  EXPECT_EQ(right.Width, 128);
  EXPECT_EQ(right.Height, 100);
  EXPECT_EQ(right.Texture, &tiled.part.Textures[1]);
  // Bottom-right corner: (640, 100), u 128 / 128, v 100 / 128.
  EXPECT_FLOAT_EQ(right.Corners[3].x, 640.0f);
  EXPECT_FLOAT_EQ(right.Corners[3].y, 100.0f);
  EXPECT_FLOAT_EQ(right.Corners[3].u, 1.0f);
  EXPECT_FLOAT_EQ(right.Corners[3].v, 100.0f / 128.0f);
  // Anti-diagonal y <= 100 - x * 100 / 640: the left piece's top-left, top-right and bottom-left
  // lie on or above it (bottom-left (0, 100) exactly on it), its bottom-right (512, 100) below.
  const GraphTileDraw& left = record->TileDraws()[0];
  EXPECT_EQ(std::vector<int>(left.CornerFlags, left.CornerFlags + 4), (std::vector<int>{1, 1, 1, 0}));

  // A graph cut across the tile border starts inside the first tile's texture.
  const int cut = tiled.Graph(500, 10, 40, 20);
  ASSERT_EQ(SetupGraphTileDraws(cut), 0);
  record = GetGraphRecord(cut);
  ASSERT_EQ(record->TileCount, 2);
  EXPECT_EQ(record->TileDraws()[0].SourceX, 500);
  EXPECT_EQ(record->TileDraws()[0].Width, 12);
  EXPECT_EQ(record->TileDraws()[0].SourceY, 10);
  EXPECT_EQ(record->TileDraws()[1].DestX, 12);
  EXPECT_EQ(record->TileDraws()[1].Width, 28);

  // Wholly inside the second tile: one piece.
  const int inside = tiled.Graph(520, 0, 100, 50);
  ASSERT_EQ(SetupGraphTileDraws(inside), 0);
  record = GetGraphRecord(inside);
  ASSERT_EQ(record->TileCount, 1);
  EXPECT_EQ(record->TileDraws()[0].SourceX, 8);
  EXPECT_FLOAT_EQ(record->TileDraws()[0].Corners[0].u, 8.0f / 128.0f);
}

TEST_F(GraphTableTest, AGraphOutsideEveryTileIsRefusedWithALogLine) {
  TiledPart tiled(100, 100);
  const int outside = tiled.Graph(100, 0, 10, 10);
  EXPECT_EQ(SetupGraphTileDraws(outside), -1);
  EXPECT_NE(LogText().find(zyvel_test::Utf8(u8"テクスチャ描画情報の作成に失敗しました")), std::string::npos);
}

TEST_F(GraphTableTest, ASharedPartAddsTheOffsetsAndKeepsTheFileName) {
  TiledPart tiled(640, 100);
  const int parent = tiled.Graph(0, 0, 640, 100);
  ASSERT_EQ(SetupGraphTileDraws(parent), 0);
  ASSERT_EQ(SetGraphFileName(parent, "pictures/sheet.png", -1), 0);
  GetGraphRecord(parent)->FileX = 3;
  GetGraphRecord(parent)->Mirror = 1;

  const int child = NewGraphHandle();
  ASSERT_EQ(ShareGraphImagePart(parent, child, 520, 4, 100, 50), 0);
  const GraphRecord* record = GetGraphRecord(child);
  EXPECT_EQ(tiled.part.RefCount, 2);
  EXPECT_EQ(record->FileX, 523);
  EXPECT_EQ(record->PartX, 520);
  EXPECT_EQ(record->PartY, 4);
  EXPECT_EQ(record->Mirror, 1);
  EXPECT_EQ(record->TileCount, 1);
  ASSERT_EQ(record->FileName, GetGraphRecord(parent)->FileName);
  EXPECT_EQ(record->FileName->RefCount, 2);
  EXPECT_NE(strstr(record->FileName->Path, "sheet.png"), nullptr);

  // Setting a graph's name to its own source keeps the one record alive.
  EXPECT_EQ(SetGraphFileName(child, nullptr, child), 0);
  EXPECT_EQ(GetGraphRecord(child)->FileName->RefCount, 2);
  EXPECT_EQ(SetGraphFileName(child, nullptr, 0x7FFFFFFF), -1);
  EXPECT_EQ(ShareGraphImagePart(parent, -1, 0, 0, 1, 1), -1);
}

TEST_F(GraphTableTest, TheLostFlagIsClearedWhenSetAndRaisedAtDeletion) {
  int lost = 7;
  const int handle = NewGraphHandle();
  ASSERT_EQ(SetGraphLostFlag(handle, &lost), 0);
  EXPECT_EQ(lost, 0);
  DeleteHandleRecord(&g_graphHandleTable, handle);
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(SetGraphLostFlag(handle, &lost), -1);
}

TEST_F(GraphTableTest, ScreensAnswerWithTheScreenSize) {
  int width = 0, height = 0;
  ASSERT_EQ(GetGraphDimensions(SCREEN_BACK, &width, &height), 0);
  int screenWidth = 0, screenHeight = 0;
  GetScreenSizeSetting(&screenWidth, &screenHeight);
  EXPECT_EQ(width, screenWidth);
  EXPECT_EQ(height, screenHeight);
  EXPECT_EQ(GetGraphDimensions(SCREEN_FRONT, nullptr, nullptr), 0);
  EXPECT_EQ(GetGraphDimensions(12345, &width, &height), -1);
}

}  // namespace
