#include "engine/LineFactory.h"

#include <errno.h>

#include "engine/NetworkLine.h"
#include "engine/SerialLine.h"
#include "platform/OpenFailure.h"
#include "platform/TextConvert.h"

namespace orvane {

std::string LocalOpenFailure(std::string_view name, int error) {
  return ExplainOpenFailure(std::string(name), error);
}

namespace {

OpenedLine OpenNetworkLine(std::string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  OpenedLine opened;
  LineAddress address;
  if (!ParseLineAddress(name, &address, &opened.reason)) {
    opened.error = EINVAL;
    return opened;
  }
  auto line = std::make_unique<NetworkLine>();
  opened.error = line->Open(address, baud, settings, &opened.reason, {}, stopFd);
  if (opened.error == 0) opened.line = std::move(line);
  return opened;
}

}  // namespace

OpenedLine OpenLine(std::u16string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  const std::string utf8 = Utf16ToUtf8(name);
  if (!settings.Valid()) return {nullptr, EINVAL, "line settings out of range (" + DescribeLineSettings(settings) + ")"};
  if (IsNetworkName(utf8)) return OpenNetworkLine(utf8, baud, stopFd, settings);
  OpenedLine opened;
  auto line = std::make_unique<SerialLine>();
  opened.error = line->Open(name, baud, settings);
  if (opened.error == 0) opened.line = std::move(line);
  else opened.reason = LocalOpenFailure(utf8, opened.error);
  return opened;
}

OpenedLine OpenLine(std::string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  if (IsNetworkName(name)) return OpenNetworkLine(name, baud, stopFd, settings);
  return OpenLine(std::u16string_view(Utf8ToUtf16(name)), baud, -1, settings);
}

int NamedLine::Take(OpenedLine opened) {
  line_ = std::move(opened.line);
  reason_ = std::move(opened.reason);
  return opened.error;
}

// The device or connection held is let go before the new one is taken, so the same
// name can be opened again.
int NamedLine::Open(std::u16string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  Close();
  return Take(OpenLine(name, baud, stopFd, settings));
}

int NamedLine::Open(std::string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  Close();
  return Take(OpenLine(name, baud, stopFd, settings));
}

bool NamedLine::Close() {
  if (!line_) return false;
  const bool closed = line_->Close();
  line_.reset();
  return closed;
}

long NamedLine::ReadSome(uint8_t* buffer, size_t room) {
  return line_ ? line_->ReadSome(buffer, room) : -EBADF;
}

long NamedLine::WriteSome(const uint8_t* data, size_t length) {
  return line_ ? line_->WriteSome(data, length) : -EBADF;
}

}  // namespace orvane
