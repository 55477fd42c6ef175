// Direct3D 9 as the stand-in offers it: a software device behind the COM-shaped interfaces the
// program calls. Numbers (formats, states, error codes, GUIDs) carry their published values.
//
// Limits, stated plainly: fixed-function only (no shader model 2.0; shader objects exist only
// when a test switch reports 2.0 and then never run), no lighting (lights and materials are
// stored), no near-plane clipping of untransformed vertices (triangles behind the eye are
// dropped), fill mode and dithering are stored but every triangle is drawn solid.
#pragma once

#include "platform/com.h"

// ---- Results ----
#define D3D_OK S_OK
#define D3DERR_WRONGTEXTUREFORMAT ((HRESULT)0x88760818)
#define D3DERR_UNSUPPORTEDCOLOROPERATION ((HRESULT)0x88760819)
#define D3DERR_UNSUPPORTEDCOLORARG ((HRESULT)0x8876081A)
#define D3DERR_CONFLICTINGRENDERSTATE ((HRESULT)0x88760821)
#define D3DERR_DRIVERINTERNALERROR ((HRESULT)0x88760827)
#define D3DERR_NOTFOUND ((HRESULT)0x88760866)
#define D3DERR_MOREDATA ((HRESULT)0x88760867)
#define D3DERR_DEVICELOST ((HRESULT)0x88760868)
#define D3DERR_DEVICENOTRESET ((HRESULT)0x88760869)
#define D3DERR_NOTAVAILABLE ((HRESULT)0x8876086A)
#define D3DERR_OUTOFVIDEOMEMORY ((HRESULT)0x8876017C)
#define D3DERR_INVALIDCALL ((HRESULT)0x8876086C)
#define D3DERR_WASSTILLDRAWING ((HRESULT)0x8876021C)
#define D3DERR_DEVICEREMOVED ((HRESULT)0x88760870)
#define D3DERR_DEVICEHUNG ((HRESULT)0x88760874)

#define D3D_SDK_VERSION 32
#define D3DADAPTER_DEFAULT 0

// ---- Formats ----
#define ZV_D3D_FOURCC(a, b, c, d) \
  ((DWORD)(BYTE)(a) | ((DWORD)(BYTE)(b) << 8) | ((DWORD)(BYTE)(c) << 16) | ((DWORD)(BYTE)(d) << 24))
typedef DWORD D3DFORMAT;
enum : DWORD {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_X1R5G5B5 = 24,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_A4R4G4B4 = 26,
  D3DFMT_R3G3B2 = 27,
  D3DFMT_A8 = 28,
  D3DFMT_A8R3G3B2 = 29,
  D3DFMT_X4R4G4B4 = 30,
  D3DFMT_A2B10G10R10 = 31,
  D3DFMT_A8B8G8R8 = 32,
  D3DFMT_X8B8G8R8 = 33,
  D3DFMT_A2R10G10B10 = 35,
  D3DFMT_D16_LOCKABLE = 70,
  D3DFMT_D32 = 71,
  D3DFMT_D24S8 = 75,
  D3DFMT_D24X8 = 77,
  D3DFMT_D16 = 80,
  D3DFMT_VERTEXDATA = 100,
  D3DFMT_INDEX16 = 101,
  D3DFMT_INDEX32 = 102,
  D3DFMT_DXT1 = ZV_D3D_FOURCC('D', 'X', 'T', '1'),
  D3DFMT_DXT2 = ZV_D3D_FOURCC('D', 'X', 'T', '2'),
  D3DFMT_DXT3 = ZV_D3D_FOURCC('D', 'X', 'T', '3'),
  D3DFMT_DXT4 = ZV_D3D_FOURCC('D', 'X', 'T', '4'),
  D3DFMT_DXT5 = ZV_D3D_FOURCC('D', 'X', 'T', '5'),
};

typedef DWORD D3DCOLOR;
#define D3DCOLOR_ARGB(a, r, g, b) ((D3DCOLOR)((((a)&0xFF) << 24) | (((r)&0xFF) << 16) | (((g)&0xFF) << 8) | ((b)&0xFF)))
#define D3DCOLOR_XRGB(r, g, b) D3DCOLOR_ARGB(0xFF, r, g, b)

// ---- Enumerations ----
typedef DWORD D3DDEVTYPE;
enum : DWORD { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3, D3DDEVTYPE_NULLREF = 4 };

typedef DWORD D3DPOOL;
enum : DWORD { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2, D3DPOOL_SCRATCH = 3 };

