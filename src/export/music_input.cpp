#include "export/music_input_p.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

extern "C" {
#include <libavutil/mem.h>
}

#include "export/music_file.h"

namespace lumora {

namespace {

// Readers of sound files that name no other file and fetch nothing; a play
// list (HLS, DASH, concat, SDP, image sequences) is none of them. MOV's
// references to other files stay off, as they are by default.
constexpr std::array<std::string_view, 10> kMusicFormats = {"wav", "w64", "aiff", "mp3",      "flac",
                                                            "ogg", "aac", "mov",  "matroska", "asf"};
// Beyond the sound and a picture or two of a cover.
constexpr int kMaxStreams = 16;
constexpr int kIoBufferSize = 64 * 1024;
constexpr std::size_t kTextProbeBytes = 64;

bool isMusicFormat(const char* names) {
  std::string_view rest(names);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view name = rest.substr(0, comma);
    if (std::find(kMusicFormats.begin(), kMusicFormats.end(), name) != kMusicFormats.end()) return true;
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return false;
}

// Play lists and manifests are text: a file that starts like text (after
// a byte-order mark) is not music, whatever a reader would make of it.
bool looksLikeText(std::span<const std::uint8_t> head) {
  if (head.size() >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF))) return true;
  if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) head = head.subspan(3);
  const auto space = [](std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  const auto first = std::find_if_not(head.begin(), head.end(), space);
  if (first != head.end() && (*first == '#' || *first == '<' || *first == '[')) return true;
  return !head.empty() &&
         std::all_of(head.begin(), head.end(), [&](std::uint8_t c) { return space(c) || (c >= 0x20 && c < 0x7F); });
}

// Nothing a reader names is ever opened.
int refuseToOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

TFileInput openMusicFile(const std::string& path) {
  try {
    return TFileInput(path);
  } catch (const TLoadError& error) {
    throw EMusicFile(std::string("cannot read the music ") + error.what());
  }
}

}  // namespace

std::string MusicFormats() {
  std::string list;
  for (const std::string_view name : kMusicFormats) list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

void TMusicInput::TIoDeleter::operator()(AVIOContext* io) const {
  av_freep(&io->buffer);
  avio_context_free(&io);
}

TMusicInput::TMusicInput(const std::string& path, TMusicTimeLimits limits)
    : fPath(path), fLimits(std::move(limits)), fDeadline(fLimits.Now() + fLimits.Opening), fFile(openMusicFile(path)) {
  std::array<std::uint8_t, kTextProbeBytes> head{};
  const std::size_t got = fFile.Read(head);
  if (looksLikeText(std::span(head).first(got))) fail("it is text (a play list?), not a sound file");
  fFile.Seek(0);
  openReader();
  openDemuxer(probeFormat());
}

TMusicInput::~TMusicInput() = default;

void TMusicInput::openReader() {
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
  if (buffer == nullptr) fail("out of memory");
  AVIOContext* io =
      avio_alloc_context(buffer, kIoBufferSize, 0, this, &TMusicInput::readBytes, nullptr, &TMusicInput::seek);
  if (io == nullptr) {
    av_free(buffer);
    fail("out of memory");
  }
  fIo.reset(io);
}

// From the bytes alone: no name is given, so no extension counts.
const AVInputFormat& TMusicInput::probeFormat() {
  const AVInputFormat* format = nullptr;
  const int score = av_probe_input_buffer2(fIo.get(), &format, "", nullptr, 0, 0);
  if (late()) fail("it took too long to read");
  if (score < 0 || format == nullptr) fail("it is no sound file FFmpeg knows (" + ffmpeg::ErrorText(score) + ")");
  if (!isMusicFormat(format->name)) fail("it is " + std::string(format->name) + ", not one of " + MusicFormats());
  if (score <= AVPROBE_SCORE_RETRY) fail("it is too little like " + std::string(format->name) + " to be taken for it");
  return *format;
}

void TMusicInput::openDemuxer(const AVInputFormat& format) {
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) fail("out of memory");
  context->pb = fIo.get();
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
  context->io_open = refuseToOpen;
  context->interrupt_callback = {&TMusicInput::interrupted, this};
  context->max_streams = kMaxStreams;
  context->protocol_whitelist = av_strdup("");
  context->format_whitelist = av_strdup(format.name);
  if (context->protocol_whitelist == nullptr || context->format_whitelist == nullptr) {
    avformat_free_context(context);
    fail("out of memory");
  }
  // On failure the context is freed, and the pointer cleared, for us.
  const int opened = avformat_open_input(&context, "", &format, nullptr);
  if (opened < 0) fail(late() ? "it took too long to read" : ffmpeg::ErrorText(opened));
  fContext.reset(context);
  const int found = avformat_find_stream_info(context, nullptr);
  if (late()) fail("it took too long to read");
  if (found < 0) fail(ffmpeg::ErrorText(found));
}

int TMusicInput::ReadPacket(AVPacket& packet) {
  fDeadline = fLimits.Now() + fLimits.Reading;
  const int read = av_read_frame(fContext.get(), &packet);
  if (late()) fail("it took too long to read");
  return read;
}

bool TMusicInput::late() const { return fLimits.Now() > fDeadline; }

void TMusicInput::fail(const std::string& why) const {
  throw EMusicFile("cannot read the music " + fPath + " (" + why + ")");
}

// The callbacks run inside FFmpeg: they answer error codes and never throw.
int TMusicInput::readBytes(void* opaque, std::uint8_t* buffer, int size) {
  auto& input = *static_cast<TMusicInput*>(opaque);
  if (input.late()) return AVERROR_EXIT;
  try {
    const std::size_t got = input.fFile.Read(std::span(buffer, static_cast<std::size_t>(size)));
    input.fPosition += got;
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
  } catch (const std::exception&) {
    return AVERROR(EIO);
  }
}

std::int64_t TMusicInput::seek(void* opaque, std::int64_t offset, int whence) {
  auto& input = *static_cast<TMusicInput*>(opaque);
  const auto size = static_cast<std::int64_t>(input.fFile.Size());
  if ((whence & AVSEEK_SIZE) != 0) return size;
  const std::int64_t base = (whence & 3) == SEEK_CUR   ? static_cast<std::int64_t>(input.fPosition)
                            : (whence & 3) == SEEK_END ? size
                                                       : 0;
  if (offset > std::numeric_limits<std::int64_t>::max() - base || base + offset < 0) return AVERROR(EINVAL);
  try {
    input.fFile.Seek(static_cast<std::uint64_t>(base + offset));
  } catch (const std::exception&) {
    return AVERROR(EIO);
  }
  input.fPosition = static_cast<std::uint64_t>(base + offset);
  return base + offset;
}

int TMusicInput::interrupted(void* opaque) { return static_cast<const TMusicInput*>(opaque)->late() ? 1 : 0; }

void CheckMusicFile(const std::string& path) {
  TMusicInput input(path);
  if (av_find_best_stream(&input.Context(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) < 0) {
    throw EMusicFile("cannot read the music " + path + " (it holds no sound)");
  }
}

}  // namespace lumora
