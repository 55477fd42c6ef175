// Class objects for the graph's filters.
#include "media/filters/graph_filters.h"

#include "media/filters/file_source.h"
#include "media/filters/graph_renderers.h"
#include "media/filters/mpeg_audio_decoder.h"
#include "media/framework/media_classes.h"
#include "platform/dshow.h"

void RegisterGraphFilterClasses() {
  RegisterFrameworkClass<Z_CNullRenderer::CreateInstance>(CLSID_NullRenderer);
  RegisterFrameworkClass<Z_CAudioRenderer::CreateInstance>(CLSID_AudioRender);
  RegisterFrameworkClass<Z_CFileSource::CreateInstance>(CLSID_FileSource);
  RegisterFrameworkClass<Z_CMpegAudioDecoder::CreateInstance>(CLSID_MpegAudioDecoder);
}
