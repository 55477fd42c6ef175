// Vertex-buffer, index-buffer and shader handles: records with kept copies, writes that reach the
// device object and the copy alike, deletion, and the device objects' release and re-creation
// around a device loss. The buffers' device objects exist only while the device processes
// vertices in hardware; without them writes land in the kept copy alone.
#include "graphics/device/device_buffers.h"

#include <cstring>

#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/screen_settings.h"
#include "zyvel/runtime.h"

namespace {
void* g_vertexBufferSlots[kVertexBufferTableSize];
void* g_indexBufferSlots[kIndexBufferTableSize];
void* g_shaderSlots[kShaderTableSize];
}  // namespace

HandleTable g_vertexBufferTable = {HANDLE_KIND_VERTEX_BUFFER, kVertexBufferTableSize, g_vertexBufferSlots, 0, 0, 0};
HandleTable g_indexBufferTable = {HANDLE_KIND_INDEX_BUFFER, kIndexBufferTableSize, g_indexBufferSlots, 0, 0, 0};
HandleTable g_shaderTable = {HANDLE_KIND_SHADER, kShaderTableSize, g_shaderSlots, 0, 0, 0};
CallerShaderConstants g_callerShaderConstants;

static_assert(offsetof(VertexBufferRecord, LostFlag) == offsetof(HandleRecordHeader, lostFlag) &&
                  offsetof(IndexBufferRecord, LostFlag) == offsetof(HandleRecordHeader, lostFlag) &&
                  offsetof(ShaderRecord, LostFlag) == offsetof(HandleRecordHeader, lostFlag),
              "buffer and shader records are handle records");