typedef DWORD D3DRESOURCETYPE;
enum : DWORD {
  D3DRTYPE_SURFACE = 1,
  D3DRTYPE_VOLUME = 2,
  D3DRTYPE_TEXTURE = 3,
  D3DRTYPE_VOLUMETEXTURE = 4,
  D3DRTYPE_CUBETEXTURE = 5,
  D3DRTYPE_VERTEXBUFFER = 6,
  D3DRTYPE_INDEXBUFFER = 7,
};

#define D3DUSAGE_RENDERTARGET 0x00000001L
#define D3DUSAGE_DEPTHSTENCIL 0x00000002L
#define D3DUSAGE_WRITEONLY 0x00000008L
#define D3DUSAGE_SOFTWAREPROCESSING 0x00000010L
#define D3DUSAGE_DYNAMIC 0x00000200L

#define D3DLOCK_READONLY 0x00000010L
#define D3DLOCK_DISCARD 0x00002000L
#define D3DLOCK_NOOVERWRITE 0x00001000L
#define D3DLOCK_NOSYSLOCK 0x00000800L
#define D3DLOCK_DONOTWAIT 0x00004000L
#define D3DLOCK_NO_DIRTY_UPDATE 0x00008000L

#define D3DCREATE_FPU_PRESERVE 0x00000002L
#define D3DCREATE_MULTITHREADED 0x00000004L
#define D3DCREATE_PUREDEVICE 0x00000010L
#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x00000020L
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x00000040L
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x00000080L

typedef DWORD D3DSWAPEFFECT;
enum : DWORD { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };
#define D3DPRESENTFLAG_LOCKABLE_BACKBUFFER 0x00000001
#define D3DPRESENT_INTERVAL_DEFAULT 0x00000000L
#define D3DPRESENT_INTERVAL_ONE 0x00000001L
#define D3DPRESENT_INTERVAL_IMMEDIATE 0x80000000L

typedef DWORD D3DMULTISAMPLE_TYPE;
#define D3DMULTISAMPLE_NONE 0
typedef DWORD D3DBACKBUFFER_TYPE;
#define D3DBACKBUFFER_TYPE_MONO 0
typedef DWORD D3DSCANLINEORDERING;
#define D3DSCANLINEORDERING_PROGRESSIVE 1

#define D3DCLEAR_TARGET 0x00000001L
#define D3DCLEAR_ZBUFFER 0x00000002L
#define D3DCLEAR_STENCIL 0x00000004L

