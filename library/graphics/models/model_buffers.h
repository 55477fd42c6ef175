// Model buffers: the device side of 3D model bases (shared meshes and materials) and model
// instances (a placed copy of a base). A base's meshes are packed into vertex and index buffers
// grouped by [skin kind][tangents][texture-coordinate count] (54 groups, the index of the model
// vertex declarations), each group a chain of records that stays below a vertex and an index
// limit; instances get dynamic vertex buffers for meshes whose vertices they compute. Buffers are
// released with the device and built again after it is re-created; material textures are
// prepared from their memory images (normal maps, power-of-two sizes) and refilled into graphs.
//
// Nothing in the library loads models yet: the `AddModel*` creators are the door through which
// tests (and a future loader) make them. Base handles are internal slot numbers.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "runtime/runtime_services.h"
#include "zyvel/graphics.h"

constexpr int kModelSkinKinds = 3;         // 0 none, 1 one index/weight set, 2 two sets.
constexpr int kModelTexCoordSetLimit = 8;  // Sets per vertex, 0 to 8.
constexpr int kModelBufferGroupCount = kModelSkinKinds * 2 * (kModelTexCoordSetLimit + 1);  // 54
constexpr int kModelGroupVertexLimit = 0x5FFFF;
constexpr int kModelGroupIndexLimit = 0xBFFFF;
constexpr int kModelBaseTableSize = 1 << 17;
constexpr int kModelInstanceTableSize = 1 << 16;
constexpr int kModelSineTableSize = 65536;
constexpr float kModelMinimumNormalStrength = 0.000001f;

struct ModelBufferGroup {
  IDirect3DVertexBuffer9* VertexBuffer;
  IDirect3DIndexBuffer9* IndexBuffer;
  int VertexCount;
  int IndexCount;
  uint8_t* LockedVertices;
  uint16_t* LockedIndices;
  int VertexStride;
  DWORD Fvf;  // 0: read through a vertex declaration.
  ModelBufferGroup* Next;
  ModelBufferGroup* Previous;
};

// What a creator copies a mesh from; null arrays are written as zeros (colours as opaque white
// diffuse and black specular, a missing texture component as 0, a missing fourth as 1.0).
struct ModelMeshSource {
  int SkinKind;       // 0-2
  int Tangents;       // 0/1
  int TexCoordCount;  // 0-8
  int VertexCount;
  int IndexCount;
  int DynamicVertices;           // 1: instances compute this mesh's vertices into their own buffers.
  const float* Positions;        // 3 per vertex (required).
  const float* Normals;          // 3 per vertex.
  const float* TangentVectors;   // 3 per vertex, with Tangents.
  const float* BinormalVectors;  // 3 per vertex, with Tangents.
  const uint32_t* Diffuse;
  const uint32_t* Specular;
  const uint8_t* BlendIndices;                     // 4 x SkinKind per vertex.
  const float* BlendWeights;                       // 4 x SkinKind per vertex.
  int TexCoordComponents[kModelTexCoordSetLimit];  // 1-4 per set.
  const float* TexCoords[kModelTexCoordSetLimit];
  const uint16_t* Indices;  // Relative to the mesh's first vertex.
};

struct ModelMesh {
  ModelMeshSource Source;   // Arrays owned by the mesh (tracked heap).
  ModelBufferGroup* Group;  // Null while the base is not built (or the group is not built).
  int FirstVertex;
  int FirstIndex;
};

// One texture of a material: its graph and the memory images it is made from.
struct ModelTexture {
  int Graph;               // -1: none.
  const void* ColorImage;  // A file in memory (BMP, PNG, ...), or null for an all-white image.
  int ColorSize;
  const void* AlphaImage;  // Or null.
  int AlphaSize;
  int NormalMap;  // The colour image is a height map to turn into a normal map.
  float Strength;
  int Rotate180;
};

struct ModelBase {
  int RefCount;
  int MeshCount;
  ModelMesh* Meshes;
  int TextureCount;
  ModelTexture* Textures;
  int Built;
  ModelBufferGroup* Groups[kModelBufferGroupCount];  // Chains; the head is the first record.
  int GroupRecordCounts[kModelBufferGroupCount];
};

struct ModelInstance {
  int CheckValue;
  int Handle;
  int* LostFlag;
  int Base;                              // Slot of its base.
  IDirect3DVertexBuffer9** MeshBuffers;  // One per mesh of the base; null where none.
  int VertexRefresh;                     // The dynamic buffers must be filled before the next draw.
  int TextureCount;
  ModelTexture* Textures;  // The instance's own textures.
};

struct ModelSystem {
  int Initialised;
  int BaseCount;
  int BaseTableSize;
  int InstanceTableSize;
  ModelBase** Bases;  // BaseTableSize slots; a slot of kModelReservedSlot is skipped.
  HandleTable Instances;
  float* SineTable;  // kModelSineTableSize entries.
  float Constant;
  int FixedGraphs[2];
  int RampGraph;
};
extern ModelSystem g_modelSystem;

// The group a mesh belongs to, the vertex stride of a group and its FVF (0: declaration).
int ModelBufferGroupIndex(int skinKind, int tangents, int texCoordCount);
int ModelVertexStride(int skinKind, int tangents, int texCoordCount);
DWORD ModelVertexFvf(int skinKind, int tangents, int texCoordCount);

// ---- Creators (no library call makes models yet) ----
// A base holding copies of the meshes and textures: its slot, or -1.
int AddModelBase(const ModelMeshSource* meshes, int meshCount, const ModelTexture* textures, int textureCount);
// An instance of a live base (which gains a reference): its handle, or -1.
int AddModelInstance(int base);
ModelBase* GetModelBase(int base);
ModelInstance* GetModelInstance(int handle);

// ---- Buffers ----
int BuildModelBaseBuffers(int base);
int RebuildAllModelBuffers();
int CreateInstanceDynamicBuffers(int handle);
int ReleaseModelBaseBuffers(int base);
int ReleaseInstanceBuffers(int handle);
int ReleaseAllModelBuffers();
int DeleteModelBase(int base);
int DeleteModelInstance(int handle);

// ---- Textures ----
// The 256 x 8 grey ramp: pixel x of every row has red = green = blue = x.
int MakeModelRampImage(BaseImage* out);
// Loads a texture's images from memory and prepares them: an all-white image when only alpha is
// given, the normal map, power-of-two sizes (each at most half the largest texture side), the
// 180-degree turn. 0, or -1 with nothing left in the outputs.
int PrepareModelTextureImages(const ModelTexture* texture, BaseImage* colorOut, BaseImage* alphaOut);
int ReloadModelTextures();
