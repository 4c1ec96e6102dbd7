// Files built to the limits and past them, made by our own writers: each
// stands for one way a few bytes of a file could ask for gigabytes or
// minutes. The sizes are parameters: the tests meet them at a small scale
// under a small budget, the fuzz seeds near the targets' limits, and
// measurements at full scale. Bodies are compressed as they are produced, so a body of a
// gigabyte costs no more than its compressed size.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "effects/light_graphic.h"
#include "effects/light_strip_state.h"
#include "effects/polyline_group_state.h"
#include "effects/split_tool.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "scene/closed_shapes.h"
#include "scene/graphic_bitmap.h"
#include "scene/lines_and_paths.h"

namespace lumora::fuzz {

// Bytes that a body repeats a number of times.
struct TBodyPart {
  std::vector<std::uint8_t> Bytes;
  std::uint64_t Times = 1;
};
using TBodyParts = std::vector<TBodyPart>;

// One zlib stream of the parts, deflated piece by piece.
inline std::vector<std::uint8_t> deflateParts(const TBodyParts& parts) {
  z_stream z{};
  if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK) throw std::runtime_error("deflateInit failed");
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> chunk(1 << 16);
  const auto pump = [&](const std::uint8_t* data, std::size_t size, int flush) {
    z.next_in = const_cast<std::uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    do {
      z.next_out = chunk.data();
      z.avail_out = static_cast<uInt>(chunk.size());
      deflate(&z, flush);
      out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
    } while (z.avail_out == 0);
  };
  // Repeated parts go through in blocks of about a mebibyte.
  for (const TBodyPart& part : parts) {
    if (part.Bytes.empty()) continue;
    const std::uint64_t perBlock = std::max<std::uint64_t>(1, (std::uint64_t{1} << 20) / part.Bytes.size());
    std::vector<std::uint8_t> block;
    for (std::uint64_t i = 0; i < std::min(perBlock, part.Times); ++i) {
      block.insert(block.end(), part.Bytes.begin(), part.Bytes.end());
    }
    for (std::uint64_t done = 0; done < part.Times;) {
      const std::uint64_t n = std::min(perBlock, part.Times - done);
      pump(block.data(), static_cast<std::size_t>(n * part.Bytes.size()), Z_NO_FLUSH);
      done += n;
    }
  }
  pump(nullptr, 0, Z_FINISH);
  deflateEnd(&z);
  return out;
}

inline std::vector<std::uint8_t> s32Bytes(std::initializer_list<std::int32_t> values) {
  TStreamWriter w;
  for (const std::int32_t v : values) w.WriteS32(v);
  return w.TakeData();
}

inline TBodyPart zeros(std::uint64_t n) { return {{0}, n}; }

// A version-6 file of the parts.
inline std::vector<std::uint8_t> layeredFile(const TBodyParts& parts) {
  TStreamWriter file;
  file.WriteBytes(MovieMagic(6));
  file.WriteBytes(deflateParts(parts));
  return file.TakeData();
}

// The head of a version-6 body: size, stored rectangle, setting, layers.
inline TBodyPart layeredHead(std::int32_t width, std::int32_t height, std::int32_t layers) {
  TStreamWriter w;
  w.WriteS32(width);
  w.WriteS32(height);
  WriteRect(w, {});
  w.WriteU8(1);
  w.WriteS32(layers);
  return {w.TakeData()};
}

// A layer record's own part: masked flag and graphic count.
inline TBodyPart layerHead(std::int32_t graphics) {
  TStreamWriter w;
  w.WriteU8(0);
  w.WriteS32(graphics);
  return {w.TakeData()};
}

// One grid layer of frames × 1 × 1 cells and no line records, and an empty
// music section: what a movie needs to play.
inline TBodyPart playableTail(std::int32_t frames = 2) {
  TStreamWriter w;
  w.WriteS32(1);
  w.WriteS32(0);
  w.WriteS32(1);
  w.WriteS32(1);
  w.WriteS32(1);
  w.WriteS32(1);
  w.WriteS32(0);
  w.WriteU8(0);
  w.WriteU8(1);
  w.WriteS32(16);
  w.WriteU32(0);
  w.WriteS32(1);
  w.WriteU8(1);
  w.WriteS32(16);
  w.WriteS32(frames);
  w.WriteS32(1);
  w.WriteS32(1);
  for (std::int32_t i = 0; i < frames; ++i) {
    w.WriteU8(static_cast<std::uint8_t>(10 * i));
    w.WriteU8(0);
    w.WriteU8(0);
  }
  w.WriteU8(0);
  TMovieFile::WriteMusicSection(w, nullptr);
  return {w.TakeData()};
}