typedef DWORD D3DPRIMITIVETYPE;
enum : DWORD {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

typedef DWORD D3DTEXTUREFILTERTYPE;
enum : DWORD { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2, D3DTEXF_ANISOTROPIC = 3 };

typedef DWORD D3DTRANSFORMSTATETYPE;
enum : DWORD {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_TEXTURE0 = 16,
  D3DTS_TEXTURE1 = 17,
  D3DTS_TEXTURE2 = 18,
  D3DTS_TEXTURE3 = 19,
  D3DTS_TEXTURE4 = 20,
  D3DTS_TEXTURE5 = 21,
  D3DTS_TEXTURE6 = 22,
  D3DTS_TEXTURE7 = 23,
};
#define D3DTS_WORLDMATRIX(index) (D3DTRANSFORMSTATETYPE)((index) + 256)
#define D3DTS_WORLD D3DTS_WORLDMATRIX(0)

typedef DWORD D3DRENDERSTATETYPE;
enum : DWORD {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_SHADEMODE = 9,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_LASTPIXEL = 16,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_FOGENABLE = 28,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_FOGCOLOR = 34,
  D3DRS_FOGTABLEMODE = 35,
  D3DRS_FOGSTART = 36,
  D3DRS_FOGEND = 37,
  D3DRS_FOGDENSITY = 38,
  D3DRS_RANGEFOGENABLE = 48,
  D3DRS_STENCILENABLE = 52,
  D3DRS_TEXTUREFACTOR = 60,
  D3DRS_CLIPPING = 136,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_FOGVERTEXMODE = 140,
  D3DRS_COLORVERTEX = 141,
  D3DRS_LOCALVIEWER = 142,
  D3DRS_NORMALIZENORMALS = 143,
  D3DRS_DIFFUSEMATERIALSOURCE = 145,
  D3DRS_SPECULARMATERIALSOURCE = 146,
  D3DRS_AMBIENTMATERIALSOURCE = 147,
  D3DRS_EMISSIVEMATERIALSOURCE = 148,
  D3DRS_VERTEXBLEND = 151,
  D3DRS_CLIPPLANEENABLE = 152,
  D3DRS_POINTSIZE = 154,
  D3DRS_MULTISAMPLEANTIALIAS = 161,
  D3DRS_COLORWRITEENABLE = 168,
  D3DRS_BLENDOP = 171,
  D3DRS_SCISSORTESTENABLE = 174,
  D3DRS_SLOPESCALEDEPTHBIAS = 175,
  D3DRS_DEPTHBIAS = 195,
  D3DRS_SEPARATEALPHABLENDENABLE = 206,
  D3DRS_SRCBLENDALPHA = 207,
  D3DRS_DESTBLENDALPHA = 208,
  D3DRS_BLENDOPALPHA = 209,
};
#define ZV_D3DRS_COUNT 210

enum : DWORD { D3DZB_FALSE = 0, D3DZB_TRUE = 1 };
enum : DWORD { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum : DWORD { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2 };
enum : DWORD { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum : DWORD { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3 };
enum : DWORD { D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2 };

typedef DWORD D3DCMPFUNC;
enum : DWORD {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};

typedef DWORD D3DBLEND;
enum : DWORD {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
};

typedef DWORD D3DBLENDOP;
enum : DWORD {
  D3DBLENDOP_ADD = 1,
  D3DBLENDOP_SUBTRACT = 2,
  D3DBLENDOP_REVSUBTRACT = 3,
  D3DBLENDOP_MIN = 4,
  D3DBLENDOP_MAX = 5,
};

typedef DWORD D3DTEXTURESTAGESTATETYPE;
enum : DWORD {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,
  D3DTSS_COLORARG0 = 26,
  D3DTSS_ALPHAARG0 = 27,
  D3DTSS_RESULTARG = 28,
  D3DTSS_CONSTANT = 32,
};
#define ZV_D3DTSS_COUNT 33

typedef DWORD D3DTEXTUREOP;
enum : DWORD {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_MODULATE2X = 5,
  D3DTOP_MODULATE4X = 6,
  D3DTOP_ADD = 7,
  D3DTOP_ADDSIGNED = 8,
  D3DTOP_ADDSIGNED2X = 9,
  D3DTOP_SUBTRACT = 10,
  D3DTOP_ADDSMOOTH = 11,
  D3DTOP_BLENDDIFFUSEALPHA = 12,
  D3DTOP_BLENDTEXTUREALPHA = 13,
  D3DTOP_BLENDFACTORALPHA = 14,
  D3DTOP_BLENDTEXTUREALPHAPM = 15,
  D3DTOP_BLENDCURRENTALPHA = 16,
};

#define D3DTA_SELECTMASK 0x0000000F
#define D3DTA_DIFFUSE 0x00000000
#define D3DTA_CURRENT 0x00000001
#define D3DTA_TEXTURE 0x00000002
#define D3DTA_TFACTOR 0x00000003
#define D3DTA_SPECULAR 0x00000004
#define D3DTA_TEMP 0x00000005
#define D3DTA_CONSTANT 0x00000006
#define D3DTA_COMPLEMENT 0x00000010
#define D3DTA_ALPHAREPLICATE 0x00000020

enum : DWORD {
  D3DTTFF_DISABLE = 0,
  D3DTTFF_COUNT1 = 1,
  D3DTTFF_COUNT2 = 2,
  D3DTTFF_COUNT3 = 3,
  D3DTTFF_COUNT4 = 4,
  D3DTTFF_PROJECTED = 256,
};

typedef DWORD D3DSAMPLERSTATETYPE;
enum : DWORD {
  D3DSAMP_ADDRESSU = 1,
  D3DSAMP_ADDRESSV = 2,
  D3DSAMP_ADDRESSW = 3,
  D3DSAMP_BORDERCOLOR = 4,
  D3DSAMP_MAGFILTER = 5,
  D3DSAMP_MINFILTER = 6,
  D3DSAMP_MIPFILTER = 7,
  D3DSAMP_MIPMAPLODBIAS = 8,
  D3DSAMP_MAXMIPLEVEL = 9,
  D3DSAMP_MAXANISOTROPY = 10,
};
#define ZV_D3DSAMP_COUNT 14

enum : DWORD {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4,
  D3DTADDRESS_MIRRORONCE = 5,
};

// ---- Flexible vertex formats ----
#define D3DFVF_XYZ 0x002
#define D3DFVF_XYZRHW 0x004
#define D3DFVF_XYZB1 0x006
#define D3DFVF_XYZB2 0x008
#define D3DFVF_XYZB3 0x00A
#define D3DFVF_XYZB4 0x00C
#define D3DFVF_XYZB5 0x00E
#define D3DFVF_XYZW 0x4002
#define D3DFVF_POSITION_MASK 0x400E
#define D3DFVF_NORMAL 0x010
#define D3DFVF_PSIZE 0x020
#define D3DFVF_DIFFUSE 0x040
#define D3DFVF_SPECULAR 0x080
#define D3DFVF_TEXCOUNT_MASK 0xF00
#define D3DFVF_TEXCOUNT_SHIFT 8
#define D3DFVF_TEX0 0x000
#define D3DFVF_TEX1 0x100
#define D3DFVF_TEX2 0x200
#define D3DFVF_TEX3 0x300
#define D3DFVF_TEX4 0x400
#define D3DFVF_TEX5 0x500
#define D3DFVF_TEX6 0x600
#define D3DFVF_TEX7 0x700
#define D3DFVF_TEX8 0x800
#define D3DFVF_TEXTUREFORMAT1 3
#define D3DFVF_TEXTUREFORMAT2 0
#define D3DFVF_TEXTUREFORMAT3 1
#define D3DFVF_TEXTUREFORMAT4 2
#define D3DFVF_TEXCOORDSIZE1(set) (D3DFVF_TEXTUREFORMAT1 << ((set)*2 + 16))
#define D3DFVF_TEXCOORDSIZE2(set) (D3DFVF_TEXTUREFORMAT2)
#define D3DFVF_TEXCOORDSIZE3(set) (D3DFVF_TEXTUREFORMAT3 << ((set)*2 + 16))
#define D3DFVF_TEXCOORDSIZE4(set) (D3DFVF_TEXTUREFORMAT4 << ((set)*2 + 16))

// ---- Vertex declarations ----
typedef BYTE D3DDECLTYPE;
enum : BYTE {
  D3DDECLTYPE_FLOAT1 = 0,
  D3DDECLTYPE_FLOAT2 = 1,
  D3DDECLTYPE_FLOAT3 = 2,
  D3DDECLTYPE_FLOAT4 = 3,
  D3DDECLTYPE_D3DCOLOR = 4,
  D3DDECLTYPE_UBYTE4 = 5,
  D3DDECLTYPE_SHORT2 = 6,
  D3DDECLTYPE_SHORT4 = 7,
  D3DDECLTYPE_UNUSED = 17,
};
enum : BYTE { D3DDECLMETHOD_DEFAULT = 0 };
enum : BYTE {
  D3DDECLUSAGE_POSITION = 0,
  D3DDECLUSAGE_BLENDWEIGHT = 1,
  D3DDECLUSAGE_BLENDINDICES = 2,
  D3DDECLUSAGE_NORMAL = 3,
  D3DDECLUSAGE_PSIZE = 4,
  D3DDECLUSAGE_TEXCOORD = 5,
  D3DDECLUSAGE_TANGENT = 6,
  D3DDECLUSAGE_BINORMAL = 7,
  D3DDECLUSAGE_POSITIONT = 9,
  D3DDECLUSAGE_COLOR = 10,
  D3DDECLUSAGE_FOG = 11,
  D3DDECLUSAGE_DEPTH = 12,
};
struct D3DVERTEXELEMENT9 {
  WORD Stream;
  WORD Offset;
  BYTE Type;
  BYTE Method;
  BYTE Usage;
  BYTE UsageIndex;
};
static_assert(sizeof(D3DVERTEXELEMENT9) == 8, "D3DVERTEXELEMENT9 layout");
#define D3DDECL_END() \
  { 0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0 }

// ---- Capabilities ----
#define D3DCAPS2_CANMANAGERESOURCE 0x10000000L
#define D3DCAPS2_DYNAMICTEXTURES 0x20000000L
#define D3DDEVCAPS_EXECUTESYSTEMMEMORY 0x00000010L
#define D3DDEVCAPS_TLVERTEXSYSTEMMEMORY 0x00000040L
#define D3DDEVCAPS_TEXTURESYSTEMMEMORY 0x00000100L
#define D3DDEVCAPS_DRAWPRIMTLVERTEX 0x00000400L
#define D3DDEVCAPS_HWTRANSFORMANDLIGHT 0x00010000L
#define D3DPMISCCAPS_MASKZ 0x00000002L
#define D3DPMISCCAPS_CULLNONE 0x00000010L
#define D3DPMISCCAPS_CULLCW 0x00000020L
#define D3DPMISCCAPS_CULLCCW 0x00000040L
#define D3DPMISCCAPS_COLORWRITEENABLE 0x00000080L
#define D3DPMISCCAPS_TSSARGTEMP 0x00000400L
#define D3DPMISCCAPS_BLENDOP 0x00000800L
#define D3DPRASTERCAPS_ZTEST 0x00000010L
#define D3DPRASTERCAPS_FOGVERTEX 0x00000080L
#define D3DPRASTERCAPS_SCISSORTEST 0x01000000L
#define D3DPCMPCAPS_NEVER 0x00000001L
#define D3DPCMPCAPS_LESS 0x00000002L
#define D3DPCMPCAPS_EQUAL 0x00000004L
#define D3DPCMPCAPS_LESSEQUAL 0x00000008L
#define D3DPCMPCAPS_GREATER 0x00000010L
#define D3DPCMPCAPS_NOTEQUAL 0x00000020L
#define D3DPCMPCAPS_GREATEREQUAL 0x00000040L
#define D3DPCMPCAPS_ALWAYS 0x00000080L
#define D3DPBLENDCAPS_ZERO 0x00000001L
#define D3DPBLENDCAPS_ONE 0x00000002L
#define D3DPBLENDCAPS_SRCCOLOR 0x00000004L
#define D3DPBLENDCAPS_INVSRCCOLOR 0x00000008L
#define D3DPBLENDCAPS_SRCALPHA 0x00000010L
#define D3DPBLENDCAPS_INVSRCALPHA 0x00000020L
#define D3DPBLENDCAPS_DESTALPHA 0x00000040L
#define D3DPBLENDCAPS_INVDESTALPHA 0x00000080L
#define D3DPBLENDCAPS_DESTCOLOR 0x00000100L
#define D3DPBLENDCAPS_INVDESTCOLOR 0x00000200L
#define D3DPBLENDCAPS_SRCALPHASAT 0x00000400L
#define D3DPSHADECAPS_COLORGOURAUDRGB 0x00000008L
#define D3DPSHADECAPS_SPECULARGOURAUDRGB 0x00000200L
#define D3DPSHADECAPS_ALPHAGOURAUDBLEND 0x00004000L
#define D3DPSHADECAPS_FOGGOURAUD 0x00080000L
#define D3DPTEXTURECAPS_PERSPECTIVE 0x00000001L
#define D3DPTEXTURECAPS_POW2 0x00000002L
#define D3DPTEXTURECAPS_ALPHA 0x00000004L
#define D3DPTEXTURECAPS_SQUAREONLY 0x00000020L
#define D3DPTEXTURECAPS_MIPMAP 0x00004000L
#define D3DPTEXTURECAPS_VOLUMEMAP 0x00002000L
#define D3DPTFILTERCAPS_MINFPOINT 0x00000100L
#define D3DPTFILTERCAPS_MINFLINEAR 0x00000200L
#define D3DPTFILTERCAPS_MIPFPOINT 0x00010000L
#define D3DPTFILTERCAPS_MAGFPOINT 0x01000000L
#define D3DPTFILTERCAPS_MAGFLINEAR 0x02000000L
#define D3DPTADDRESSCAPS_WRAP 0x00000001L
#define D3DPTADDRESSCAPS_MIRROR 0x00000002L
#define D3DPTADDRESSCAPS_CLAMP 0x00000004L
#define D3DPTADDRESSCAPS_BORDER 0x00000008L
#define D3DPTADDRESSCAPS_MIRRORONCE 0x00000020L
#define D3DTEXOPCAPS_DISABLE 0x00000001L
#define D3DTEXOPCAPS_SELECTARG1 0x00000002L
#define D3DTEXOPCAPS_SELECTARG2 0x00000004L
#define D3DTEXOPCAPS_MODULATE 0x00000008L
#define D3DTEXOPCAPS_MODULATE2X 0x00000010L
#define D3DTEXOPCAPS_MODULATE4X 0x00000020L
#define D3DTEXOPCAPS_ADD 0x00000040L
#define D3DTEXOPCAPS_SUBTRACT 0x00000200L
#define D3DTEXOPCAPS_BLENDDIFFUSEALPHA 0x00000800L
#define D3DTEXOPCAPS_BLENDTEXTUREALPHA 0x00001000L
#define D3DTEXOPCAPS_BLENDFACTORALPHA 0x00002000L
#define D3DTEXOPCAPS_BLENDCURRENTALPHA 0x00008000L
#define D3DPRESENT_INTERVAL_CAPS (D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE)
#define D3DVS_VERSION(major, minor) (0xFFFE0000 | ((major) << 8) | (minor))
#define D3DPS_VERSION(major, minor) (0xFFFF0000 | ((major) << 8) | (minor))
#define D3DPTEXTURECAPS_NONPOW2CONDITIONAL 0x00000100L

struct D3DVSHADERCAPS2_0 {
  DWORD Caps;
  INT DynamicFlowControlDepth;
  INT NumTemps;
  INT StaticFlowControlDepth;
};
struct D3DPSHADERCAPS2_0 {
  DWORD Caps;
  INT DynamicFlowControlDepth;
  INT NumTemps;
  INT StaticFlowControlDepth;
  INT NumInstructionSlots;
};

struct D3DCAPS9 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD Caps;
  DWORD Caps2;
  DWORD Caps3;
  DWORD PresentationIntervals;
  DWORD CursorCaps;
  DWORD DevCaps;
  DWORD PrimitiveMiscCaps;
  DWORD RasterCaps;
  DWORD ZCmpCaps;
  DWORD SrcBlendCaps;
  DWORD DestBlendCaps;
  DWORD AlphaCmpCaps;
  DWORD ShadeCaps;
  DWORD TextureCaps;
  DWORD TextureFilterCaps;
  DWORD CubeTextureFilterCaps;
  DWORD VolumeTextureFilterCaps;
  DWORD TextureAddressCaps;
  DWORD VolumeTextureAddressCaps;
  DWORD LineCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxVolumeExtent;
  DWORD MaxTextureRepeat;
  DWORD MaxTextureAspectRatio;
  DWORD MaxAnisotropy;
  float MaxVertexW;
  float GuardBandLeft;
  float GuardBandTop;
  float GuardBandRight;
  float GuardBandBottom;
  float ExtentsAdjust;
  DWORD StencilCaps;
  DWORD FVFCaps;
  DWORD TextureOpCaps;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD VertexProcessingCaps;
  DWORD MaxActiveLights;
  DWORD MaxUserClipPlanes;
  DWORD MaxVertexBlendMatrices;
  DWORD MaxVertexBlendMatrixIndex;
  float MaxPointSize;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD MaxStreamStride;
  DWORD VertexShaderVersion;
  DWORD MaxVertexShaderConst;
  DWORD PixelShaderVersion;
  float PixelShader1xMaxValue;
  DWORD DevCaps2;
  float MaxNpatchTessellationLevel;
  DWORD Reserved5;
  UINT MasterAdapterOrdinal;
  UINT AdapterOrdinalInGroup;
  UINT NumberOfAdaptersInGroup;
  DWORD DeclTypes;
  DWORD NumSimultaneousRTs;
  DWORD StretchRectFilterCaps;
  D3DVSHADERCAPS2_0 VS20Caps;
  D3DPSHADERCAPS2_0 PS20Caps;
  DWORD VertexTextureFilterCaps;
  DWORD MaxVShaderInstructionsExecuted;
  DWORD MaxPShaderInstructionsExecuted;
  DWORD MaxVertexShader30InstructionSlots;
  DWORD MaxPixelShader30InstructionSlots;
};

// ---- Structures ----
struct D3DDISPLAYMODE {
  UINT Width;
  UINT Height;
  UINT RefreshRate;
  D3DFORMAT Format;
};
struct D3DDISPLAYMODEEX {
  UINT Size;
  UINT Width;
  UINT Height;
  UINT RefreshRate;
  D3DFORMAT Format;
  D3DSCANLINEORDERING ScanLineOrdering;
};
static_assert(sizeof(D3DDISPLAYMODEEX) == 24, "D3DDISPLAYMODEEX is 24 bytes");

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT PresentationInterval;
};

#define MAX_DEVICE_IDENTIFIER_STRING 512
struct D3DADAPTER_IDENTIFIER9 {
  char Driver[MAX_DEVICE_IDENTIFIER_STRING];
  char Description[MAX_DEVICE_IDENTIFIER_STRING];
  char DeviceName[32];
  LARGE_INTEGER DriverVersion;
  DWORD VendorId;
  DWORD DeviceId;
  DWORD SubSysId;
  DWORD Revision;
  GUID DeviceIdentifier;
  DWORD WHQLLevel;
};

struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  UINT Width;
  UINT Height;
};
struct D3DVOLUME_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Width;
  UINT Height;
  UINT Depth;
};
struct D3DVERTEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  DWORD FVF;
};
struct D3DINDEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
};
struct D3DLOCKED_RECT {
  INT Pitch;
  void* pBits;
};
struct D3DBOX {
  UINT Left;
  UINT Top;
  UINT Right;
  UINT Bottom;
  UINT Front;
  UINT Back;
};
struct D3DLOCKED_BOX {
  INT RowPitch;
  INT SlicePitch;
  void* pBits;
};
struct D3DVIEWPORT9 {
  DWORD X;
  DWORD Y;
  DWORD Width;
  DWORD Height;
  float MinZ;
  float MaxZ;
};
struct D3DMATRIX {
  float m[4][4];
};
struct D3DVECTOR {
  float x;
  float y;
  float z;
};
struct D3DCOLORVALUE {
  float r;
  float g;
  float b;
  float a;
};
typedef DWORD D3DLIGHTTYPE;
enum : DWORD { D3DLIGHT_POINT = 1, D3DLIGHT_SPOT = 2, D3DLIGHT_DIRECTIONAL = 3 };
struct D3DLIGHT9 {
  D3DLIGHTTYPE Type;
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Ambient;
  D3DVECTOR Position;
  D3DVECTOR Direction;
  float Range;
  float Falloff;
  float Attenuation0;
  float Attenuation1;
  float Attenuation2;
  float Theta;
  float Phi;
};
struct D3DMATERIAL9 {
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Ambient;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Emissive;
  float Power;
};
struct D3DDEVICE_CREATION_PARAMETERS {
  UINT AdapterOrdinal;
  D3DDEVTYPE DeviceType;
  HWND hFocusWindow;
  DWORD BehaviorFlags;
};

