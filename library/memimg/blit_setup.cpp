// Preconditions and loop choice shared by the software blits.
#include "memimg/blit_setup.h"

#include "graphics/screen_services.h"
#include "memimg/derived_data.h"

static int ClampedBlendParam() {
  const int param = g_drawState.BlendParam;
  return param < 0 ? 0 : param > 255 ? 255 : param;
}

bool ChooseBlit(const MEMIMG* dest, const MEMIMG* source, const MEMIMG* blendImage, int transparent,
                int form, BlitChoice* choice) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return false;
  if (blendImage && !IsMemImgValid(blendImage)) return false;
  const MemImgCore* destCore = dest->Core;
  const MemImgCore* sourceCore = source->Core;
  if (sourceCore->Format != destCore->Format || destCore->UsePalette || destCore->UseAlpha) return false;
  if (sourceCore->Format != kMemImgFormat16 && sourceCore->Format != kMemImgFormat32) return false;
  // The blend image is read at source coordinates: it must cover the source.
  if (blendImage && (blendImage->Width < source->Width || blendImage->Height < source->Height))
    return false;

  const bool palette = sourceCore->UsePalette != 0;
  choice->family = sourceCore->Format == kMemImgFormat32 ? (palette ? kFamilyPalette32 : kFamilyDirect32)
                                           : (palette ? kFamilyPalette16 : kFamilyDirect16);
  choice->blendImage = blendImage != nullptr;
  choice->plainBright = (g_drawState.BrightColor & 0xFFFFFF) == 0xFFFFFF;
  choice->sourceAlpha = sourceCore->UseAlpha != 0;
  choice->transparent = transparent != 0;

  int mode = g_drawState.BlendMode;
  const int param = ClampedBlendParam();
  if (mode == kBlendAlpha && param == 255) mode = kBlendCopy;
  if ((mode == kBlendAlpha || mode == kBlendAdd) && param == 0) return false;
  if (mode == kBlendSubtract && param == 0 && !palette) return false;
  const bool plainOpaque = !choice->blendImage && choice->plainBright && !choice->sourceAlpha;
  switch (mode) {
    case kBlendCopy: choice->operation = kOperationCopy; break;
    case kBlendAlpha:
      if (form == kFormGeneral && plainOpaque && param == 128)
        choice->operation = kOperationAlphaHalving;
      else if (form == kFormGeneral && plainOpaque && choice->family == kFamilyDirect16)
        choice->operation = kOperationAlphaMix;
      else
        choice->operation = kOperationAlpha;
      break;
    case kBlendAdd:
      choice->operation = plainOpaque && param == 255 ? kOperationAddFull : kOperationAdd;
      break;
    case kBlendSubtract: choice->operation = kOperationSubtract; break;
    case kBlendMultiply: choice->operation = kOperationMultiply; break;
    case kBlendInvertedAlpha: choice->operation = kOperationInvertedAlpha; break;
    case kBlendProductAlpha: choice->operation = kOperationMultiplyBlend; break;
    default: return false;
  }
  return true;
}

void PrepareBlitCall(const MEMIMG* source, const MEMIMG* blendImage, BlitCall* call) {
  const MemImgCore* core = source->Core;
  MemImgBlendTables& tables = g_memImgBlendTables;
  const int param = ClampedBlendParam();
  const uint32_t bright = g_drawState.BrightColor;
  call->sourcePitch = core->Pitch;
  call->blendPitch = blendImage ? blendImage->Core->Pitch : 0;
  call->key = GetMemImgComparedKey(core);
  // Paletted sources read the store's own 256 entries, whatever count the last fill recorded.
  call->palette = core->Palette;
  call->param = param;
  call->product = tables.ProductTable[param];
  call->signedProduct = GetSignedProductRow(param);
  call->mix = tables.MixTable64 + (param / 4) * 4096;
  call->bright[0] = tables.ProductTable[bright & 0xFF];
  call->bright[1] = tables.ProductTable[(bright >> 8) & 0xFF];
  call->bright[2] = tables.ProductTable[(bright >> 16) & 0xFF];
  call->blendWeights = tables.BlendImageAlphaTable;
}