// A version-6 movie of one layer holding the graphic parts.
inline std::vector<std::uint8_t> oneLayerMovie(std::int32_t graphics, TBodyParts graphicParts,
                                               std::int32_t width = 640, std::int32_t height = 480) {
  TBodyParts parts{layeredHead(width, height, 1), layerHead(graphics)};
  for (TBodyPart& p : graphicParts) parts.push_back(std::move(p));
  parts.push_back(playableTail());
  return layeredFile(parts);
}

inline std::vector<std::uint8_t> bodyBytes(TGraphicBase& g) {
  TStreamWriter w;
  g.WriteBody(w);
  return w.TakeData();
}

// A polyline's record around a point list of its own: the record as written
// with no points, its count replaced by n and the points put in.
inline TBodyParts polylineParts(TPolyLine& line, std::int64_t n, const TBodyPart& points) {
  line.Outline().SetPoints({});
  std::vector<std::uint8_t> bytes = bodyBytes(line);
  const std::uint8_t fromSplit = bytes.back();
  bytes.resize(bytes.size() - 5);
  TStreamWriter count;
  count.WriteS32(static_cast<std::int32_t>(n));
  bytes.insert(bytes.end(), count.Data().begin(), count.Data().end());
  return {{bytes}, points, {{fromSplit}}};
}

// (0, 0) and (length, 0) in turn, n points in all (n even).
inline TBodyPart zigzagPoints(std::int64_t n, std::int32_t length) {
  return {s32Bytes({0, 0, FixedFromInt(length), 0}), static_cast<std::uint64_t>(n / 2)};
}

// A polyline of n points drawn as a neon tube `width` pixels wide (0: a
// thin line drawn anew every frame).
inline std::vector<std::uint8_t> longPolylineMovie(std::int64_t n, std::int32_t width = 3) {
  TPolyLine line(nullptr);
  line.SetLineWidth(FixedFromInt(width));
  return oneLayerMovie(1, polylineParts(line, n, zigzagPoints(n, 300)));
}

// A light strip along a zigzag of n points: about one lamp of the size per
// stroke, every lamp on the same few rows of the frame.
inline std::vector<std::uint8_t> lampStripMovie(std::int64_t n, std::int32_t lampSize) {
  TPolyLine line(nullptr);
  auto strip = std::make_unique<TDengDaiState>();
  strip->LampSize = lampSize;
  strip->SpacingFactor = 1;
  line.SetEffect(std::move(strip));
  return oneLayerMovie(1, polylineParts(line, n, zigzagPoints(n, lampSize)), lampSize + 100, 100);
}

// One polyline cut into one piece per cell of the range.
inline std::vector<std::uint8_t> polylineGroupMovie(const TCellRange& range, std::int32_t length) {
  TPolyLine line(nullptr);
  auto group = std::make_unique<TPolyLineGroupState>();
  group->CellRange = range;
  group->SegmentStyle = ssLinePieces;
  line.SetEffect(std::move(group));
  line.SetGridLayer(0);
  return oneLayerMovie(1, polylineParts(line, 2, {s32Bytes({0, 0, FixedFromInt(length), 0})}));
}

// count copies of one small rectangle.
inline std::vector<std::uint8_t> rectanglesMovie(std::int32_t count) {
  TRectangle r(nullptr);
  r.SetSize({20, 10});
  r.BuildFromSize();
  r.SetPosition({5, 5});
  return oneLayerMovie(count, {{bodyBytes(r), static_cast<std::uint64_t>(count)}});
}

// A movie of side × side pixels with one outline round all of it, so that
// fitting the drawing keeps the whole frame: a hundred bytes that ask every
// frame of an export to be side² pixels.
inline std::vector<std::uint8_t> wholeFrameMovie(std::int32_t side) {
  TRectangle r(nullptr);
  r.SetSize({static_cast<float>(side), static_cast<float>(side)});
  r.BuildFromSize();
  r.SetPosition({0, 0});
  return oneLayerMovie(1, {{bodyBytes(r)}}, side, side);
}