// ---- Interface identifiers ----
inline constexpr GUID IID_IDirect3D9 = {0x81BDCBCA, 0x64D4, 0x426D, {0xAE, 0x8D, 0xAD, 0x01, 0x47, 0xF4, 0x27, 0x5C}};
inline constexpr GUID IID_IDirect3D9Ex = {0x02177241, 0x69FC, 0x400C, {0x8F, 0xF1, 0x93, 0xA4, 0x4D, 0xF6, 0x86, 0x1D}};
inline constexpr GUID IID_IDirect3DDevice9 = {
    0xD0223B96, 0xBF7A, 0x43FD, {0x92, 0xBD, 0xA4, 0x3B, 0x0D, 0x82, 0xB9, 0xEB}};
inline constexpr GUID IID_IDirect3DDevice9Ex = {
    0xB18B10CE, 0x2649, 0x405A, {0x87, 0x0F, 0x95, 0xF7, 0x77, 0xD4, 0x31, 0x3A}};
inline constexpr GUID IID_IDirect3DResource9 = {
    0x05EEC05D, 0x8F7D, 0x4362, {0xB9, 0x99, 0xD1, 0xBA, 0xF3, 0x57, 0xC7, 0x04}};
inline constexpr GUID IID_IDirect3DBaseTexture9 = {
    0x580CA87E, 0x1D3C, 0x4D54, {0x99, 0x1D, 0xB7, 0xD3, 0xE3, 0xC2, 0x98, 0xCE}};
