// Line settings: a DCB read from and applied to the port's termios.
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <cstring>

#include "platform/serial_port.h"
#include "platform/serial_port_impl.h"

namespace {

std::atomic<bool> refuseSettings{false};

struct Speed {
  DWORD baud;
  speed_t code;
};

constexpr Speed speeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

speed_t SpeedCode(DWORD baud) {
  for (const Speed& s : speeds)
    if (s.baud == baud) return s.code;
  return B0;
}

DWORD SpeedBaud(speed_t code) {
  for (const Speed& s : speeds)
    if (s.code == code) return s.baud;
  return 0;
}

// The termios bits that SetCommState decides, and that the port must keep.
constexpr tcflag_t kInputBits = IXON | IXOFF | IXANY | INPCK | IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL;
constexpr tcflag_t kControlBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CREAD | CLOCAL;
constexpr tcflag_t kLocalBits = ICANON | ECHO | ECHONL | ISIG | IEXTEN;

bool SetFraming(termios& t, const DCB& dcb) {
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return false;
  }
  switch (dcb.Parity) {
    case NOPARITY: break;
    case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag |= PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
  }
  switch (dcb.StopBits) {
    case ONESTOPBIT: break;
    case ONE5STOPBITS:  // one and a half stop bits exist only with 5 data bits
      if (dcb.ByteSize != 5) return false;
      t.c_cflag |= CSTOPB;
      break;
    case TWOSTOPBITS: t.c_cflag |= CSTOPB; break;
    default: return false;
  }
  return true;
}

void SetFlowAndRawMode(termios& t, const DCB& dcb) {
  t.c_iflag &= ~kInputBits;
  if (dcb.fOutX) t.c_iflag |= IXON;
  if (dcb.fInX) t.c_iflag |= IXOFF;
  if (dcb.fParity) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  t.c_cflag &= ~CRTSCTS;
  if (dcb.fOutxCtsFlow) t.c_cflag |= CRTSCTS;
  t.c_cflag |= CREAD | CLOCAL;
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~kLocalBits;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

bool SameSettings(const termios& wanted, const termios& actual) {
  return cfgetospeed(&actual) == cfgetospeed(&wanted) &&
         (cfgetispeed(&actual) == cfgetispeed(&wanted) || cfgetispeed(&actual) == B0) &&
         (actual.c_iflag & kInputBits) == (wanted.c_iflag & kInputBits) &&
         (actual.c_cflag & kControlBits) == (wanted.c_cflag & kControlBits) &&
         (actual.c_lflag & kLocalBits) == (wanted.c_lflag & kLocalBits) &&
         (actual.c_oflag & OPOST) == (wanted.c_oflag & OPOST) && actual.c_cc[VSTART] == wanted.c_cc[VSTART] &&
         actual.c_cc[VSTOP] == wanted.c_cc[VSTOP] && actual.c_cc[VMIN] == wanted.c_cc[VMIN] &&
         actual.c_cc[VTIME] == wanted.c_cc[VTIME];
}

// DTR and RTS input handshaking has no Linux counterpart: the lines are simply
// asserted (or dropped when disabled). Devices without modem lines refuse; that is fine.
void SetModemLines(int fd, const DCB& dcb) {
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  ioctl(fd, dcb.fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
  ioctl(fd, dcb.fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts);
}

}  // namespace

BOOL GetCommConfig(HANDLE handle, COMMCONFIG* config, LPDWORD size) {
  platform::PortCall port(handle);
  if (!port || config == nullptr || size == nullptr) return FALSE;
  if (*size < sizeof(COMMCONFIG)) {
    *size = sizeof(COMMCONFIG);
    return FALSE;
  }
  termios t{};
  if (tcgetattr(port->fd, &t) != 0) return FALSE;

  std::memset(config, 0, sizeof *config);
  config->dwSize = sizeof(COMMCONFIG);
  config->wVersion = 1;
  DCB& dcb = config->dcb;
  dcb = port->KeptMembers();
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = SpeedBaud(cfgetospeed(&t));
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if ((t.c_cflag & PARENB) == 0)
    dcb.Parity = NOPARITY;
  else if (t.c_cflag & CMSPAR)
    dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  else
    dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  dcb.StopBits = (t.c_cflag & CSTOPB) ? (dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS) : ONESTOPBIT;
  dcb.fParity = (t.c_iflag & INPCK) ? 1 : 0;
  dcb.fOutX = (t.c_iflag & IXON) ? 1 : 0;
  dcb.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
  dcb.fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? 1 : 0;
  dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
  dcb.EofChar = static_cast<char>(t.c_cc[VEOF]);
  dcb.fNull = port->dropNul.load() ? 1 : 0;
  return TRUE;
}

BOOL SetCommState(HANDLE handle, DCB* dcb) {
  platform::PortCall port(handle);
  if (!port || dcb == nullptr || refuseSettings.load()) return FALSE;
  termios t{};
  if (tcgetattr(port->fd, &t) != 0) return FALSE;
  const speed_t speed = SpeedCode(dcb->BaudRate);
  if (speed == B0 || !SetFraming(t, *dcb)) return FALSE;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  SetFlowAndRawMode(t, *dcb);
  if (tcsetattr(port->fd, TCSANOW, &t) != 0) return FALSE;
  SetModemLines(port->fd, *dcb);

  // tcsetattr succeeds when any part was taken: read back what the port holds now.
  termios back{};
  if (tcgetattr(port->fd, &back) != 0 || !SameSettings(t, back)) return FALSE;
  port->dropNul.store(dcb->fNull != 0);
  port->SetKeptMembers(*dcb);
  return TRUE;
}

namespace platform::testing {
void RefuseLineSettings(bool refuse) { refuseSettings.store(refuse); }
}  // namespace platform::testing
