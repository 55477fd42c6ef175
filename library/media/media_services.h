// Media framework services that the sound system decodes through: the memory stream and memory
// reader it serves a sound file from, and the sample grabber that catches the decoded PCM. The
// movies' renderer is built on the video renderer's base.
#pragma once

#include "media/filters/sample_grabber.h"
#include "media/filters/video_render_filter.h"
#include "media/framework/async_source.h"
#include "media/framework/memory_stream.h"
