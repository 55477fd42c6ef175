// Vertex-buffer, index-buffer and shader handles on a device that processes vertices in hardware
// (the stand-in reports shader model 2.0 for that), the shader pack from a synthetic archive
// image, and the constant-set switch.
#include "graphics/device/device_buffers.h"

#include <climits>
#include <cstring>
#include <numeric>

#include "../../tools/zva-pack/archive_writer.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screens.h"
#include "graphics/graphs/texture_upload.h"
#include "graphics/models/shader_pack.h"
#include "render_device_support.h"

namespace {

using device_test::RenderDeviceTest;

class DeviceBuffersTest : public RenderDeviceTest {
 protected:
  void SetUp() override {
    RenderDeviceTest::SetUp();
    platform::testing::Direct3DSwitches switches;
    switches.reportShaderModel2 = true;
    platform::testing::SetDirect3DSwitches(switches);
    ASSERT_EQ(StartDevice(), 0);
    ASSERT_EQ(g_renderDevice.HardwareVertexProcessing, 1);
  }
  void TearDown() override {
    g_screenSettings.Initialised = 1;
    DeleteAllVertexBuffers();
    DeleteAllIndexBuffers();
    DeleteAllShaders();
    g_screenSettings.Initialised = 0;
    EXPECT_EQ(g_vertexBufferTable.usedCount + g_indexBufferTable.usedCount + g_shaderTable.usedCount, 0);
    ReleaseShaderPack();
    SetBuiltInShaderArchive(nullptr, 0);
    g_deviceStateCache.LibraryShadersInUse = 0;
    g_callerShaderConstants = CallerShaderConstants{};
    RenderDeviceTest::TearDown();
  }

  // The device object's bytes (the stand-in keeps them readable through a lock).
  template <typename Buffer>
  static std::vector<uint8_t> DeviceBytes(Buffer* buffer, size_t size) {
    void* data = nullptr;
    EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    buffer->Unlock();
    return bytes;
  }