inline constexpr GUID IID_IDirect3DTexture9 = {
    0x85C31227, 0x3DE5, 0x4F00, {0x9B, 0x3A, 0xF1, 0x1A, 0xC3, 0x8C, 0x18, 0xB5}};
inline constexpr GUID IID_IDirect3DVolumeTexture9 = {
    0x2518526C, 0xE789, 0x4111, {0xA7, 0xB9, 0x47, 0xEF, 0x32, 0x8D, 0x13, 0xE6}};
inline constexpr GUID IID_IDirect3DSurface9 = {
    0x0CFBAF3A, 0x9FF6, 0x429A, {0x99, 0xB3, 0xA2, 0x79, 0x6A, 0xF8, 0xB8, 0x9B}};
inline constexpr GUID IID_IDirect3DSwapChain9 = {
    0x794950F2, 0xADFC, 0x458A, {0x90, 0x5E, 0x10, 0xA1, 0x0B, 0x0B, 0x50, 0x3B}};
inline constexpr GUID IID_IDirect3DVertexBuffer9 = {
    0xB64BB1B5, 0xFD70, 0x4DF6, {0xBF, 0x91, 0x19, 0xD0, 0xA1, 0x24, 0x55, 0xE3}};
inline constexpr GUID IID_IDirect3DIndexBuffer9 = {
    0x7C9DD65E, 0xD3F7, 0x4529, {0xAC, 0xEE, 0x78, 0x58, 0x30, 0xAC, 0xDE, 0x35}};
