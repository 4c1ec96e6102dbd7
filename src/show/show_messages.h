// What a show can make the player say: the captions and texts of its
// message boxes in the design's Chinese words, and the same in English for
// the English captions and the tools.
#pragma once

#include <string>

namespace lumora {

inline constexpr const char* kCaptionWarning = "警告";
inline constexpr const char* kCaptionError = "错误";
inline constexpr const char* kTextFormatError = "文件格式错误";
inline constexpr const char* kTextNoGraphics = "没有图元";
inline constexpr const char* kTextNoBeats = "网格程序的节拍数为零,请增加节拍";
inline constexpr const char* kTextBadFile = "文件格式不正确";
inline constexpr const char* kTextNotFound = "找不到文件";

// The English of one of the captions and texts above; any other text is
// given back as it is.
std::string EnglishMessage(const std::string& text);

// The message for a path that names no kind of show the player opens.
std::string NotAShowMessage(const std::string& path);

}  // namespace lumora