  // Device loss and restart as graphics does it: objects released, the device made again, the
  // objects made again from the records.
  void RestartDevice() {
    platform::testing::LoseDevices();
    ReleaseAllDeviceResources();
    ReleaseDirect3D();
    platform::testing::RegainLostDevices();
    ASSERT_EQ(StartDevice(), 0);
    RecreateAllDeviceResources();
  }
};

std::vector<uint8_t> Pattern(size_t size, int seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  return bytes;
}

TEST_F(DeviceBuffersTest, WritesOutsideTheBufferAreRefusedAndChangeNothing) {
  const int handle = AddVertexBufferHandle(100);
  ASSERT_GE(handle, 0);
  VertexBufferRecord* record = GetVertexBufferRecord(handle);
  ASSERT_NE(record, nullptr);
  ASSERT_NE(record->Buffer, nullptr);
  const std::vector<uint8_t> data = Pattern(100 * kVertexBufferStride, 3);
  const struct {
    int start, count, result;
  } cases[] = {
      {95, 10, -1},     {-1, 1, -1},  {0, -1, -1}, {50, -60, -1}, {INT_MAX, 1, -1},
      {1, INT_MAX, -1}, {101, 0, -1}, {100, 0, 0}, {99, 1, 0},    {0, 100, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> before(record->KeptCopy, record->KeptCopy + data.size());
    EXPECT_EQ(SetVertexBufferData(c.start, data.data(), c.count, handle), c.result) << c.start << ", " << c.count;
    if (c.result != 0) {
      EXPECT_EQ(std::vector<uint8_t>(record->KeptCopy, record->KeptCopy + data.size()), before);
      EXPECT_EQ(DeviceBytes(record->Buffer, data.size()), before);
    }
  }
  EXPECT_EQ(SetVertexBufferData(0, data.data(), 1, handle + 1), -1) << "a stale check value";
  EXPECT_EQ(
      SetVertexBufferData(0, data.data(), 1,
                          MakeHandleWord(HandleSlotOf(handle), HandleCheckCountOf(handle), HANDLE_KIND_INDEX_BUFFER)),
      -1)
      << "another kind";
  EXPECT_EQ(std::vector<uint8_t>(record->KeptCopy, record->KeptCopy + data.size()), data);
  EXPECT_EQ(DeviceBytes(record->Buffer, data.size()), data);

  const int indices = AddIndexBufferHandle(10);
  const uint16_t values[4] = {1, 2, 3, 4};
  EXPECT_EQ(SetIndexBufferData(7, values, 4, indices), -1);
  EXPECT_EQ(SetIndexBufferData(6, values, 4, indices), 0);
  EXPECT_EQ(std::memcmp(GetIndexBufferRecord(indices)->KeptCopy + 12, values, sizeof values), 0);
}

TEST_F(DeviceBuffersTest, BuffersComeBackAfterDeviceLossWithTheirContents) {
  const int vertices = AddVertexBufferHandle(64);
  const int indices = AddIndexBufferHandle(300);
  const std::vector<uint8_t> vertexData = Pattern(64 * kVertexBufferStride, 1), indexData = Pattern(600, 9);
  ASSERT_EQ(SetVertexBufferData(0, vertexData.data(), 64, vertices), 0);
  ASSERT_EQ(SetIndexBufferData(0, indexData.data(), 300, indices), 0);
  RestartDevice();
  VertexBufferRecord* vertexRecord = GetVertexBufferRecord(vertices);
  IndexBufferRecord* indexRecord = GetIndexBufferRecord(indices);
  ASSERT_NE(vertexRecord->Buffer, nullptr);
  ASSERT_NE(indexRecord->Buffer, nullptr);
  EXPECT_EQ(DeviceBytes(vertexRecord->Buffer, vertexData.size()), vertexData);
  EXPECT_EQ(DeviceBytes(indexRecord->Buffer, indexData.size()), indexData);
  D3DVERTEXBUFFER_DESC vertexDescription;
  vertexRecord->Buffer->GetDesc(&vertexDescription);
  EXPECT_EQ(vertexDescription.FVF, kVertexBufferFvf);
  EXPECT_EQ(vertexDescription.Pool, static_cast<D3DPOOL>(D3DPOOL_DEFAULT));
  D3DINDEXBUFFER_DESC indexDescription;
  indexRecord->Buffer->GetDesc(&indexDescription);
  EXPECT_EQ(indexDescription.Format, static_cast<D3DFORMAT>(D3DFMT_INDEX16));
}

TEST_F(DeviceBuffersTest, WritesWithoutADeviceObjectReachItAtTheNextRecreation) {
  const int handle = AddVertexBufferHandle(8);
  VertexBufferRecord* record = GetVertexBufferRecord(handle);
  ReleaseAllDeviceResources();
  ASSERT_EQ(record->Buffer, nullptr);
  const std::vector<uint8_t> data = Pattern(8 * kVertexBufferStride, 5);
  EXPECT_EQ(SetVertexBufferData(0, data.data(), 8, handle), 0);
  RecreateAllDeviceResources();
  ASSERT_NE(record->Buffer, nullptr);
  EXPECT_EQ(DeviceBytes(record->Buffer, data.size()), data);
}

TEST_F(DeviceBuffersTest, SoftwareVertexProcessingKeepsOnlyTheCopies) {
  ReleaseDirect3D();
  platform::testing::ResetDirect3DSwitches();
  ASSERT_EQ(StartDevice(), 0);
  ASSERT_EQ(g_renderDevice.HardwareVertexProcessing, 0);
  const int handle = AddVertexBufferHandle(4);
  ASSERT_GE(handle, 0);
  EXPECT_EQ(GetVertexBufferRecord(handle)->Buffer, nullptr);
  EXPECT_EQ(RecreateVertexBufferObject(GetVertexBufferRecord(handle)), 0);
  const std::vector<uint8_t> data = Pattern(4 * kVertexBufferStride, 2);
  EXPECT_EQ(SetVertexBufferData(0, data.data(), 4, handle), 0);
  EXPECT_EQ(std::memcmp(GetVertexBufferRecord(handle)->KeptCopy, data.data(), data.size()), 0);
}

TEST_F(DeviceBuffersTest, DeletingTheTopSlotLowersTheHighWaterMark) {
  int handles[5];
  for (int& handle : handles) handle = AddVertexBufferHandle(1);
  ASSERT_EQ(g_vertexBufferTable.highWaterMark, 5);
  EXPECT_EQ(DeleteVertexBufferHandle(handles[2]), 0);
  EXPECT_EQ(DeleteVertexBufferHandle(handles[3]), 0);
  EXPECT_EQ(g_vertexBufferTable.highWaterMark, 5);
  EXPECT_EQ(DeleteVertexBufferHandle(handles[4]), 0);
  EXPECT_EQ(g_vertexBufferTable.highWaterMark, 2) << "one past the next used slot below";
  EXPECT_EQ(DeleteVertexBufferHandle(handles[4]), -1);
  EXPECT_EQ(DeleteVertexBufferHandle(-1), -1);
  EXPECT_EQ(DeleteVertexBufferHandle(MakeHandleWord(kVertexBufferTableSize, 0, HANDLE_KIND_VERTEX_BUFFER)), -1);

  EXPECT_EQ(DeleteAllVertexBuffers(), 0);
  EXPECT_EQ(g_vertexBufferTable.usedCount, 2) << "nothing is deleted while graphics is down";
  g_screenSettings.Initialised = 1;
  EXPECT_EQ(DeleteAllVertexBuffers(), 0);
  g_screenSettings.Initialised = 0;
  EXPECT_EQ(g_vertexBufferTable.usedCount, 0);
  EXPECT_EQ(g_vertexBufferTable.highWaterMark, 0);
}

// ---- Shaders and the shader pack ----

const uint32_t kVertexCode[] = {0xFFFE0200u, 0x0000FFFFu};
const uint32_t kPixelCode[] = {0xFFFF0200u, 0x0000FFFFu};

TEST_F(DeviceBuffersTest, ShaderHandlesFailCleanlyWithoutShaderModel2) {
  const int made = AddShaderHandle(1, kVertexCode, sizeof kVertexCode);
  ASSERT_GE(made, 0);
  EXPECT_NE(GetShaderRecord(made)->Shader, nullptr);
  EXPECT_EQ(AddShaderHandle(1, kVertexCode, 6), -1) << "part of a token";

  RestartDevice();
  EXPECT_NE(GetShaderRecord(made)->Shader, nullptr) << "made again from the kept code";

  platform::testing::ResetDirect3DSwitches();
  ReleaseAllDeviceResources();
  ReleaseDirect3D();
  ASSERT_EQ(StartDevice(), 0);
  RecreateAllDeviceResources();
  EXPECT_EQ(GetShaderRecord(made)->Shader, nullptr);
  const int pixel = AddShaderHandle(0, kPixelCode, sizeof kPixelCode);
  ASSERT_GE(pixel, 0);
  EXPECT_EQ(GetShaderRecord(pixel)->Shader, nullptr);

  // Graphics starts on the fixed-function path and draws.
  EXPECT_EQ(StartProgrammableShaders(), 0);
  EXPECT_EQ(AreLibraryShadersInUse(), 0);
  EXPECT_NE(ReadLog().find("プログラマブルシェーダーを使用しません\n"), std::string::npos);
  IDirect3DDevice9* device = g_renderDevice.Device;
  struct {
    float x, y, z, rhw;
    uint32_t diffuse;
  } triangle[3] = {{0, 0, 0, 1, 0xFF3366CCu}, {64, 0, 0, 1, 0xFF3366CCu}, {0, 64, 0, 1, 0xFF3366CCu}};
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof triangle[0]), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(g_renderDevice.BackBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(static_cast<const uint32_t*>(locked.pBits)[8] & 0xFFFFFF, 0x3366CCu) << "the fixed-function path draws";
  g_renderDevice.BackBuffer->UnlockRect();
}

// A pack with the given entries (index in the joined table -> code), the rest empty.
std::vector<uint8_t> MakeShaderPack(const std::vector<std::pair<int, std::vector<uint32_t>>>& entries) {
  std::vector<uint8_t> pack(kShaderPackHeaderSize);
  std::vector<uint8_t> codes;
  for (const auto& [index, code] : entries) {
    const int size = static_cast<int>(code.size() * 4);
    pack[2 * index] = static_cast<uint8_t>(size);
    pack[2 * index + 1] = static_cast<uint8_t>(size >> 8);
  }
  std::vector<std::pair<int, std::vector<uint32_t>>> ordered = entries;
  std::sort(ordered.begin(), ordered.end());
  for (const auto& entry : ordered)
    for (uint32_t word : entry.second)
      for (int b = 0; b < 4; ++b) pack.push_back(static_cast<uint8_t>(word >> (8 * b)));
  return pack;
}

// The pack as the program would carry it: a member of a scrambled archive, LZ-packed whole.
std::vector<uint8_t> MakeBuiltInImage(const std::vector<uint8_t>& pack, const char* name = "ZvShaderPack.bin") {
  ArchiveWriterItem root;
  root.isDirectory = true;
  ArchiveWriterItem file;
  file.name = name;
  file.data = pack;
  root.children.push_back(file);
  ArchiveWriterOptions options;
  options.compression = ArchiveCompression::Always;
  std::vector<unsigned char> archive;
  std::string error;
  EXPECT_TRUE(WriteArchive(root, options, &archive, &error)) << error;
  return PackArchiveLz(archive.data(), archive.size());
}

TEST_F(DeviceBuffersTest, SyntheticShaderPackFillsBothCodeTables) {
  const std::vector<uint32_t> second = {0xFFFE0200u, 1, 2, 0x0000FFFFu};
  const std::vector<uint8_t> pack = MakeShaderPack({{5, {kVertexCode[0], kVertexCode[1]}},
                                                    {kVertexShaderCodeCount - 1, second},
                                                    {kVertexShaderCodeCount + 3, {kPixelCode[0], kPixelCode[1]}}});
  const std::vector<uint8_t> image = MakeBuiltInImage(pack);
  EXPECT_EQ(UnpackShaderPack(), 0) << "this build carries no pack";
  SetBuiltInShaderArchive(image.data(), static_cast<int>(image.size()));
  ASSERT_EQ(UnpackShaderPack(), 1);
  EXPECT_EQ(UnpackShaderPack(), 1);
  const ShaderCodeTables& tables = g_shaderCodeTables;
  EXPECT_EQ(tables.VertexShaderCode[0], nullptr);
  ASSERT_NE(tables.VertexShaderCode[5], nullptr);
  EXPECT_EQ(tables.VertexShaderCode[5][0], kVertexCode[0]);
  ASSERT_NE(tables.VertexShaderCode[kVertexShaderCodeCount - 1], nullptr);
  EXPECT_EQ(tables.VertexShaderCode[kVertexShaderCodeCount - 1][2], 2u);
  EXPECT_EQ(tables.VertexShaderCode[kVertexShaderCodeCount - 1], tables.VertexShaderCode[5] + 2);
  ASSERT_NE(tables.PixelShaderCode[3], nullptr);
  EXPECT_EQ(tables.PixelShaderCode[3][0], kPixelCode[0]);
  EXPECT_EQ(std::count_if(std::begin(tables.PixelShaderCode), std::end(tables.PixelShaderCode),
                          [](const uint32_t* code) { return code != nullptr; }),
            1);

  // With shader model 2.0 the start-up makes the pack's first shaders and uses them.
  EXPECT_EQ(StartProgrammableShaders(), 0);
  EXPECT_EQ(AreLibraryShadersInUse(), 1);
  EXPECT_NE(tables.VertexShaders[5], nullptr);
  EXPECT_NE(tables.PixelShaders[3], nullptr);
  EXPECT_NE(ReadLog().find("プログラマブルシェーダーを使用します\n"), std::string::npos);
  ReleaseShaderTables();
  EXPECT_EQ(tables.VertexShaders[5], nullptr);
  g_deviceStateCache.LibraryShadersInUse = 0;
}

TEST_F(DeviceBuffersTest, CutOrLyingShaderPacksAreRefused) {
  const std::vector<uint8_t> good = MakeShaderPack({{0, {kVertexCode[0], kVertexCode[1]}}});
  std::vector<uint8_t> lying = good;
  lying[0] = 12;  // Claims 12 bytes where 8 follow.
  std::vector<uint8_t> odd = MakeShaderPack({{0, {kVertexCode[0], kVertexCode[1]}}});
  odd[0] = 6, odd[2] = 2;  // 6 + 2 bytes: the same total, cut mid-token.
  const struct {
    const char* what;
    std::vector<uint8_t> image;
    bool logged;  // The pack itself is damaged (rather than the archive around it).
  } cases[] = {
      {"header cut short", MakeBuiltInImage(std::vector<uint8_t>(good.begin(), good.begin() + 1000)), true},
      {"code cut short", MakeBuiltInImage(std::vector<uint8_t>(good.begin(), good.end() - 1)), true},
      {"sizes claim more", MakeBuiltInImage(lying), true},
      {"trailing bytes", MakeBuiltInImage([&] {
         auto longer = good;
         longer.push_back(0);
         return longer;
       }()),
       true},
      {"sizes cut tokens", MakeBuiltInImage(odd), true},
      {"no pack member", MakeBuiltInImage(good, "Other.bin"), false},
      {"image cut short",
       [&] {
         auto image = MakeBuiltInImage(good);
         image.resize(image.size() / 2);
         return image;
       }(),
       false},
      {"image not packed", std::vector<uint8_t>(64, 0xAB), false},
  };
  auto CountDamagedPackLines = [this] {
    const std::string log = ReadLog(), line = "シェーダーパックのサイズ表が中身と合いません\n";
    int count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    return count;
  };
  int logged = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetBuiltInShaderArchive(c.image.data(), static_cast<int>(c.image.size()));
    EXPECT_EQ(UnpackShaderPack(), 0);
    EXPECT_EQ(g_shaderCodeTables.VertexShaderCode[0], nullptr);
    const int lines = CountDamagedPackLines();
    EXPECT_EQ(lines, logged + (c.logged ? 1 : 0));
    logged = lines;
  }
  // A failed unpack leaves the library on the fixed-function path, and says why.
  EXPECT_EQ(StartProgrammableShaders(), 0);
  EXPECT_EQ(AreLibraryShadersInUse(), 0);
  EXPECT_NE(ReadLog().find("シェーダーコードを展開するメモリ領域の確保に失敗しました\n"), std::string::npos);
  SetBuiltInShaderArchive(nullptr, 0);
}

TEST_F(DeviceBuffersTest, LibraryConstantsAreSentOnceAndCallerRangesWhole) {
  g_deviceStateCache.LibraryShadersInUse = 1;
  CallerShaderConstants& caller = g_callerShaderConstants;
  caller.CallerSetSelected = 1;
  caller.Start[kVertexFloatConstants] = 4, caller.Count[kVertexFloatConstants] = 3;
  caller.Start[kPixelBoolConstants] = 2, caller.Count[kPixelBoolConstants] = 1;
  caller.Start[kPixelIntConstants] = 15, caller.Count[kPixelIntConstants] = 5;  // Past its shadow: not sent.
  platform::testing::RecordDeviceCalls(true);
  platform::testing::TakeRecordedDeviceCalls();
  EXPECT_EQ(SelectShaderConstantSet(0), 0);
  EXPECT_EQ(SelectShaderConstantSet(0), 0);
  EXPECT_EQ(SelectShaderConstantSet(1), 0);
  EXPECT_EQ(SelectShaderConstantSet(1), 0);
  // The library's own write brings its whole set back before it goes out.
  const float value[4] = {1, 2, 3, 4};
  EXPECT_EQ(SetVertexShaderConstants(9, value, 1), 0);
  const std::vector<std::string> calls = platform::testing::TakeRecordedDeviceCalls();
  platform::testing::RecordDeviceCalls(false);
  const std::vector<std::string> expected = {"SetVertexShaderConstantF(0,256)", "SetPixelShaderConstantF(0,32)",
                                             "SetVertexShaderConstantF(4,3)",   "SetPixelShaderConstantB(2,1)",
                                             "SetVertexShaderConstantF(0,256)", "SetPixelShaderConstantF(0,32)",
                                             "SetVertexShaderConstantF(9,1)"};
  EXPECT_EQ(calls, expected);
}

TEST_F(DeviceBuffersTest, TexCoordIndicesAreSentOnlyWhereTheyDiffer) {
  for (int stage = 0; stage < kStageCount; ++stage) g_deviceStateCache.Stages[stage].TexCoordIndex = stage;
  g_deviceStateCache.Stages[2].TexCoordIndex = 0;
  platform::testing::RecordDeviceCalls(true);
  platform::testing::TakeRecordedDeviceCalls();
  EXPECT_EQ(ResetTexCoordIndices(), 0);
  const std::vector<std::string> calls = platform::testing::TakeRecordedDeviceCalls();
  platform::testing::RecordDeviceCalls(false);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], "SetTextureStageState(2,11,2)");
}

}  // namespace