inline constexpr GUID IID_IDirect3DVertexDeclaration9 = {
    0xDD13C59C, 0x36FA, 0x4098, {0xA8, 0xFB, 0xC7, 0xED, 0x39, 0xDC, 0x85, 0x46}};
inline constexpr GUID IID_IDirect3DVertexShader9 = {
    0xEFC5557E, 0x6265, 0x4613, {0x8A, 0x94, 0x43, 0x85, 0x78, 0x89, 0xEB, 0x36}};
inline constexpr GUID IID_IDirect3DPixelShader9 = {
    0x6D3BDBDC, 0x5B02, 0x4415, {0xB8, 0x52, 0xCE, 0x5E, 0x8B, 0xCC, 0xB2, 0x89}};

// ---- Interfaces ----
struct IDirect3DDevice9;

struct IDirect3DResource9 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
  virtual D3DRESOURCETYPE GetType() = 0;
};

struct IDirect3DSurface9 : IDirect3DResource9 {
  virtual HRESULT GetDesc(D3DSURFACE_DESC* description) = 0;
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;
};

struct IDirect3DBaseTexture9 : IDirect3DResource9 {
  virtual DWORD GetLevelCount() = 0;
};

struct IDirect3DTexture9 : IDirect3DBaseTexture9 {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* description) = 0;
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
  virtual HRESULT AddDirtyRect(const RECT* rect) = 0;
};

