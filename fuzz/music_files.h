// Sound files, and the play lists, manifests and scripts that must never be
// taken for music, written by our own code: the export tests play them and
// the music fuzz target starts from them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "export/music_encoder_p.h"
#include "export/muxer_p.h"
#include "io/stream.h"

namespace lumora::fuzz {

// A WAV file's header for `bytes` of samples of the format (1 integer PCM,
// 3 floating point).
inline std::vector<std::uint8_t> wavHeader(int format, int bits, int rate, int channels, std::uint32_t bytes) {
  TStreamWriter w;
  const auto text = [&w](const char* s) { w.WriteBytes(std::vector<std::uint8_t>(s, s + 4)); };
  const auto frame = static_cast<std::uint16_t>(channels * bits / 8);
  text("RIFF");
  w.WriteU32(36 + bytes);
  text("WAVE");
  text("fmt ");
  w.WriteU32(16);
  w.WriteU16(static_cast<std::uint16_t>(format));
  w.WriteU16(static_cast<std::uint16_t>(channels));
  w.WriteU32(static_cast<std::uint32_t>(rate));
  w.WriteU32(static_cast<std::uint32_t>(rate) * frame);
  w.WriteU16(frame);
  w.WriteU16(static_cast<std::uint16_t>(bits));
  text("data");
  w.WriteU32(bytes);
  return w.TakeData();
}

// 16-bit PCM of interleaved samples.
inline std::vector<std::uint8_t> WavBytes(int rate, int channels, const std::vector<std::int16_t>& samples) {
  TStreamWriter w;
  w.WriteBytes(wavHeader(1, 16, rate, channels, static_cast<std::uint32_t>(samples.size() * 2)));
  for (const std::int16_t sample : samples) w.WriteU16(static_cast<std::uint16_t>(sample));
  return w.TakeData();
}

// 32-bit floating-point samples, interleaved; any value, NaN and infinities
// included.
inline std::vector<std::uint8_t> FloatWavBytes(int rate, int channels, const std::vector<float>& samples) {
  TStreamWriter w;
  w.WriteBytes(wavHeader(3, 32, rate, channels, static_cast<std::uint32_t>(samples.size() * 4)));
  for (const float sample : samples) w.WriteFloat(sample);
  return w.TakeData();
}

// A quiet tone of hertz on every channel, with a loud click of a millisecond
// at clickSeconds.
inline std::vector<std::int16_t> ToneSamples(int rate, int channels, double seconds, double hertz,
                                             double clickSeconds = -1) {
  std::vector<std::int16_t> samples;
  for (int i = 0; i < static_cast<int>(rate * seconds); ++i) {
    const double t = double(i) / rate;
    const bool click = t >= clickSeconds && t < clickSeconds + 0.001;
    const auto sample = static_cast<std::int16_t>(click ? 30000 : 9000 * std::sin(2 * std::numbers::pi * hertz * t));
    samples.insert(samples.end(), static_cast<std::size_t>(channels), sample);
  }
  return samples;
}

inline void WriteWavSamples(const std::string& path, int rate, int channels, const std::vector<std::int16_t>& samples) {
  WriteFileBytes(path, WavBytes(rate, channels, samples));
}

inline void WriteWav(const std::string& path, int rate, int channels, double seconds, double hertz,
                     double clickSeconds = -1) {
  WriteWavSamples(path, rate, channels, ToneSamples(rate, channels, seconds, hertz, clickSeconds));
}

// Seven tenths of a second of a tone, encoded by the export's own sound
// stream into the container ("mp3", "flac", "ogg", "adts", "ipod",
// "matroska", "mpegts") with the encoder ("libmp3lame", "aac", …).
inline void WriteEncodedTone(const std::string& path, const char* container, const char* encoder) {
  const std::string wav = path + ".wav";
  WriteWav(wav, 44100, 2, 0.7, 330);
  {
    TMuxer muxer(container, path);
    TMusicEncoder sound(muxer, encoder, 128000, wav, false);
    muxer.Start();
    sound.Finish(700);
    muxer.Finish();
  }
  std::remove(wav.c_str());
}

// Texts that name other files or addresses. An HLS play list of one
// segment; a live one has no end and a segment a day long, so a reader
// waits for the next for ever.
inline std::string HlsPlaylist(const std::string& segment, bool live = false) {
  const std::string length = live ? "86400" : "10";
  return "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" + length + "\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:" + length +
         ".0,\n" + segment + "\n" + (live ? "" : "#EXT-X-ENDLIST\n");
}

inline std::string DashManifest(const std::string& segment) {
  return "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"static\" "
         "mediaPresentationDuration=\"PT1S\" minBufferTime=\"PT1S\" profiles=\"urn:mpeg:dash:profile:full:2011\">"
         "<Period><AdaptationSet mimeType=\"audio/wav\"><Representation id=\"1\" bandwidth=\"1\">"
         "<BaseURL>" +
         segment + "</BaseURL></Representation></AdaptationSet></Period></MPD>\n";
}

inline std::string ConcatScript(const std::string& file) { return "ffconcat version 1.0\nfile '" + file + "'\n"; }

inline std::string SdpSession() {
  return "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=music\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
         "m=audio 5004 RTP/AVP 0\r\n";
}

inline std::string PlsPlaylist(const std::string& file) {
  return "[playlist]\nFile1=" + file + "\nNumberOfEntries=1\n";
}

inline std::vector<std::uint8_t> TextBytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace lumora::fuzz