// A picture of width × height pixels, all zero.
inline std::vector<std::uint8_t> pictureMovie(std::int32_t width, std::int32_t height) {
  TGraphicBitmap picture(nullptr);
  std::vector<std::uint8_t> bytes = bodyBytes(picture);
  // The empty picture's record ends in its size (0 x 0), key, flag and mode.
  const std::vector<std::uint8_t> tail(bytes.end() - 6, bytes.end());
  bytes.resize(bytes.size() - 14);
  const std::vector<std::uint8_t> size = s32Bytes({width, height});
  bytes.insert(bytes.end(), size.begin(), size.end());
  return oneLayerMovie(1, {{bytes}, zeros(std::uint64_t{4} * static_cast<std::uint32_t>(width) *
                                          static_cast<std::uint32_t>(height)),
                           {tail}});
}

// A swinging light whose image is side x side pixels.
inline std::vector<std::uint8_t> swingingLightMovie(std::int32_t side) {
  TLightGraphic light(nullptr);
  light.Image().Resize(side, side);
  light.Image().Clear(0x80FFFFFF);
  light.SetSize({static_cast<float>(side), static_cast<float>(side)});
  light.ApplyPivotAnchor(kPivotAnchorCentre);
  return oneLayerMovie(1, {{bodyBytes(light)}});
}

// `layers` masked layers, each of a frame-sized mask and one small
// rectangle.
inline std::vector<std::uint8_t> maskedLayersMovie(std::int32_t layers, std::int32_t side) {
  TRectangle mask(nullptr);
  mask.SetSize({static_cast<float>(side), static_cast<float>(side)});
  mask.BuildFromSize();
  mask.SetEffect(CreateEffect(kEffectMask));
  TRectangle r(nullptr);
  r.SetSize({20, 10});
  r.BuildFromSize();
  TStreamWriter layer;
  layer.WriteU8(1);
  layer.WriteS32(2);
  layer.WriteBytes(bodyBytes(mask));
  layer.WriteBytes(bodyBytes(r));
  return layeredFile({layeredHead(side, side, layers), {layer.Data(), static_cast<std::uint64_t>(layers)}, playableTail()});
}

// The grid-layer list of `layers` layers of rows × columns cells without
// frames, each with line records (`lines` records of zeros).
inline TBodyParts gridLinesParts(std::int32_t layers, std::int32_t rows, std::int32_t columns, std::int32_t lines) {
  TStreamWriter head;
  head.WriteS32(layers);
  for (std::int32_t i = 0; i < layers; ++i) head.WriteS32(i);
  TStreamWriter layer;
  for (const std::int32_t v : {1, 1, rows, columns, 0}) layer.WriteS32(v);
  layer.WriteU8(0);
  layer.WriteU8(1);
  layer.WriteS32(16);
  layer.WriteU32(0);
  layer.WriteS32(0);
  layer.WriteU8(1);
  layer.WriteS32(lines);
  const std::uint64_t lineBytes = std::uint64_t{53} * static_cast<std::uint32_t>(lines);
  TBodyParts parts{{head.TakeData()}};
  for (std::int32_t i = 0; i < layers; ++i) {
    parts.push_back({layer.Data()});
    if (lineBytes > 0) parts.push_back(zeros(lineBytes));
  }
  return parts;
}

// A movie without graphics whose grid layers carry line records.
inline std::vector<std::uint8_t> gridLinesMovie(std::int32_t layers, std::int32_t rows, std::int32_t columns,
                                                std::int32_t lines) {
  TBodyParts parts{layeredHead(640, 480, 0)};
  for (TBodyPart& p : gridLinesParts(layers, rows, columns, lines)) parts.push_back(std::move(p));
  return layeredFile(parts);
}

// A movie of one rectangle whose music section names `name` and states
// `size` bytes, followed by the parts given.
inline std::vector<std::uint8_t> musicMovieOf(const std::string& name, std::uint32_t size, TBodyParts music) {
  TRectangle r(nullptr);
  r.SetSize({20, 10});
  r.BuildFromSize();
  TBodyParts parts{layeredHead(640, 480, 1), layerHead(1), {bodyBytes(r)}};
  TBodyPart tail = playableTail();
  tail.Bytes.resize(tail.Bytes.size() - 5);
  TStreamWriter w;
  w.WriteU8(1);
  w.WriteS32(static_cast<std::int32_t>(name.size()));
  w.WriteBytes(std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()));
  w.WriteS32(static_cast<std::int32_t>(size));
  parts.push_back(std::move(tail));
  parts.push_back({w.TakeData()});
  for (TBodyPart& part : music) parts.push_back(std::move(part));
  return layeredFile(parts);
}

