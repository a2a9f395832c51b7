// A stand-in for the adapter on a pseudo-terminal, for the tests and the demo.
// It links the terminal's device as COMn into a port directory (the directory
// that TR20KX_PORT_DIR names), answers the AT commands with CR LF lines that
// carry its model text, and can misbehave on request.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

constexpr char XON = 0x11;
constexpr char XOFF = 0x13;
constexpr int WIRE_BYTES_PER_SECOND = 11520;  // 115200 bit/s with 10 bits a byte

// The flash loader, entered with "AAT*VER1\r": it prompts "Y or N", erases on
// "Y", then prompts "Y or S ?" before each image, answers "Y" with
// "--> Please UPLOAD" and takes Intel HEX records, each ended by a CR.
struct LoaderOptions {
  int eraseMs = 0;                // how long the erase takes
  int programMsPerLine = 0;       // XOFF is held this long while each record is programmed
  std::string banner;             // text sent before every prompt
  std::size_t promptPieces = 1;   // prompts (with their banner) go out in this many pieces
  int pieceGapMs = 0;             // pause between the pieces
  bool nulBeforePrompt = false;   // a NUL byte right before every prompt
  std::string afterPrompt;        // bytes sent right after every prompt
  int stallAtPrompt = -1;         // prompt number n (0 is "Y or N") never comes
  int hangUpAfterRecords = -1;    // hang up after this many records in all
};

// What the loader received.
struct LoaderReport {
  bool erased = false;
  std::vector<std::string> images;  // each complete image's records, as received (each ends in CR)
  std::string partial;              // the records of the image being received
  int records = 0;                  // records taken, in all images
  int badRecords = 0;               // records that were no valid Intel HEX, or failed their checksum
  std::size_t lineFeeds = 0;        // line feeds received while records were expected
  double streamingSeconds = 0;      // from each image's first byte to its end record, summed
};

struct Options {
  std::string model = "MOLVEX TR20KX";  // the identity text in the replies
  bool silent = false;                  // answer nothing at all
  int replyDelayMs = 0;                 // pause before each reply
  int byteGapMs = 0;                    // pause between the bytes of a reply (0: all at once)
  bool nulBytes = false;                // put a NUL after every byte of a reply
  bool emulateWire = false;             // carry at most 11520 bytes/s each way
  // Replies by command (without its CR); they replace the built-in ones, and an
  // empty reply means no answer to that command.
  std::map<std::string, std::string> replies;
  LoaderOptions loader;
};

class AdapterSim {
 public:
  explicit AdapterSim(Options options = {});
  ~AdapterSim();
  AdapterSim(const AdapterSim&) = delete;
  AdapterSim& operator=(const AdapterSim&) = delete;

  // Opens a pseudo-terminal, links its device as dir/COM<number> and starts answering.
  // Returns false, with a reason in Error(), when that fails.
  bool Start(const std::string& dir, int number);
  // Stops answering, closes the terminal and removes the link.
  void Stop();
  const std::string& Error() const { return error_; }
  const std::string& LinkPath() const { return linkPath_; }
  const std::string& DevicePath() const { return devicePath_; }

  // Everything received so far, and the commands (CR-ended lines) among it.
  std::string Received() const;
  std::vector<std::string> Commands() const;
  // Waits up to timeoutMs until the received bytes contain `text`.
  bool WaitForReceived(const std::string& text, int timeoutMs) const;
  // Waits up to timeoutMs until `count` commands have come in.
  bool WaitForCommands(std::size_t count, int timeoutMs) const;
  // What the flash loader received so far.
  LoaderReport Loader() const;
  // Waits up to timeoutMs until the loader has taken `count` complete images.
  bool WaitForImages(std::size_t count, int timeoutMs) const;

  // Sends bytes to the program at once (paced like replies when the wire is emulated).
  void Send(const std::string& bytes);
  // Sends XOFF now and XON after `milliseconds`.
  void HoldXoff(int milliseconds);
  // Closes the terminal, as when the adapter is unplugged; the link is left dangling.
  void HangUp();

 private:
  void Run();
  enum class Mode { kCommands, kLoaderErase, kLoaderImage, kLoaderRecords };

  void OnBytes(const char* bytes, std::size_t count);
  void OnCommandByte(char byte);
  void OnCommand(const std::string& command);
  void OnLoaderByte(char byte);
  void OnRecord(const std::string& record);
  void Prompt(const std::string& prompt);
  std::string ReplyTo(const std::string& command) const;
  void Reply(const std::string& text);
  void WriteRaw(const char* bytes, std::size_t count);
  void PaceWire(std::size_t count, std::chrono::steady_clock::time_point& next, bool backlog);
  void CloseTerminal();

  Options options_;
  std::string error_, linkPath_, devicePath_;
  int master_ = -1;
  int slave_ = -1;  // held open so the terminal lives while the program reopens it
  int wake_ = -1;
  std::thread worker_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string received_;
  std::vector<std::string> commands_;
  std::string line_;  // the command or record being received
  Mode mode_ = Mode::kCommands;  // used only by the worker
  LoaderReport loader_;
  int prompts_ = 0;
  std::chrono::steady_clock::time_point imageStart_{};
  bool stopping_ = false;
  bool hangUpRequested_ = false;
  bool hungUp_ = false;
  std::chrono::steady_clock::time_point xonAt_{};
  bool xonPending_ = false;

  std::mutex writeMutex_;
  std::chrono::steady_clock::time_point nextSend_{};
  std::chrono::steady_clock::time_point nextReceive_{};
  bool receiveBacklog_ = false;  // the last read took all it asked for
};

}  // namespace sim