namespace {

IDirect3DDevice9* Device() { return g_renderDevice.Device; }

template <typename T>
void ReleaseAndClear(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// The largest buffer a record may describe: its byte size must stay an int.
constexpr int kMaxBufferBytes = 0x7FFFFFFF;

// The range rule of both data calls: 0 <= start, 0 <= count <= total - start (no sum that could
// overflow).
bool RangeFits(int start, int count, int total) {
  return start >= 0 && count >= 0 && start <= total && count <= total - start;
}

template <typename Record>
int DeleteAllOf(HandleTable* table, int (*remove)(int)) {
  if (!g_screenSettings.Initialised) return 0;
  for (int slot = table->highWaterMark - 1; slot >= 0; --slot) {
    auto* record = static_cast<Record*>(table->slots[slot]);
    if (record) remove(MakeHandleWord(slot, record->CheckValue, table->kind));
  }
  return 0;
}

}  // namespace

VertexBufferRecord* GetVertexBufferRecord(int handle) {
  return static_cast<VertexBufferRecord*>(GetHandleRecord(&g_vertexBufferTable, handle));
}
IndexBufferRecord* GetIndexBufferRecord(int handle) {
  return static_cast<IndexBufferRecord*>(GetHandleRecord(&g_indexBufferTable, handle));
}
ShaderRecord* GetShaderRecord(int handle) {
  return static_cast<ShaderRecord*>(GetHandleRecord(&g_shaderTable, handle));
}

// ---- Device objects ----

IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(int length, DWORD usage, DWORD fvf, D3DPOOL pool) {
  IDirect3DVertexBuffer9* buffer = nullptr;
  if (!Device() || length <= 0) return nullptr;
  if (FAILED(Device()->CreateVertexBuffer(static_cast<UINT>(length), usage, fvf, pool, &buffer, nullptr)))
    return nullptr;
  return buffer;
}

IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(int length, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
  IDirect3DIndexBuffer9* buffer = nullptr;
  if (!Device() || length <= 0) return nullptr;
  if (FAILED(Device()->CreateIndexBuffer(static_cast<UINT>(length), usage, format, pool, &buffer, nullptr)))
    return nullptr;
  return buffer;
}

int RecreateVertexBufferObject(VertexBufferRecord* record) {
  if (!record || !g_renderDevice.HardwareVertexProcessing) return 0;
  ReleaseAndClear(record->Buffer);
  // A non-zero format flag is read through a vertex declaration.
  const DWORD fvf = record->FormatFlag == 0 ? kVertexBufferFvf : 0;
  record->Buffer = CreateDeviceVertexBuffer(record->VertexCount * record->Stride, D3DUSAGE_WRITEONLY, fvf,
                                            D3DPOOL_DEFAULT);
  if (!record->Buffer) {
    AddLogText("頂点バッファの作成に失敗しました\n");
    return -1;
  }
  return SetVertexBufferData(0, record->KeptCopy, record->VertexCount, record->Handle);
}

int RecreateIndexBufferObject(IndexBufferRecord* record) {
  if (!record || !g_renderDevice.HardwareVertexProcessing) return 0;
  ReleaseAndClear(record->Buffer);
  const D3DFORMAT format = record->FormatFlag == 0 ? D3DFMT_INDEX16 : D3DFMT_INDEX32;
  record->Buffer = CreateDeviceIndexBuffer(record->IndexCount * record->IndexSize, D3DUSAGE_WRITEONLY, format,
                                           D3DPOOL_DEFAULT);
  if (!record->Buffer) {
    AddLogText("インデックスバッファの作成に失敗しました\n");
    return -1;
  }
  return SetIndexBufferData(0, record->KeptCopy, record->IndexCount, record->Handle);
}

int RecreateShaderObject(ShaderRecord* record) {
  if (!record || !Device()) return -1;
  ReleaseAndClear(record->Shader);
  HRESULT result;
  if (record->VertexShader) {
    IDirect3DVertexShader9* shader = nullptr;
    result = Device()->CreateVertexShader(reinterpret_cast<const DWORD*>(record->ByteCode), &shader);
    record->Shader = SUCCEEDED(result) ? shader : nullptr;
  } else {
    IDirect3DPixelShader9* shader = nullptr;
    result = Device()->CreatePixelShader(reinterpret_cast<const DWORD*>(record->ByteCode), &shader);
    record->Shader = SUCCEEDED(result) ? shader : nullptr;
  }
  return record->Shader ? 0 : -1;
}

int ReleaseBufferAndShaderObjects() {
  for (int slot = 0; slot < g_vertexBufferTable.highWaterMark; ++slot)
    if (auto* record = static_cast<VertexBufferRecord*>(g_vertexBufferTable.slots[slot]))
      ReleaseAndClear(record->Buffer);
  for (int slot = 0; slot < g_indexBufferTable.highWaterMark; ++slot)
    if (auto* record = static_cast<IndexBufferRecord*>(g_indexBufferTable.slots[slot])) ReleaseAndClear(record->Buffer);
  for (int slot = 0; slot < g_shaderTable.highWaterMark; ++slot)
    if (auto* record = static_cast<ShaderRecord*>(g_shaderTable.slots[slot])) ReleaseAndClear(record->Shader);
  return 0;
}

int RecreateBufferAndShaderObjects() {
  // A failure leaves that record without an object; its later writes go to the kept copy only.
  for (int slot = 0; slot < g_vertexBufferTable.highWaterMark; ++slot)
    if (auto* record = static_cast<VertexBufferRecord*>(g_vertexBufferTable.slots[slot]))
      RecreateVertexBufferObject(record);
  for (int slot = 0; slot < g_indexBufferTable.highWaterMark; ++slot)
    if (auto* record = static_cast<IndexBufferRecord*>(g_indexBufferTable.slots[slot]))
      RecreateIndexBufferObject(record);
  for (int slot = 0; slot < g_shaderTable.highWaterMark; ++slot)
    if (auto* record = static_cast<ShaderRecord*>(g_shaderTable.slots[slot])) RecreateShaderObject(record);
  return 0;
}

// ---- Contents ----

int SetVertexBufferData(int start, const void* data, int count, int handle) {
  VertexBufferRecord* record = GetVertexBufferRecord(handle);
  if (!record || !RangeFits(start, count, record->VertexCount) || (count > 0 && !data)) return -1;
  const size_t offset = static_cast<size_t>(start) * static_cast<size_t>(record->Stride);
  const size_t size = static_cast<size_t>(count) * static_cast<size_t>(record->Stride);
  if (record->Buffer) {
    void* locked = nullptr;
    if (FAILED(record->Buffer->Lock(static_cast<UINT>(offset), static_cast<UINT>(size), &locked, 0))) {
      AddLogText("頂点バッファのロックに失敗しました\n");
      return -1;
    }
    if (size) std::memcpy(locked, data, size);
    record->Buffer->Unlock();
  }
  // The kept copy may be the source itself when the object is made again.
  if (size && record->KeptCopy + offset != data) std::memcpy(record->KeptCopy + offset, data, size);
  return 0;
}

int SetIndexBufferData(int start, const void* data, int count, int handle) {
  IndexBufferRecord* record = GetIndexBufferRecord(handle);
  if (!record || !RangeFits(start, count, record->IndexCount) || (count > 0 && !data)) return -1;
  const size_t offset = static_cast<size_t>(start) * static_cast<size_t>(record->IndexSize);
  const size_t size = static_cast<size_t>(count) * static_cast<size_t>(record->IndexSize);
  if (record->Buffer) {
    void* locked = nullptr;
    if (FAILED(record->Buffer->Lock(static_cast<UINT>(offset), static_cast<UINT>(size), &locked, 0))) {
      AddLogText("インデックスバッファのロックに失敗しました\n");
      return -1;
    }
    if (size) std::memcpy(locked, data, size);
    record->Buffer->Unlock();
  }
  if (size && record->KeptCopy + offset != data) std::memcpy(record->KeptCopy + offset, data, size);
  return 0;
}

// ---- Creation ----

int AddVertexBufferHandle(int vertexCount) {
  if (vertexCount < 1 || vertexCount > kMaxBufferBytes / kVertexBufferStride) return -1;
  auto* copy = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(vertexCount * kVertexBufferStride));
  if (!copy) return -1;
  void* made = nullptr;
  const int handle = AddHandleRecord(&g_vertexBufferTable, sizeof(VertexBufferRecord), &made);
  if (handle < 0) {
    ZV_FREE(copy);
    return -1;
  }
  auto* record = static_cast<VertexBufferRecord*>(made);
  record->Stride = kVertexBufferStride;
  record->VertexCount = vertexCount;
  record->KeptCopy = copy;
  RecreateVertexBufferObject(record);
  return handle;
}

