// The filters the platform's filter graph builds its graphs from, made by class id: the null
// renderer and the audio renderer (graph_renderers.h), the file source (file_source.h) and the
// MPEG-audio decoder (mpeg_audio_decoder.h).
#pragma once

// Registers their classes with CoCreateInstance; called once with the framework's other classes.
void RegisterGraphFilterClasses();
