// Font files the font tests pin, so that metrics and pixels do not move with the fonts installed.
// Both come from Debian packages that scripts/setup installs (fonts-ipafont-gothic,
// fonts-dejavu-core).
#pragma once

namespace font_files {

// IPAGothic: the Japanese gothic face that serves the library's default face.
inline constexpr const char* kGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
// A face without Japanese characters, for the per-character fallback.
inline constexpr const char* kLatinMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

}  // namespace font_files
