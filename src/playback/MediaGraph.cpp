#include "playback/MediaGraph.h"

#include <cstdio>

namespace tavelune {

std::string DirectShowErrorText(THResult code) {
  switch (static_cast<std::uint32_t>(code)) {
    case 0x00040242:
      return "Some of the streams in this movie are in an unsupported format.";
    case 0x00040257:
      return "Partial success; the video was not rendered.";
    case 0x00040258:
      return "Partial success; the audio was not rendered.";
    case 0x80040216:
      return "An object or name was not found.";
    case 0x80040218:
      return "No combination of filters could be found to render the stream.";
    case 0x80040227:
      return "The operation could not be performed because the filter is in the wrong state.";
    case 0x8004022E:
      return "A time-out has expired.";
    case 0x8004022F:
      return "The file format is invalid.";
    case 0x80040265:
      return "Cannot play back the file.  The format is not supported.";
    case 0x80040269:
      return "Cannot play back the video stream: no suitable decompressor could be found.";
    case 0x80004002:
      return "No such interface supported";
    case 0x80070002:
      return "The system cannot find the file specified.";
    case 0x8007000E:
      return "Not enough storage is available to complete this operation.";
    default:
      return "Unspecified error";
  }
}

namespace {

std::string ExceptionMessage(THResult code, const std::string& detail) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(code));
  std::string message = DirectShowErrorText(code);
  if (!detail.empty()) {
    message += " [" + detail + "]";
  }
  return message + " ($" + hex + ").";
}

}  // namespace

EMediaError::EMediaError(THResult code, const std::string& detail)
    : std::runtime_error(ExceptionMessage(code, detail)), FCode(code) {}

}  // namespace tavelune
