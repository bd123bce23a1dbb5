#include "engine/LineSettings.h"

#include <array>

namespace orvane {
namespace {

constexpr std::array<std::string_view, 5> kParityNames = {"none", "even", "odd", "mark", "space"};
constexpr std::array<std::string_view, 3> kFlowNames = {"none", "rtscts", "xonxoff"};

template <typename E, size_t N>
bool ParseName(const std::array<std::string_view, N>& names, std::string_view text, E* out) {
  for (size_t i = 0; i < N; ++i) {
    if (names[i] == text) {
      *out = static_cast<E>(i);
      return true;
    }
  }
  return false;
}

}  // namespace

bool LineSettings::Valid() const {
  return dataBits >= 5 && dataBits <= 8 && static_cast<size_t>(parity) < kParityNames.size() &&
         (stopBits == 1 || stopBits == 2) && static_cast<size_t>(flow) < kFlowNames.size();
}

std::string_view ParityName(Parity parity) {
  const auto i = static_cast<size_t>(parity);
  return i < kParityNames.size() ? kParityNames[i] : "?";
}

std::string_view FlowName(FlowControl flow) {
  const auto i = static_cast<size_t>(flow);
  return i < kFlowNames.size() ? kFlowNames[i] : "?";
}

bool ParseParity(std::string_view text, Parity* parity) { return ParseName(kParityNames, text, parity); }
bool ParseFlow(std::string_view text, FlowControl* flow) { return ParseName(kFlowNames, text, flow); }

std::string DescribeLineSettings(const LineSettings& settings) {
  std::string text = std::to_string(settings.dataBits);
  const auto parity = static_cast<size_t>(settings.parity);
  text += parity < kParityNames.size() ? "NEOMS"[parity] : '?';
  text += std::to_string(settings.stopBits);
  if (settings.flow != FlowControl::kNone) text += " " + std::string(FlowName(settings.flow));
  if (!settings.dtr) text += " dtr-off";
  if (!settings.rts) text += " rts-off";
  return text;
}

}  // namespace orvane
