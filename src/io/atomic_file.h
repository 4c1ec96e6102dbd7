// Files replaced whole: the new content goes to a temporary name beside the
// file, reaches the disk, and only then takes the file's name, so a reader
// or a power cut sees the old file or the new one, never half of either.
#pragma once

#include <string>
#include <string_view>

namespace lumora {

// Writes the bytes to a temporary file in the same folder (with the mode of
// the file it replaces, else 0600), syncs it, renames it over `path` and syncs the folder. The
// temporary file is removed on every failure, which raises TLoadError
// naming the path and the fault; the old file is then left as it was.
void ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace lumora
