// The simulated adapter's flash loader.
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "sim/adapter_sim.h"

namespace sim {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Checks one record (without its CR): ':', its byte count, the data and the checksum.
// Returns the record type, or -1 when the record is not valid.
int RecordType(const std::string& record) {
  if (record.size() < 11 || record[0] != ':' || record.size() % 2 == 0) return -1;
  unsigned sum = 0;
  std::vector<unsigned> bytes;
  for (std::size_t i = 1; i + 1 < record.size(); i += 2) {
    const int high = HexDigit(record[i]);
    const int low = HexDigit(record[i + 1]);
    if (high < 0 || low < 0) return -1;
    bytes.push_back(static_cast<unsigned>(high * 16 + low));
    sum += bytes.back();
  }
  if (bytes.size() != bytes[0] + 5u || (sum & 0xFF) != 0) return -1;
  return static_cast<int>(bytes[3]);
}

const char* const kYesNoPrompt = "Erase flash ROM (Y or N) ";
const char* const kNextImagePrompt = "\r\nNext image (Y or S ?) ";
const char* const kUploadPrompt = "\r\n--> Please UPLOAD\r\n";
const char* const kOk = "\r\nOK\r\n";

}  // namespace

void AdapterSim::OnLoaderByte(char byte) {
  switch (mode_) {
    case Mode::kLoaderErase:
      if (byte == 'Y') {
        std::this_thread::sleep_for(std::chrono::milliseconds(options_.loader.eraseMs));
        {
          std::lock_guard lock(mutex_);
          loader_.erased = true;
        }
        mode_ = Mode::kLoaderImage;
        Prompt(kNextImagePrompt);
      } else if (byte == 'N') {
        mode_ = Mode::kCommands;
        Reply(kOk);
      }
      return;
    case Mode::kLoaderImage:
      // "Y" or "S" answer the prompt; anything else is taken as a command, which
      // leaves the loader (the program's final command arrives here).
      if (line_.empty() && (byte == 'Y' || byte == 'S')) {
        mode_ = byte == 'Y' ? Mode::kLoaderRecords : Mode::kCommands;
        if (byte == 'Y')
          Prompt(kUploadPrompt);
        else
          Reply(kOk);
        return;
      }
      if (byte == '\r') {
        mode_ = Mode::kCommands;
        OnCommandByte(byte);
      } else if (byte != '\n') {
        std::lock_guard lock(mutex_);
        line_.push_back(byte);
      }
      return;
    case Mode::kLoaderRecords:
      if (byte == '\n') {
        std::lock_guard lock(mutex_);
        ++loader_.lineFeeds;
        return;
      }
      if (byte != '\r') {
        std::lock_guard lock(mutex_);
        if (line_.empty() && loader_.partial.empty()) imageStart_ = std::chrono::steady_clock::now();
        line_.push_back(byte);
        return;
      }
      {
        std::string record;
        {
          std::lock_guard lock(mutex_);
          record.swap(line_);
        }
        OnRecord(record);
      }
      return;
    case Mode::kCommands:
      return;
  }
}

void AdapterSim::OnRecord(const std::string& record) {
  const int type = RecordType(record);
  bool hangUp = false;
  {
    std::lock_guard lock(mutex_);
    loader_.partial += record + '\r';
    ++loader_.records;
    if (type != 0 && type != 1) ++loader_.badRecords;
    if (type == 1) {
      loader_.streamingSeconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - imageStart_).count();
      loader_.images.push_back(std::move(loader_.partial));
      loader_.partial.clear();
    }
    hangUp = options_.loader.hangUpAfterRecords >= 0 && loader_.records >= options_.loader.hangUpAfterRecords;
  }
  changed_.notify_all();
  if (hangUp) {
    CloseTerminal();
    std::lock_guard lock(mutex_);
    hungUp_ = true;
    mode_ = Mode::kCommands;
    return;
  }
  if (options_.loader.programMsPerLine > 0) {
    WriteRaw(&XOFF, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.loader.programMsPerLine));
    WriteRaw(&XON, 1);
  }
  if (type == 1) {
    mode_ = Mode::kLoaderImage;
    Prompt(kNextImagePrompt);
  }
}

void AdapterSim::Prompt(const std::string& prompt) {
  const LoaderOptions& o = options_.loader;
  if (prompts_++ == o.stallAtPrompt) return;
  std::string text = o.banner;
  if (o.nulBeforePrompt) text.push_back('\0');
  text += prompt + o.afterPrompt;
  const std::size_t pieces = o.promptPieces == 0 ? 1 : o.promptPieces;
  const std::size_t size = (text.size() + pieces - 1) / pieces;
  for (std::size_t at = 0; at < text.size(); at += size) {
    if (at > 0 && o.pieceGapMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.pieceGapMs));
    WriteRaw(text.data() + at, std::min(size, text.size() - at));
  }
}

}  // namespace sim
