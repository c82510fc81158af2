#pragma once

// The version record of a Linux program. ELF files have no version
// resource, so the build attaches the record's texts to each of its
// programs as a section named ".tavelune_version" holding "Key=value" lines
// (UTF-8, keys as in TVersionRecord, unknown keys ignored); see
// cmake/TVersionRecord.cpp.in.

#include <string>
#include <string_view>

#include "settings/VersionInfo.h"

namespace tavelune {

inline constexpr std::string_view kAttachedVersionSection = ".tavelune_version";

// Fills `record` from the attached section of an ELF file; false when the
// file is no ELF file or carries no such section (the record is then as it was).
bool ReadAttachedVersionRecord(const std::string& fileName, TVersionRecord& record);

// The section's contents from an image in memory (for the fuzzer and tests);
// empty when there is none.
std::string AttachedVersionTextFromImage(std::string_view image);

// Fills `record` from "Key=value" lines.
void ParseAttachedVersionText(std::string_view text, TVersionRecord& record);

}  // namespace tavelune
