// The control page's files: carried in the program itself, or read from an
// installed web folder, never from anywhere else.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::service {

struct TWebFile {
  std::string Type;
  std::vector<std::uint8_t> Bytes;
};

// The content type a file's name calls for.
std::string ContentTypeOf(std::string_view path);

// A file of the page by its URL path ("/", "/app.js"): from the folder when
// one is given, else from the copy the program carries. Only plain names
// under the folder are served: no "..", no hidden names, no links out of
// it, regular files of at most a few MiB.
std::optional<TWebFile> FindWebFile(const std::string& folder, std::string_view urlPath);

// The API document's fixed part, carried in the program.
std::string_view ApiDocumentBase();

}  // namespace lumora::service
