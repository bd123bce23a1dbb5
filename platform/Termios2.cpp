// Control block <-> termios2. BOTHER lets every whole-number baud rate through.
// Kept apart: <asm/termbits.h> clashes with <termios.h>.
#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

#include <cstring>

#include "platform/SerialDevice.h"

namespace orvane::serial {

int GetControlBlock(Handle handle, ControlBlock* block) {
  if (handle < 0) return EBADF;
  struct termios2 tio {};
  if (ioctl(handle, TCGETS2, &tio) != 0) return errno;
  block->baudRate = tio.c_ospeed;
  uint32_t flags = kFlagBinary;
  if (tio.c_iflag & INPCK) flags |= kFlagParity;
  if (tio.c_cflag & CRTSCTS) flags |= kFlagOutxCtsFlow | kRtsControlHandshake;
  else flags |= 0x1000;  // RTS held on
  flags |= 0x0010;       // DTR held on
  if (tio.c_iflag & IXON) flags |= kFlagOutX;
  if (tio.c_iflag & IXOFF) flags |= kFlagInX;
  if (!(tio.c_iflag & IXANY)) flags |= 0x0080;
  block->flags = flags;
  switch (tio.c_cflag & CSIZE) {
    case CS5: block->byteSize = 5; break;
    case CS6: block->byteSize = 6; break;
    case CS7: block->byteSize = 7; break;
    default: block->byteSize = 8; break;
  }
  if (!(tio.c_cflag & PARENB)) block->parity = 0;
  else if (tio.c_cflag & CMSPAR) block->parity = (tio.c_cflag & PARODD) ? 3 : 4;
  else block->parity = (tio.c_cflag & PARODD) ? 1 : 2;
  block->stopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
  return 0;
}

int SetControlBlock(Handle handle, const ControlBlock& block) {
  if (handle < 0) return EBADF;
  if (block.baudRate == 0) return EINVAL;
  if (block.byteSize < 5 || block.byteSize > 8 || block.parity > 4 || block.stopBits > 2) {
    return EINVAL;
  }
  struct termios2 tio {};
  if (ioctl(handle, TCGETS2, &tio) != 0) return errno;

  // Raw bytes both ways: no line editing, echo, signals, translation or stripping.
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
  if (block.flags & kFlagParity) tio.c_iflag |= INPCK;
  if (block.flags & kFlagOutX) tio.c_iflag |= IXON;
  if (block.flags & kFlagInX) tio.c_iflag |= IXOFF;
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);

  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS |
                                        CBAUD | (CBAUD << IBSHIFT));
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[block.byteSize - 5];
  switch (block.parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (block.stopBits != 0) tio.c_cflag |= CSTOPB;
  if ((block.flags & kFlagOutxCtsFlow) || (block.flags & kRtsControlMask) == kRtsControlHandshake) {
    tio.c_cflag |= CRTSCTS;
  }
  // Modem status lines do not gate the port; the receiver is on.
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = block.baudRate;
  tio.c_ospeed = block.baudRate;
  // The descriptor is non-blocking, so a read never waits whatever VMIN says; with
  // VMIN 0, though, poll() on a pty was seen to sleep out its whole timeout after
  // bytes had arrived, so the line would notice a reply late.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (ioctl(handle, TCSETS2, &tio) != 0) return errno;
  return 0;
}

static_assert(sizeof(struct termios2) <= sizeof(PortSettings::raw));

int SaveSettings(Handle handle, PortSettings* settings) {
  if (handle < 0) return EBADF;
  struct termios2 tio {};
  if (ioctl(handle, TCGETS2, &tio) != 0) return errno;
  *settings = PortSettings{};
  std::memcpy(settings->raw, &tio, sizeof tio);
  return 0;
}

int RestoreSettings(Handle handle, const PortSettings& settings) {
  if (handle < 0) return EBADF;
  struct termios2 tio {};
  std::memcpy(&tio, settings.raw, sizeof tio);
  return ioctl(handle, TCSETS2, &tio) == 0 ? 0 : errno;
}

}  // namespace orvane::serial