// A movie whose music section names `name`, states `size` bytes and carries
// `carried` of them (all of them unless given), each its index mod 251.
inline std::vector<std::uint8_t> musicMovie(const std::string& name, std::uint32_t size,
                                            std::uint32_t carried = UINT32_MAX) {
  std::vector<std::uint8_t> pattern(251);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i);
  const std::uint32_t data = std::min(size, carried);
  return musicMovieOf(name, size,
                      {{pattern, data / 251}, {std::vector<std::uint8_t>(pattern.begin(), pattern.begin() + data % 251)}});
}

// A movie carrying the music file's bytes under the name.
inline std::vector<std::uint8_t> musicMovie(const std::string& name, const std::vector<std::uint8_t>& music) {
  return musicMovieOf(name, static_cast<std::uint32_t>(music.size()), {{music}});
}

// A grid-program movie (version 1 or 3) with two frames of one cell and one
// layer of the records given, each a 40-byte header and the legacy body
// behind it.
inline std::vector<std::uint8_t> legacyMovie(bool version3, std::int32_t records, const TBodyParts& graphicParts) {
  TStreamWriter head;
  for (const std::int32_t v : {2, 1, 1, 640, 480, 0, 0, 0, 0, 0, 0}) head.WriteS32(v);
  head.WriteU8(0);
  head.WriteS32(0);
  for (int i = 0; i < 12; ++i) head.WriteU8(0);
  head.WriteU16(0x0F00);
  head.WriteU16(0x00F0);
  head.WriteS32(1);
  head.WriteS32(records);
  TBodyParts parts{{head.TakeData()}};
  parts.insert(parts.end(), graphicParts.begin(), graphicParts.end());
  TStreamWriter file;
  file.WriteBytes(MovieMagic(version3 ? 3 : 1));
  if (!version3) file.WriteU32(0);
  file.WriteBytes(deflateParts(parts));
  return file.TakeData();
}

// A 40-byte object header of the type code, one pixel wide.
inline std::vector<std::uint8_t> legacyHeader(std::uint8_t typeCode) {
  TStreamWriter w;
  for (const std::int32_t v : {255, 1, 0, 255, 0xFF00, 0xFF0000}) w.WriteS32(v);
  w.WriteU8(0);
  w.WriteU8(0);
  w.WriteU16(0);
  w.WriteS32(-1);
  w.WriteS32(-1);
  w.WriteU8(typeCode);
  w.WriteU8(7);
  w.WriteU16(0);
  return w.TakeData();
}

// The older polygon (code 4) or star (code 5) record of `corners` corners in
// a box of size pixels, placed without a turn.
inline std::vector<std::uint8_t> legacyCornerShape(std::uint8_t typeCode, std::int32_t corners, std::int32_t size) {
  std::vector<std::uint8_t> bytes = legacyHeader(typeCode);
  TStreamWriter w;
  for (const std::int32_t v : {10, 10, size, size, 0, corners, 50, 0, 0}) w.WriteS32(v);
  for (const float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) w.WriteFloat(f);
  for (int i = 0; i < 3; ++i) w.WriteU8(0);
  bytes.insert(bytes.end(), w.Data().begin(), w.Data().end());
  return bytes;
}

// Groups nested `depth` deep, each holding `children` body-less older
// polylines (code 11) before the next group.
inline TBodyParts legacyNestedGroups(std::int32_t depth, std::int32_t children) {
  TBodyParts parts;
  for (std::int32_t d = 0; d < depth; ++d) {
    std::vector<std::uint8_t> group = legacyHeader(9);
    const std::vector<std::uint8_t> count = s32Bytes({children + (d + 1 < depth ? 1 : 0)});
    group.insert(group.end(), count.begin(), count.end());
    parts.push_back({group});
    parts.push_back({legacyHeader(11), static_cast<std::uint64_t>(children)});
  }
  return parts;
}

// A grid movie file (.tol) whose header asks for frames of rows × columns
// cells; the frames themselves are not written.
inline std::vector<std::uint8_t> tolHeader(std::uint32_t frames, std::uint16_t rows, std::uint16_t columns,
                                           std::uint16_t cellWidth = 4, std::uint16_t cellHeight = 4) {
  TStreamWriter w;
  w.WriteU32BE(frames);
  w.WriteU16BE(rows);
  w.WriteU16BE(columns);
  w.WriteU16BE(cellHeight);
  w.WriteU16BE(cellWidth);
  w.WriteU8(0);
  w.WriteU8(0);
  return w.TakeData();
}

// The whole cell range a 32-bit field can name.
inline constexpr TCellRange kWidestCellRange{INT_MIN, INT_MIN, INT_MAX, INT_MAX};

}  // namespace lumora::fuzz
