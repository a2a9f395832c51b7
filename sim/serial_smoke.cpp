// serial-smoke: lists the ports that can be opened, opens the first one with
// the adapter's line settings, sends "AATE\r" and prints the reply.
#include <cctype>
#include <cstdio>

#include "serial/port.h"
#include "serial/receive.h"
#include "serial/transmit.h"

namespace {

void PrintVisible(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '\r')
      std::fputs("\\r", stdout);
    else if (c == '\n')
      std::fputs("\\n", stdout);
    else if (std::isprint(c))
      std::putchar(c);
    else
      std::printf("\\x%02X", c);
  }
  std::putchar('\n');
}

}  // namespace

int main() {
  static char ports[PORT_PROBE_COUNT][PORT_NAME_SIZE];
  const int count = ProbePorts(ports, PORT_PROBE_COUNT);
  std::printf("ports:");
  for (int i = 0; i < count; ++i) std::printf(" %s", ports[i]);
  std::printf("%s\n", count == 0 ? " none" : "");
  if (count == 0) return 1;

  std::snprintf(portName, sizeof portName, "%s", ports[0]);
  if (!OpenPort()) {
    std::printf("%s: cannot open\n", ports[0]);
    return 1;
  }
  if (!ApplyLineSettings()) {
    std::printf("%s: line settings refused\n", ports[0]);
    ClosePort();
    return 1;
  }
  if (!StartReceiveThread()) return 1;
  static char reply[96];
  SendText("AATE\r", 5);
  const int complete = WaitForLines(reply, sizeof reply, 4, 1);
  std::printf("%s answers \"AATE\\r\" with%s: ", ports[0], complete ? "" : " (timed out)");
  PrintVisible(reply);
  StopReceiveThread();
  return complete ? 0 : 1;
}
