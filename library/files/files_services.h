// File services other subsystems use beyond the public file functions: archive images opened in
// memory and their members read whole (graphics unpacks its shader pack through them), and the
// LZ decoder for images packed on their own.
#pragma once

#include "files/archive_files.h"
