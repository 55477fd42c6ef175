// Model buffers: the model tables, packing a base's meshes into grouped vertex and index buffers,
// the instances' dynamic buffers, and their release around a device re-creation.
//
// Vertex layout of a group (offsets in bytes; the model vertex declarations read the same):
// position (float3), blend indices (UBYTE4 per set), blend weights (float4 per set), normal
// (float3), with tangents the tangent and binormal (float3 each), diffuse and specular (D3DCOLOR),
// then one float4 per texture-coordinate set. So the stride is 32 + 20 x skin + 24 x tangents
// + 16 x sets: 32 + 16n for an unskinned group without tangents, which the FVF 0xD2 with
// TEXCOORDSIZE4 sets describes too.
#include "graphics/models/model_buffers.h"

#include <cmath>
#include <cstring>

#include "graphics/device/device_buffers.h"
#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/screen_services.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"

ModelSystem g_modelSystem;

namespace {

ModelBase* const kModelReservedSlot = reinterpret_cast<ModelBase*>(static_cast<uintptr_t>(1));

bool IsLiveBase(const ModelBase* base) { return base && base != kModelReservedSlot; }

template <typename T>
void ReleaseAndClear(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

bool LibraryShadersInUse() { return g_deviceStateCache.LibraryShadersInUse != 0; }

// Buffers are built only where the device processes vertices in hardware (its buffers live in
// the default pool) and the model system runs.
bool CanBuildBuffers() {
  return g_modelSystem.Initialised && g_renderDevice.Device && g_renderDevice.HardwareVertexProcessing;
}

template <typename T>
T* CopyArray(const T* source, size_t count, bool* failed) {
  if (!source || count == 0) return nullptr;
  auto* copy = static_cast<T*>(ZV_ALLOC(static_cast<int>(count * sizeof(T))));
  if (!copy) {
    *failed = true;
    return nullptr;
  }
  std::memcpy(copy, source, count * sizeof(T));
  return copy;
}

void FreeMeshSource(ModelMeshSource* source) {
  ZV_FREE(const_cast<float*>(source->Positions));
  ZV_FREE(const_cast<float*>(source->Normals));
  ZV_FREE(const_cast<float*>(source->TangentVectors));
  ZV_FREE(const_cast<float*>(source->BinormalVectors));
  ZV_FREE(const_cast<uint32_t*>(source->Diffuse));
  ZV_FREE(const_cast<uint32_t*>(source->Specular));
  ZV_FREE(const_cast<uint8_t*>(source->BlendIndices));
  ZV_FREE(const_cast<float*>(source->BlendWeights));
  for (const float*& set : source->TexCoords) ZV_FREE(const_cast<float*>(set));
  ZV_FREE(const_cast<uint16_t*>(source->Indices));
  *source = ModelMeshSource{};
}

bool ValidMeshSource(const ModelMeshSource& mesh) {
  if (mesh.SkinKind < 0 || mesh.SkinKind >= kModelSkinKinds || (mesh.Tangents != 0 && mesh.Tangents != 1) ||
      mesh.TexCoordCount < 0 || mesh.TexCoordCount > kModelTexCoordSetLimit || mesh.VertexCount < 0 ||
      mesh.IndexCount < 0 || (mesh.VertexCount > 0 && !mesh.Positions) || (mesh.IndexCount > 0 && !mesh.Indices))
    return false;
  // A mesh's bytes must fit an int, as every buffer length does.
  if (static_cast<int64_t>(mesh.VertexCount) * ModelVertexStride(mesh.SkinKind, mesh.Tangents, mesh.TexCoordCount) >
      0x7FFFFFFF)
    return false;
  for (int set = 0; set < mesh.TexCoordCount; ++set)
    if (mesh.TexCoords[set] && (mesh.TexCoordComponents[set] < 1 || mesh.TexCoordComponents[set] > 4)) return false;
  for (int i = 0; i < mesh.IndexCount; ++i)
    if (mesh.Indices[i] >= mesh.VertexCount) return false;
  return true;
}

bool CopyMeshSource(const ModelMeshSource& from, ModelMeshSource* to) {
  const size_t n = static_cast<size_t>(from.VertexCount);
  bool failed = false;
  *to = from;
  to->Positions = CopyArray(from.Positions, 3 * n, &failed);
  to->Normals = CopyArray(from.Normals, 3 * n, &failed);
  to->TangentVectors = from.Tangents ? CopyArray(from.TangentVectors, 3 * n, &failed) : nullptr;
  to->BinormalVectors = from.Tangents ? CopyArray(from.BinormalVectors, 3 * n, &failed) : nullptr;
  to->Diffuse = CopyArray(from.Diffuse, n, &failed);
  to->Specular = CopyArray(from.Specular, n, &failed);
  to->BlendIndices = CopyArray(from.BlendIndices, 4 * n * from.SkinKind, &failed);
  to->BlendWeights = CopyArray(from.BlendWeights, 4 * n * from.SkinKind, &failed);
  for (int set = 0; set < kModelTexCoordSetLimit; ++set)
    to->TexCoords[set] = set < from.TexCoordCount
                             ? CopyArray(from.TexCoords[set], n * static_cast<size_t>(from.TexCoordComponents[set]),
                                         &failed)
                             : nullptr;
  to->Indices = CopyArray(from.Indices, static_cast<size_t>(from.IndexCount), &failed);
  if (failed) FreeMeshSource(to);
  return !failed;
}

void WriteFloats(uint8_t* out, const float* values, int count) {
  if (values)
    std::memcpy(out, values, sizeof(float) * static_cast<size_t>(count));
  else
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(count));
}

// One vertex of `mesh` in its group's layout.
void WriteModelVertex(const ModelMeshSource& mesh, int vertex, uint8_t* out) {
  const size_t v = static_cast<size_t>(vertex);
  const int skin = mesh.SkinKind;
  WriteFloats(out, mesh.Positions + 3 * v, 3);
  out += 12;
  if (skin > 0) {
    if (mesh.BlendIndices)
      std::memcpy(out, mesh.BlendIndices + 4 * skin * v, 4 * static_cast<size_t>(skin));
    else
      std::memset(out, 0, 4 * static_cast<size_t>(skin));
    out += 4 * skin;
    WriteFloats(out, mesh.BlendWeights ? mesh.BlendWeights + 4 * skin * v : nullptr, 4 * skin);
    out += 16 * skin;
  }
  WriteFloats(out, mesh.Normals ? mesh.Normals + 3 * v : nullptr, 3);
  out += 12;
  if (mesh.Tangents) {
    WriteFloats(out, mesh.TangentVectors ? mesh.TangentVectors + 3 * v : nullptr, 3);
    WriteFloats(out + 12, mesh.BinormalVectors ? mesh.BinormalVectors + 3 * v : nullptr, 3);
    out += 24;
  }
  const uint32_t colors[2] = {mesh.Diffuse ? mesh.Diffuse[v] : 0xFFFFFFFFu, mesh.Specular ? mesh.Specular[v] : 0u};
  std::memcpy(out, colors, sizeof colors);
  out += 8;
  for (int set = 0; set < mesh.TexCoordCount; ++set, out += 16) {
    float coordinates[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (const float* source = mesh.TexCoords[set]) {
      const int components = mesh.TexCoordComponents[set];
      std::memcpy(coordinates, source + static_cast<size_t>(components) * v,
                  sizeof(float) * static_cast<size_t>(components));
    }
    std::memcpy(out, coordinates, sizeof coordinates);
  }
}

bool GroupIsBuilt(int skinKind, int tangents) { return LibraryShadersInUse() || (skinKind == 0 && tangents == 0); }

ModelBufferGroup* NewGroupRecord(ModelBase* base, int group, ModelBufferGroup* after) {
  auto* record = static_cast<ModelBufferGroup*>(ZV_ALLOC_ZEROED(sizeof(ModelBufferGroup)));
  if (!record) return nullptr;
  record->Previous = after;
  if (after)
    after->Next = record;
  else
    base->Groups[group] = record;
  ++base->GroupRecordCounts[group];
  return record;
}

void FreeGroupRecord(ModelBase* base, int group, ModelBufferGroup* record) {
  if (record->LockedVertices) record->VertexBuffer->Unlock();
  if (record->LockedIndices) record->IndexBuffer->Unlock();
  ReleaseAndClear(record->VertexBuffer);
  ReleaseAndClear(record->IndexBuffer);
  if (record->Previous)
    record->Previous->Next = record->Next;
  else
    base->Groups[group] = record->Next;
  if (record->Next) record->Next->Previous = record->Previous;
  --base->GroupRecordCounts[group];
  ZV_FREE(record);
}

void FreeBaseGroups(ModelBase* base) {
  for (int group = 0; group < kModelBufferGroupCount; ++group)
    while (base->Groups[group]) FreeGroupRecord(base, group, base->Groups[group]);
  for (int i = 0; i < base->MeshCount; ++i) {
    base->Meshes[i].Group = nullptr;
    base->Meshes[i].FirstVertex = base->Meshes[i].FirstIndex = 0;
  }
}

template <typename Visit>
void ForEachInstanceOf(int baseSlot, Visit visit) {
  const HandleTable& table = g_modelSystem.Instances;
  for (int slot = 0; slot < table.highWaterMark; ++slot) {
    auto* instance = static_cast<ModelInstance*>(table.slots[slot]);
    if (instance && (baseSlot < 0 || instance->Base == baseSlot)) visit(instance);
  }
}

void FreeTextures(ModelTexture* textures, int count, bool deleteGraphs) {
  if (deleteGraphs)
    for (int i = 0; i < count; ++i)
      if (textures[i].Graph >= 0) DeleteGraphHandle(textures[i].Graph);
  ZV_FREE(textures);
}

ModelTexture* CopyTextures(const ModelTexture* textures, int count, bool* failed) {
  return CopyArray(textures, static_cast<size_t>(count), failed);
}

}  // namespace

int ModelBufferGroupIndex(int skinKind, int tangents, int texCoordCount) {
  return (skinKind * 2 + tangents) * (kModelTexCoordSetLimit + 1) + texCoordCount;
}

int ModelVertexStride(int skinKind, int tangents, int texCoordCount) {
  return 32 + 20 * skinKind + 24 * tangents + 16 * texCoordCount;
}

DWORD ModelVertexFvf(int skinKind, int tangents, int texCoordCount) {
  if (skinKind != 0 || tangents != 0) return 0;
  DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
              (static_cast<DWORD>(texCoordCount) << D3DFVF_TEXCOUNT_SHIFT);
  for (int set = 0; set < texCoordCount; ++set) fvf |= D3DFVF_TEXCOORDSIZE4(set);
  return fvf;
}

// ---- The system ----

int InitModelSystem() {
  ModelSystem& system = g_modelSystem;
  if (system.Initialised || !g_screenSettings.HardwareInUse) return 0;
  system = ModelSystem{};
  system.Bases = static_cast<ModelBase**>(ZV_ALLOC_ZEROED(static_cast<int>(sizeof(ModelBase*)) * kModelBaseTableSize));
  auto** instanceSlots =
      static_cast<void**>(ZV_ALLOC_ZEROED(static_cast<int>(sizeof(void*)) * kModelInstanceTableSize));
  system.SineTable = static_cast<float*>(ZV_ALLOC(static_cast<int>(sizeof(float)) * kModelSineTableSize));
  if (!system.Bases || !instanceSlots || !system.SineTable) {
    ZV_FREE(system.Bases);
    ZV_FREE(instanceSlots);
    ZV_FREE(system.SineTable);
    system = ModelSystem{};
    return 0;
  }
  for (int i = 0; i < kModelSineTableSize; ++i)
    system.SineTable[i] = std::sin(static_cast<float>(i) * 2.0f * 3.1415927f / 65536.0f);
  system.BaseTableSize = kModelBaseTableSize;
  system.InstanceTableSize = kModelInstanceTableSize;
  system.Instances = {HANDLE_KIND_MODEL, kModelInstanceTableSize, instanceSlots, 0, 0, 0};
  system.Constant = 1.5620697f;
  system.FixedGraphs[0] = system.FixedGraphs[1] = system.RampGraph = -1;
  system.Initialised = 1;
  return 0;
}

int TerminateModelSystem() {
  ModelSystem& system = g_modelSystem;
  if (!system.Initialised) return 0;
  for (int slot = 0; slot < system.Instances.highWaterMark; ++slot)
    if (auto* instance = static_cast<ModelInstance*>(system.Instances.slots[slot]))
      DeleteModelInstance(instance->Handle);
  for (int slot = 0; slot < system.BaseTableSize; ++slot) {
    // Deleting drops one reference; a base held more than once goes all the same.
    while (IsLiveBase(system.Bases[slot])) DeleteModelBase(slot);
  }
  ZV_FREE(system.Bases);
  ZV_FREE(system.Instances.slots);
  ZV_FREE(system.SineTable);
  system = ModelSystem{};
  return 0;
}

ModelBase* GetModelBase(int base) {
  const ModelSystem& system = g_modelSystem;
  if (!system.Initialised || base < 0 || base >= system.BaseTableSize) return nullptr;
  ModelBase* record = system.Bases[base];
  return IsLiveBase(record) ? record : nullptr;
}

ModelInstance* GetModelInstance(int handle) {
  if (!g_modelSystem.Initialised) return nullptr;
  return static_cast<ModelInstance*>(GetHandleRecord(&g_modelSystem.Instances, handle));
}

int AddModelBase(const ModelMeshSource* meshes, int meshCount, const ModelTexture* textures, int textureCount) {
  ModelSystem& system = g_modelSystem;
  if (!system.Initialised || meshCount < 0 || textureCount < 0 || (meshCount > 0 && !meshes) ||
      (textureCount > 0 && !textures))
    return -1;
  for (int i = 0; i < meshCount; ++i)
    if (!ValidMeshSource(meshes[i])) return -1;
  int slot = 0;
  while (slot < system.BaseTableSize && system.Bases[slot]) ++slot;
  if (slot == system.BaseTableSize) return -1;
  auto* base = static_cast<ModelBase*>(ZV_ALLOC_ZEROED(sizeof(ModelBase)));
  if (!base) return -1;
  bool failed = false;
  base->Meshes = meshCount ? static_cast<ModelMesh*>(ZV_ALLOC_ZEROED(static_cast<int>(sizeof(ModelMesh)) * meshCount))
                           : nullptr;
  failed = meshCount > 0 && !base->Meshes;
  for (int i = 0; i < meshCount && !failed; ++i) {
    failed = !CopyMeshSource(meshes[i], &base->Meshes[i].Source);
    if (!failed) base->MeshCount = i + 1;
  }
  base->Textures = failed ? nullptr : CopyTextures(textures, textureCount, &failed);
  if (failed) {
    for (int i = 0; i < base->MeshCount; ++i) FreeMeshSource(&base->Meshes[i].Source);
    ZV_FREE(base->Meshes);
    ZV_FREE(base);
    return -1;
  }
  base->TextureCount = textureCount;
  base->RefCount = 1;
  system.Bases[slot] = base;
  ++system.BaseCount;
  return slot;
}

int AddModelInstance(int baseSlot) {
  ModelBase* base = GetModelBase(baseSlot);
  if (!base) return -1;
  auto** buffers = base->MeshCount ? static_cast<IDirect3DVertexBuffer9**>(ZV_ALLOC_ZEROED(
                                         static_cast<int>(sizeof(IDirect3DVertexBuffer9*)) * base->MeshCount))
                                   : nullptr;
  if (base->MeshCount && !buffers) return -1;
  void* made = nullptr;
  const int handle = AddHandleRecord(&g_modelSystem.Instances, sizeof(ModelInstance), &made);
  if (handle < 0) {
    ZV_FREE(buffers);
    return -1;
  }
  auto* instance = static_cast<ModelInstance*>(made);
  instance->Base = baseSlot;
  instance->MeshBuffers = buffers;
  ++base->RefCount;
  if (base->Built) CreateInstanceDynamicBuffers(handle);
  return handle;
}

// ---- Building ----

int BuildModelBaseBuffers(int baseSlot) {
  ModelBase* base = GetModelBase(baseSlot);
  if (!base) return -1;
  if (!CanBuildBuffers() || base->Built) return 0;

  // 1. Every buildable mesh joins its group's current record, or a new one past the limits.
  ModelBufferGroup* current[kModelBufferGroupCount] = {};
  for (int i = 0; i < base->MeshCount; ++i) {
    ModelMesh& mesh = base->Meshes[i];
    const ModelMeshSource& source = mesh.Source;
    if (!GroupIsBuilt(source.SkinKind, source.Tangents)) continue;
    const int group = ModelBufferGroupIndex(source.SkinKind, source.Tangents, source.TexCoordCount);
    ModelBufferGroup* record = current[group];
    if (!record || (record->VertexCount > 0 && (record->VertexCount + source.VertexCount > kModelGroupVertexLimit ||
                                                record->IndexCount + source.IndexCount > kModelGroupIndexLimit))) {
      record = NewGroupRecord(base, group, record);
      if (!record) {
        FreeBaseGroups(base);
        return -1;
      }
      record->VertexStride = ModelVertexStride(source.SkinKind, source.Tangents, source.TexCoordCount);
      record->Fvf = ModelVertexFvf(source.SkinKind, source.Tangents, source.TexCoordCount);
      current[group] = record;
    }
    mesh.Group = record;
    mesh.FirstVertex = record->VertexCount;
    mesh.FirstIndex = record->IndexCount;
    record->VertexCount += source.VertexCount;
    record->IndexCount += source.IndexCount;
  }

  // 2. Buffers for every record that holds vertices, locked whole.
  bool failed = false;
  for (int group = 0; group < kModelBufferGroupCount && !failed; ++group)
    for (ModelBufferGroup* record = base->Groups[group]; record && !failed; record = record->Next) {
      if (record->VertexCount == 0) continue;
      const int64_t vertexBytes = static_cast<int64_t>(record->VertexCount) * record->VertexStride;
      if (vertexBytes > 0x7FFFFFFF) {
        failed = true;
        break;
      }
      record->VertexBuffer = CreateDeviceVertexBuffer(static_cast<int>(vertexBytes), D3DUSAGE_WRITEONLY, record->Fvf,
                                                      D3DPOOL_DEFAULT);
      void* vertices = nullptr;
      failed = !record->VertexBuffer || FAILED(record->VertexBuffer->Lock(0, 0, &vertices, 0));
      if (failed) break;
      record->LockedVertices = static_cast<uint8_t*>(vertices);
      if (record->IndexCount == 0) continue;
      record->IndexBuffer = CreateDeviceIndexBuffer(record->IndexCount * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                    D3DPOOL_DEFAULT);
      void* indices = nullptr;
      failed = !record->IndexBuffer || FAILED(record->IndexBuffer->Lock(0, 0, &indices, 0));
      if (!failed) record->LockedIndices = static_cast<uint16_t*>(indices);
    }
  if (failed) {
    FreeBaseGroups(base);
    return -1;
  }

  // 3. The meshes' vertices and indices.
  for (int i = 0; i < base->MeshCount; ++i) {
    const ModelMesh& mesh = base->Meshes[i];
    if (!mesh.Group) continue;
    ModelBufferGroup& record = *mesh.Group;
    for (int v = 0; v < mesh.Source.VertexCount; ++v)
      WriteModelVertex(
          mesh.Source, v,
          record.LockedVertices + static_cast<size_t>(mesh.FirstVertex + v) * static_cast<size_t>(record.VertexStride));
    if (mesh.Source.IndexCount)
      std::memcpy(record.LockedIndices + mesh.FirstIndex, mesh.Source.Indices,
                  sizeof(uint16_t) * static_cast<size_t>(mesh.Source.IndexCount));
  }

  // 4. Empty records go; the others are unlocked.
  for (int group = 0; group < kModelBufferGroupCount; ++group)
    for (ModelBufferGroup* record = base->Groups[group]; record;) {
      ModelBufferGroup* next = record->Next;
      if (record->VertexCount == 0) {
        FreeGroupRecord(base, group, record);
      } else {
        record->VertexBuffer->Unlock();
        record->LockedVertices = nullptr;
        if (record->LockedIndices) record->IndexBuffer->Unlock();
        record->LockedIndices = nullptr;
      }
      record = next;
    }
  base->Built = 1;

  // 5. The instances' own buffers.
  ForEachInstanceOf(baseSlot, [](ModelInstance* instance) { CreateInstanceDynamicBuffers(instance->Handle); });
  return 0;
}

int RebuildAllModelBuffers() {
  ModelSystem& system = g_modelSystem;
  if (!system.Initialised) return 0;
  for (int slot = 0; slot < system.BaseTableSize; ++slot)
    if (IsLiveBase(system.Bases[slot])) BuildModelBaseBuffers(slot);
  return 0;
}

int CreateInstanceDynamicBuffers(int handle) {
  ModelInstance* instance = GetModelInstance(handle);
  ModelBase* base = instance ? GetModelBase(instance->Base) : nullptr;
  if (!base) return -1;
  if (!g_renderDevice.Device || !(g_renderDevice.HardwareVertexProcessing || LibraryShadersInUse())) return 0;
  for (int i = 0; i < base->MeshCount; ++i) {
    const ModelMeshSource& source = base->Meshes[i].Source;
    if (!source.DynamicVertices || source.VertexCount == 0 || instance->MeshBuffers[i]) continue;
    const int stride = ModelVertexStride(source.SkinKind, source.Tangents, source.TexCoordCount);
    instance->MeshBuffers[i] = CreateDeviceVertexBuffer(
        source.VertexCount * stride, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
        ModelVertexFvf(source.SkinKind, source.Tangents, source.TexCoordCount), D3DPOOL_DEFAULT);
    if (!instance->MeshBuffers[i]) return -1;
  }
  instance->VertexRefresh = 1;
  return 0;
}

// ---- Release and deletion ----

int ReleaseInstanceBuffers(int handle) {
  ModelInstance* instance = GetModelInstance(handle);
  ModelBase* base = instance ? GetModelBase(instance->Base) : nullptr;
  if (!base) return -1;
  for (int i = 0; i < base->MeshCount; ++i) ReleaseAndClear(instance->MeshBuffers[i]);
  return 0;
}

int ReleaseModelBaseBuffers(int baseSlot) {
  ModelBase* base = GetModelBase(baseSlot);
  if (!base) return -1;
  if (!base->Built) return 0;
  FreeBaseGroups(base);
  base->Built = 0;
  ForEachInstanceOf(baseSlot, [](ModelInstance* instance) { ReleaseInstanceBuffers(instance->Handle); });
  return 0;
}

int ReleaseAllModelBuffers() {
  ModelSystem& system = g_modelSystem;
  if (!system.Initialised) return 0;
  for (int slot = 0; slot < system.BaseTableSize; ++slot)
    if (IsLiveBase(system.Bases[slot])) ReleaseModelBaseBuffers(slot);
  ForEachInstanceOf(-1, [](ModelInstance* instance) { ReleaseInstanceBuffers(instance->Handle); });
  return 0;
}

int DeleteModelBase(int baseSlot) {
  ModelBase* base = GetModelBase(baseSlot);
  if (!base) return -1;
  if (--base->RefCount > 0) return 0;
  ReleaseModelBaseBuffers(baseSlot);
  for (int i = 0; i < base->MeshCount; ++i) FreeMeshSource(&base->Meshes[i].Source);
  ZV_FREE(base->Meshes);
  FreeTextures(base->Textures, base->TextureCount, true);
  ZV_FREE(base);
  g_modelSystem.Bases[baseSlot] = nullptr;
  --g_modelSystem.BaseCount;
  return 0;
}

int DeleteModelInstance(int handle) {
  ModelInstance* instance = GetModelInstance(handle);
  if (!instance) return -1;
  ReleaseInstanceBuffers(handle);
  const int baseSlot = instance->Base;
  ZV_FREE(instance->MeshBuffers);
  FreeTextures(instance->Textures, instance->TextureCount, true);
  DeleteHandleRecord(&g_modelSystem.Instances, handle);
  // The instance held its base.
  DeleteModelBase(baseSlot);
  return 0;
}
