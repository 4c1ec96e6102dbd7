#include "sync/timecode_in.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "sync/alsa_midi.h"
#include "sync/alsa_pcm.h"
#include "sync/artnet_timecode.h"
#include "sync/ltc_audio.h"
#include "sync/midi_timecode.h"
#include "sync/udp_receiver.h"
#include "sync/wav_file.h"

namespace lumora::sync {

namespace {

constexpr int kWaitMs = 100;
// LTC is read in blocks of a fiftieth of a second.
constexpr std::uint32_t kBlocksPerSecond = 50;

}  // namespace

// What each kind of source keeps while it is read; Read is called in a
// loop on the thread until it asks to stop.
struct TTimecodeInput::TReader {
  TTimecodeInSource Source;
  TTimecodeSink Sink;
  THourOf Hour;
  TRealClock Clock;
  TUdpReceiver Socket;
  std::vector<std::uint8_t> Buffer;
  TAlsaMidiPort Midi;
  TMtcDecoder Mtc;
  std::unique_ptr<TWavReader> Wav;
  TAlsaPcm Audio;
  std::unique_ptr<TLtcDecoder> Ltc;
  std::int64_t Fed = 0;
  TSyncTime Began{};
  // A file's reader waits on this for its next block, or a stop.
  std::mutex PaceLock;
  std::condition_variable_any Pace;

  void open();
  // False once the source has ended.
  bool read(std::stop_token stop);
  void readArtNet();
  void readMtc();
  bool readLtc(std::stop_token stop);
  void heard(const TTimecode& timecode, double seconds) { Sink({timecode, seconds, Clock(), false}); }
};

void TTimecodeInput::TReader::open() {
  std::string error;
  switch (Source.Kind) {
    case TTimecodeInKind::ArtNet:
      error = Socket.Open(Source.Listen.Address, Source.Listen.Port);
      Buffer.resize(kMaxDatagram);
      break;
    case TTimecodeInKind::Mtc:
      error = Midi.Open("lumora timecode");
      if (error.empty() && !Source.Name.empty()) error = Midi.ConnectFrom(Source.Name);
      break;
    case TTimecodeInKind::LtcFile:
      Wav = std::make_unique<TWavReader>(Source.Name);
      error = Wav->Error();
      if (error.empty()) Ltc = std::make_unique<TLtcDecoder>(Wav->SampleRate(), Source.Rate);
      break;
    case TTimecodeInKind::LtcAudio:
      error = Audio.OpenCapture(Source.Name, kLtcSampleRate);
      Ltc = std::make_unique<TLtcDecoder>(kLtcSampleRate, Source.Rate);
      break;
    case TTimecodeInKind::Osc: error = "OSC timecode is read by the OSC server"; break;
  }
  if (!error.empty()) throw std::runtime_error("timecode in (" + TimecodeInName(Source) + "): " + error);
}

bool TTimecodeInput::TReader::read(std::stop_token stop) {
  switch (Source.Kind) {
    case TTimecodeInKind::ArtNet: readArtNet(); return true;
    case TTimecodeInKind::Mtc: readMtc(); return true;
    default: return readLtc(stop);
  }
}

// Other Art-Net packets share the port; only timecode is taken.
void TTimecodeInput::TReader::readArtNet() {
  std::string error;
  const auto received = Socket.Receive(Buffer, kWaitMs, error);
  if (!received) return;
  const auto packet = ParseArtTimeCode({Buffer.data(), received->Size}, error);
  if (packet) heard(packet->Timecode, SecondsOf(packet->Timecode, Hour()));
}

void TTimecodeInput::TReader::readMtc() {
  std::string error;
  const std::vector<std::uint8_t> bytes = Midi.Receive(kWaitMs, error);
  for (const TMtcEvent& event : Mtc.Feed(bytes)) {
    if (event.Kind == TMtcEvent::TKind::Stop) Sink({{}, 0, Clock(), true});
    if (event.Kind != TMtcEvent::TKind::Timecode) continue;
    // The decoder counts from hour 0; the show's hour comes off here.
    heard(event.Timecode, event.Seconds - SecondsOf(event.Timecode) + SecondsOf(event.Timecode, Hour()));
  }
}

// A file is read at the pace it would play; its end stops the timecode.
bool TTimecodeInput::TReader::readLtc(std::stop_token stop) {
  const std::uint32_t rate = Wav ? Wav->SampleRate() : kLtcSampleRate;
  std::string error;
  const std::vector<float> block = Wav ? Wav->Read(rate / kBlocksPerSecond) : Audio.Read(rate / kBlocksPerSecond, kWaitMs, error);
  if (Wav && block.empty()) {
    Sink({{}, 0, Clock(), true});
    return false;
  }
  Fed += static_cast<std::int64_t>(block.size());
  for (const TLtcFrame& frame : Ltc->Feed(block)) {
    heard(frame.Timecode, SecondsOf(frame.Timecode, Hour()) + static_cast<double>(Fed - frame.StartSample) / rate);
  }
  if (!Wav) return true;
  if (Began == TSyncTime{}) Began = TSyncClock::now();
  const auto due = Began + std::chrono::duration_cast<TSyncClock::duration>(std::chrono::duration<double>(static_cast<double>(Fed) / rate));
  std::unique_lock hold(PaceLock);
  Pace.wait_until(hold, stop, due, [] { return false; });
  return true;
}

std::string TimecodeInName(const TTimecodeInSource& source) {
  switch (source.Kind) {
    case TTimecodeInKind::ArtNet: return "artnet " + output::FormatEndpoint(source.Listen);
    case TTimecodeInKind::Mtc: return source.Name.empty() ? "mtc" : "mtc " + source.Name;
    case TTimecodeInKind::LtcFile: return "ltc " + source.Name;
    case TTimecodeInKind::LtcAudio: return "ltc audio " + source.Name;
    case TTimecodeInKind::Osc: return "osc";
  }
  return {};
}

TTimecodeInput::TTimecodeInput(const TTimecodeInSource& source, TTimecodeSink sink, THourOf hour, TRealClock clock)
    : fReader(std::make_unique<TReader>()) {
  fReader->Source = source;
  fReader->Sink = std::move(sink);
  fReader->Hour = std::move(hour);
  fReader->Clock = std::move(clock);
  fReader->open();
  fThread = std::jthread([reader = fReader.get()](std::stop_token stop) {
    while (!stop.stop_requested() && reader->read(stop)) {
    }
  });
}

TTimecodeInput::~TTimecodeInput() {
  fThread.request_stop();
  if (fThread.joinable()) fThread.join();
}

std::uint16_t TTimecodeInput::Port() const { return fReader->Socket.Port(); }

}  // namespace lumora::sync
