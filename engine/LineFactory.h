// Opening a line by the name a person gives: a local device ("COMn:" or a path) or a
// serial port on another machine ("rfc2217://HOST:PORT", "tcp://HOST:PORT"). The screen,
// linewright and the tests open lines only through here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/Line.h"
#include "engine/LineSettings.h"

namespace orvane {

struct OpenedLine {
  std::unique_ptr<Line> line;  // null when the open failed
  int error = 0;               // 0, or an errno value
  std::string reason;          // for a person when the open failed
};

// Opens |name| at |baud| with |settings| (by default 8N1, DTR and RTS on, no flow
// control). A local name is passed to the serial line as it is. Input on |stopFd| (-1:
// none) cancels opening a network line while it connects or sets the port up:
// ECANCELED, "interrupted".
OpenedLine OpenLine(std::u16string_view name, uint32_t baud, int stopFd = -1,
                    const LineSettings& settings = {});
OpenedLine OpenLine(std::string_view name, uint32_t baud, int stopFd = -1,
                    const LineSettings& settings = {});  // UTF-8

// The reason for a person why local device |name| could not be opened (|error|).
std::string LocalOpenFailure(std::string_view name, int error);

// The one line of a screen or tool: empty, or the line last opened by name. It is a
// Line itself, so an exchange drives it whatever it holds.
class NamedLine : public Line {
 public:
  // Opens |name| at |baud| in place of the line held (which is closed first). 0 on
  // success; otherwise the errno value, with Reason() for a person. |stopFd| as
  // OpenLine's, and so are |settings|.
  int Open(std::u16string_view name, uint32_t baud, int stopFd = -1, const LineSettings& settings = {});
  int Open(std::string_view name, uint32_t baud, int stopFd = -1, const LineSettings& settings = {});
  // Closes and lets go of the line held; false when none is held.
  bool Close() override;
  // Why the last Open failed (empty after a success).
  const std::string& Reason() const { return reason_; }
  Line* Held() const { return line_.get(); }

  bool IsOpen() const override { return line_ && line_->IsOpen(); }
  int Descriptor() const override { return line_ ? line_->Descriptor() : -1; }
  long ReadSome(uint8_t* buffer, size_t room) override;
  long WriteSome(const uint8_t* data, size_t length) override;
  std::string Failure() const override { return line_ ? line_->Failure() : std::string(); }
  int SendBreak(uint32_t ms) override { return line_ ? line_->SendBreak(ms) : EBADF; }

 private:
  int Take(OpenedLine opened);

  std::unique_ptr<Line> line_;
  std::string reason_;
};

}  // namespace orvane
