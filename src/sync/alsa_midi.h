// TAlsaMidiPort: MIDI timecode through the ALSA sequencer, a thin wrapper
// that sends bytes as sequencer events and reads events back as bytes. Used
// only where the machine has a sequencer (/dev/snd/seq); the bytes
// themselves come from and go to the MIDI timecode sender and decoder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct _snd_seq;
struct snd_midi_event;

namespace lumora::sync {

inline constexpr const char* kAlsaSequencerDevice = "/dev/snd/seq";

class TAlsaMidiPort {
 public:
  TAlsaMidiPort() = default;
  ~TAlsaMidiPort();
  TAlsaMidiPort(const TAlsaMidiPort&) = delete;
  TAlsaMidiPort& operator=(const TAlsaMidiPort&) = delete;

  static bool Available();

  // A sequencer client of that name with one port others can read from and
  // write to. Empty on success, else why not.
  std::string Open(const std::string& clientName);
  // Subscribes the port to "client:port" (as aconnect names them): sending
  // to it, or receiving from it.
  std::string ConnectTo(const std::string& address);
  std::string ConnectFrom(const std::string& address);

  std::string Send(std::span<const std::uint8_t> bytes);
  // The bytes of the events that arrive within timeoutMs.
  std::vector<std::uint8_t> Receive(int timeoutMs, std::string& error);

 private:
  void close();
  std::string connect(const std::string& address, bool sending);

  _snd_seq* fSequencer = nullptr;
  snd_midi_event* fEncoder = nullptr;
  snd_midi_event* fDecoder = nullptr;
  int fPort = -1;
};

}  // namespace lumora::sync
