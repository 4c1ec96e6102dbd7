#include "show/show_messages.h"

#include <array>
#include <utility>

namespace lumora {

namespace {

constexpr std::array<std::pair<const char*, const char*>, 7> kEnglish = {{
    {kCaptionWarning, "Warning"},
    {kCaptionError, "Error"},
    {kTextFormatError, "Not a movie file"},
    {kTextNoGraphics, "The movie has no graphics"},
    {kTextNoBeats, "The grid animation has no frames; add frames"},
    {kTextBadFile, "The file cannot be played"},
    {kTextNotFound, "Files not found"},
}};

}  // namespace

std::string EnglishMessage(const std::string& text) {
  for (const auto& [chinese, english] : kEnglish) {
    if (text == chinese) return english;
  }
  return text;
}

std::string NotAShowMessage(const std::string& path) {
  return path + ": not a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable carrying a movie";
}

}  // namespace lumora
