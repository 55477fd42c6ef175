// SDL's text events, handed to the input context by the USER stand-in's event translation.
#pragma once

#include <string>

#include "user/user_state.h"

namespace platform {

// The composition as it stands (UTF-8) with its cursor in characters; empty text ends it. The
// caller holds the USER mutex.
void OnTextEditing(WindowRecord* window, const std::string& utf8, int cursorCharacters);
// Committed text (UTF-8): the composition's result while composing, else typed characters. The
// caller holds the USER mutex.
void OnTextInput(WindowRecord* window, const std::string& utf8);

}  // namespace platform
