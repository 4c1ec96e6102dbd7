# cmake -DOUTPUT=<file.cpp> -DNAME=<table> -DROOT=<folder> -DFILES=<a|b|...> -P EmbedFiles.cmake
#
# Writes a C++ table of the files' bytes, each named by its path under
# ROOT with a leading slash, so that a program carries them in itself.
string(REPLACE "|" ";" FILES "${FILES}")
set(entries "")
set(arrays "")
set(index 0)
foreach(file ${FILES})
  file(READ ${ROOT}/${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(APPEND arrays "const unsigned char kBytes${index}[] = {${bytes}0x00};\n")
  string(APPEND entries "    {\"/${file}\", {kBytes${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Written by the build from ${ROOT}; do not edit.
#include <cstddef>
#include <span>
#include <string_view>
#include <utility>

namespace {
${arrays}}  // namespace

namespace lumora::service {

extern const std::pair<std::string_view, std::span<const unsigned char>> ${NAME}[];
extern const std::size_t ${NAME}Count;
const std::pair<std::string_view, std::span<const unsigned char>> ${NAME}[] = {
${entries}};
const std::size_t ${NAME}Count = ${index};

}  // namespace lumora::service
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