struct IDirect3DVolumeTexture9 : IDirect3DBaseTexture9 {
  virtual HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* description) = 0;
  virtual HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) = 0;
  virtual HRESULT UnlockBox(UINT level) = 0;
};

struct IDirect3DVertexBuffer9 : IDirect3DResource9 {
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* description) = 0;
};

struct IDirect3DIndexBuffer9 : IDirect3DResource9 {
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* description) = 0;
};

struct IDirect3DVertexDeclaration9 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};
struct IDirect3DVertexShader9 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};
struct IDirect3DPixelShader9 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};

struct IDirect3DSwapChain9 : IUnknown {
  virtual HRESULT Present(const RECT* source, const RECT* destination, HWND window, const void* dirtyRegion,
                          DWORD flags) = 0;
  virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) = 0;
  virtual HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) = 0;
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};

struct IDirect3D9;

struct IDirect3DDevice9 : IUnknown {
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual UINT GetAvailableTextureMem() = 0;
  virtual HRESULT GetDirect3D(IDirect3D9** direct3d) = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
  virtual HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) = 0;
  virtual HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) = 0;
  virtual HRESULT Present(const RECT* source, const RECT* destination, HWND window, const void* dirtyRegion) = 0;
  virtual HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) = 0;
  virtual void SetDialogBoxMode(BOOL enable) = 0;

  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture9** texture, HANDLE* shared) = 0;
  virtual HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                      D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* shared) = 0;
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                     HANDLE* shared) = 0;
  virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer9** buffer, HANDLE* shared) = 0;
  virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                     DWORD multiSampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                                     HANDLE* shared) = 0;
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                            DWORD multiSampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                            HANDLE* shared) = 0;
  virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DSurface9** surface, HANDLE* shared) = 0;
  virtual HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                                const POINT* destinationPoint) = 0;
  virtual HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) = 0;
  virtual HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) = 0;
  virtual HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                              const RECT* destinationRect, D3DTEXTUREFILTERTYPE filter) = 0;
  virtual HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) = 0;

  virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) = 0;
  virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) = 0;
  virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) = 0;
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) = 0;

  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL9* material) = 0;
  virtual HRESULT GetMaterial(D3DMATERIAL9* material) = 0;
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT9* light) = 0;
  virtual HRESULT GetLight(DWORD index, D3DLIGHT9* light) = 0;
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
  virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
  virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;
  virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
  virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;
  virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
  virtual HRESULT SetScissorRect(const RECT* rect) = 0;
  virtual HRESULT GetScissorRect(RECT* rect) = 0;

  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                       UINT vertexCount, UINT startIndex, UINT primitiveCount) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) = 0;
  virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT vertexCount,
                                         UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                         const void* vertexData, UINT stride) = 0;
  virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                          IDirect3DVertexDeclaration9** declaration) = 0;
  virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) = 0;
  virtual HRESULT SetFVF(DWORD fvf) = 0;
  virtual HRESULT GetFVF(DWORD* fvf) = 0;
  virtual HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) = 0;
  virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;
  virtual HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT vector4fCount) = 0;
  virtual HRESULT SetVertexShaderConstantI(UINT start, const int* data, UINT vector4iCount) = 0;
  virtual HRESULT SetVertexShaderConstantB(UINT start, const BOOL* data, UINT boolCount) = 0;
  virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) = 0;
  virtual HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) = 0;
  virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
  virtual HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT vector4fCount) = 0;
  virtual HRESULT SetPixelShaderConstantI(UINT start, const int* data, UINT vector4iCount) = 0;
  virtual HRESULT SetPixelShaderConstantB(UINT start, const BOOL* data, UINT boolCount) = 0;
};

struct IDirect3DDevice9Ex : IDirect3DDevice9 {
  virtual HRESULT SetMaximumFrameLatency(UINT maximumLatency) = 0;
  virtual HRESULT GetMaximumFrameLatency(UINT* maximumLatency) = 0;
  virtual HRESULT ResetEx(D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* fullScreenMode) = 0;
};

struct IDirect3D9 : IUnknown {
  virtual UINT GetAdapterCount() = 0;
  virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) = 0;
  virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) = 0;
  virtual HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) = 0;
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                                  BOOL windowed) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT format) = 0;
  virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) = 0;
  virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) = 0;
};

struct IDirect3D9Ex : IDirect3D9 {
  virtual HRESULT CreateDeviceEx(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* fullScreenMode,
                                 IDirect3DDevice9Ex** device) = 0;
};

// The exports of "d3d9.dll" (found through LoadLibraryA and GetProcAddress).
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
HRESULT Direct3DCreate9Ex(UINT sdkVersion, IDirect3D9Ex** direct3d);
