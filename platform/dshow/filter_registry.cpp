// The filter classes the graph manager builds graphs from: the platform's MPEG-audio decoder and
// its audio renderer, and whatever tests add ahead of them.
#include <algorithm>
#include <mutex>

#include "dshow/graph_parts.h"
#include "platform/testing.h"

namespace platform {
namespace {

std::mutex g_classesMutex;
std::vector<GraphFilterClass> g_addedClasses;

}  // namespace

std::vector<GraphFilterClass> GraphFilterClasses() {
  std::lock_guard<std::mutex> lock(g_classesMutex);
  std::vector<GraphFilterClass> classes = g_addedClasses;
  classes.push_back({CLSID_MpegAudioDecoder, u"MPEG Audio Decoder"});
  classes.push_back({CLSID_AudioRender, u"Default DirectSound Device"});
  return classes;
}

namespace testing {

void AddGraphFilterClass(const CLSID& classId, const char16_t* name) {
  std::lock_guard<std::mutex> lock(g_classesMutex);
  g_addedClasses.push_back({classId, name});
}

void ClearGraphFilterClasses() {
  std::lock_guard<std::mutex> lock(g_classesMutex);
  g_addedClasses.clear();
}

}  // namespace testing
}  // namespace platform