int AddIndexBufferHandle(int indexCount) {
  if (indexCount < 1 || indexCount > kMaxBufferBytes / 2) return -1;
  auto* copy = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(indexCount * 2));
  if (!copy) return -1;
  void* made = nullptr;
  const int handle = AddHandleRecord(&g_indexBufferTable, sizeof(IndexBufferRecord), &made);
  if (handle < 0) {
    ZV_FREE(copy);
    return -1;
  }
  auto* record = static_cast<IndexBufferRecord*>(made);
  record->IndexSize = 2;
  record->IndexCount = indexCount;
  record->KeptCopy = copy;
  RecreateIndexBufferObject(record);
  return handle;
}

int AddShaderHandle(int vertexShader, const void* byteCode, int size) {
  if (!byteCode || size < 4 || size % 4 != 0) return -1;
  auto* code = static_cast<uint32_t*>(ZV_ALLOC(size));
  if (!code) return -1;
  std::memcpy(code, byteCode, static_cast<size_t>(size));
  void* made = nullptr;
  const int handle = AddHandleRecord(&g_shaderTable, sizeof(ShaderRecord), &made);
  if (handle < 0) {
    ZV_FREE(code);
    return -1;
  }
  auto* record = static_cast<ShaderRecord*>(made);
  record->VertexShader = vertexShader ? 1 : 0;
  record->ByteCode = code;
  record->ByteCodeSize = size;
  if (Device()) RecreateShaderObject(record);
  return handle;
}

// ---- Deletion ----

int DeleteVertexBufferHandle(int handle) {
  VertexBufferRecord* record = GetVertexBufferRecord(handle);
  if (!record) return -1;
  ReleaseAndClear(record->Buffer);
  ZV_FREE(record->KeptCopy);
  return DeleteHandleRecord(&g_vertexBufferTable, handle);
}

int DeleteIndexBufferHandle(int handle) {
  IndexBufferRecord* record = GetIndexBufferRecord(handle);
  if (!record) return -1;
  ReleaseAndClear(record->Buffer);
  ZV_FREE(record->KeptCopy);
  return DeleteHandleRecord(&g_indexBufferTable, handle);
}

