#pragma once

#include <optional>
#include <string>

#include "imaging/Bitmap.h"

namespace tavelune {

// The flag that marks a system colour: 0x80000000 + n is system colour n.
inline constexpr TColor kSystemColorFlag = 0x80000000u;

// The RGB value (0x00BBGGRR) of a colour as stored in the settings. System
// colours are asked of the platform (Windows); on Linux they are the Windows
// defaults of a classic desktop, listed in SystemColorRgb.
TColor ColorToRgb(TColor color);

// Reads a colour value as the settings store it: decimal, or hexadecimal
// after "0x"; nullopt for anything else or beyond 32 bits.
std::optional<TColor> ParseColorValue(const std::string& text);

}  // namespace tavelune
