// Preconditions and loop choice shared by the software blits.
#include "memimg/blit_setup.h"

#include "memimg/derived_data.h"

static int ClampedBlendParam(const MemImgDrawSettings& settings) {
  const int param = settings.BlendParam;
  return param < 0 ? 0 : param > 255 ? 255 : param;
}

bool ChooseBlit(const MEMIMG* dest, const MEMIMG* source, const MEMIMG* blendImage, int transparent, int form,
                const MemImgDrawSettings& settings, BlitChoice* choice) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return false;
  if (blendImage && !IsMemImgValid(blendImage)) return false;
  const MemImgCore* destCore = dest->Core;
  const MemImgCore* sourceCore = source->Core;
  if (sourceCore->Format != destCore->Format || destCore->UsePalette || destCore->UseAlpha) return false;
  if (sourceCore->Format != kMemImgFormat16 && sourceCore->Format != kMemImgFormat32) return false;
  // The blend image is read at source coordinates: it must cover the source.
  if (blendImage && (blendImage->Width < source->Width || blendImage->Height < source->Height)) return false;

  const bool palette = sourceCore->UsePalette != 0;
  choice->family = sourceCore->Format == kMemImgFormat32 ? (palette ? kFamilyPalette32 : kFamilyDirect32)
                                                         : (palette ? kFamilyPalette16 : kFamilyDirect16);
  choice->blendImage = blendImage != nullptr;
  choice->plainBright = (settings.BrightColor & 0xFFFFFF) == 0xFFFFFF;
  choice->sourceAlpha = sourceCore->UseAlpha != 0;
  choice->transparent = transparent != 0;

  int mode = settings.BlendMode;
  const int param = ClampedBlendParam(settings);
  if (mode == BLEND_MODE_ALPHA && param == 255) mode = BLEND_MODE_COPY;
  if ((mode == BLEND_MODE_ALPHA || mode == BLEND_MODE_ADD) && param == 0) return false;
  if (mode == BLEND_MODE_SUBTRACT && param == 0 && !palette) return false;
  const bool plainOpaque = !choice->blendImage && choice->plainBright && !choice->sourceAlpha;
  switch (mode) {
    case BLEND_MODE_COPY:
      choice->operation = kOperationCopy;
      break;
    case BLEND_MODE_ALPHA:
      if (form == kFormGeneral && plainOpaque && param == 128)
        choice->operation = kOperationAlphaHalving;
      else if (form == kFormGeneral && plainOpaque && choice->family == kFamilyDirect16)
        choice->operation = kOperationAlphaMix;
      else
        choice->operation = kOperationAlpha;
      break;
    case BLEND_MODE_ADD:
      choice->operation = plainOpaque && param == 255 ? kOperationAddFull : kOperationAdd;
      break;
    case BLEND_MODE_SUBTRACT:
      choice->operation = kOperationSubtract;
      break;
    case BLEND_MODE_MULTIPLY:
      choice->operation = kOperationMultiply;
      break;
    case BLEND_MODE_INVERTED_ALPHA:
      choice->operation = kOperationInvertedAlpha;
      break;
    case BLEND_MODE_PRODUCT_ALPHA:
      choice->operation = kOperationMultiplyBlend;
      break;
    default:
      return false;
  }
  return true;
}

void PrepareBlitCall(const MEMIMG* source, const MEMIMG* blendImage, const MemImgDrawSettings& settings,
                     BlitCall* call) {
  const MemImgCore* core = source->Core;
  MemImgBlendTables& tables = g_memImgBlendTables;
  const int param = ClampedBlendParam(settings);
  const uint32_t bright = settings.BrightColor;
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