int DeleteShaderHandle(int handle) {
  ShaderRecord* record = GetShaderRecord(handle);
  if (!record) return -1;
  ReleaseAndClear(record->Shader);
  ZV_FREE(record->ByteCode);
  return DeleteHandleRecord(&g_shaderTable, handle);
}

int DeleteAllVertexBuffers() { return DeleteAllOf<VertexBufferRecord>(&g_vertexBufferTable, DeleteVertexBufferHandle); }
int DeleteAllIndexBuffers() { return DeleteAllOf<IndexBufferRecord>(&g_indexBufferTable, DeleteIndexBufferHandle); }
int DeleteAllShaders() { return DeleteAllOf<ShaderRecord>(&g_shaderTable, DeleteShaderHandle); }

// ---- Shader constants and stage indices ----

int SelectShaderConstantSet(int userFlag) {
  CallerShaderConstants& caller = g_callerShaderConstants;
  const int wanted = userFlag ? 1 : 0;
  if (!Device() || !g_deviceStateCache.LibraryShadersInUse || caller.CallerSetSelected == wanted) return 0;
  IDirect3DDevice9* device = Device();
  if (wanted) {
    const int* start = caller.Start;
    const int* count = caller.Count;
    auto at = [&](ShaderConstantRange range) { return static_cast<UINT>(start[range]); };
    auto many = [&](ShaderConstantRange range) { return static_cast<UINT>(count[range]); };
    // A range is sent only when it is not empty and lies inside its shadow.
    static const int kRegisters[kShaderConstantRangeCount] = {256, 16, 16, 224, 16, 16};
    int sendable[kShaderConstantRangeCount];
    for (int range = 0; range < kShaderConstantRangeCount; ++range)
      sendable[range] = count[range] > 0 && RangeFits(start[range], count[range], kRegisters[range]) ? count[range] : 0;
    count = sendable;
    if (count[kVertexFloatConstants])
      device->SetVertexShaderConstantF(at(kVertexFloatConstants), caller.VertexFloat[start[kVertexFloatConstants]],
                                       many(kVertexFloatConstants));
    if (count[kVertexIntConstants])
      device->SetVertexShaderConstantI(at(kVertexIntConstants), caller.VertexInt[start[kVertexIntConstants]],
                                       many(kVertexIntConstants));
    if (count[kVertexBoolConstants])
      device->SetVertexShaderConstantB(at(kVertexBoolConstants), &caller.VertexBool[start[kVertexBoolConstants]],
                                       many(kVertexBoolConstants));
    if (count[kPixelFloatConstants])
      device->SetPixelShaderConstantF(at(kPixelFloatConstants), caller.PixelFloat[start[kPixelFloatConstants]],
                                      many(kPixelFloatConstants));
    if (count[kPixelIntConstants])
      device->SetPixelShaderConstantI(at(kPixelIntConstants), caller.PixelInt[start[kPixelIntConstants]],
                                      many(kPixelIntConstants));
    if (count[kPixelBoolConstants])
      device->SetPixelShaderConstantB(at(kPixelBoolConstants), &caller.PixelBool[start[kPixelBoolConstants]],
                                      many(kPixelBoolConstants));
  } else {
    device->SetVertexShaderConstantF(0, &g_deviceStateCache.VertexConstants[0][0], kVertexConstantCount);
    device->SetPixelShaderConstantF(0, &g_deviceStateCache.PixelConstants[0][0], kPixelConstantCount);
  }
  caller.CallerSetSelected = wanted;
  return 0;
}

int ResetTexCoordIndices() {
  IDirect3DDevice9* device = Device();
  if (!device) return 0;
  DeviceStateCache& cache = g_deviceStateCache;
  for (int stage = 0; stage < kStageCount; ++stage) {
    if (cache.Stages[stage].TexCoordIndex == stage && !cache.ForceApply) continue;
    FlushVertexBatch();
    cache.Stages[stage].TexCoordIndex = stage;
    device->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_TEXCOORDINDEX, static_cast<DWORD>(stage));
  }
  return 0;
}
