// Short messages in PDU mode: the hex a modem prints after +CMGR, +CMGL, +CMT and +CDS,
// decoded into what a person reads (who sent it to whom, when, the text, which part of
// a longer message it is). Any bytes are accepted: a field the PDU does not hold whole
// is left empty and the message says where it stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::notes {

struct SmsMessage {
  enum class Type { kDeliver, kSubmit, kStatusReport, kUnknown };
  Type type = Type::kUnknown;
  std::string smsc;         // the service centre's number; empty when the PDU has none
  std::string address;      // sender (deliver), recipient (submit, status report)
  std::string timeStamp;    // "99/03/29 15:16:59 +02:00"; deliver and status report
  std::string dischargeTime;  // status report only
  int messageReference = -1;  // submit and status report
  int status = -1;            // status report only
  std::string alphabet;     // "GSM 7-bit", "8-bit", "UCS2", "compressed"
  std::string text;         // UTF-8; 8-bit data as hex pairs
  int part = 0;             // 1-based part of a concatenated message; 0: not one
  int parts = 0;
  int reference = -1;
  std::string problem;      // why decoding stopped early; empty when whole
};

// Decodes |pdu| (binary octets). With |withSmsc| the PDU starts with the service
// centre's address, as +CMGR, +CMGL, +CMT and +CDS print it in PDU mode.
SmsMessage DecodeSmsPdu(const uint8_t* pdu, size_t length, bool withSmsc);

// The message as short notes, one fact each.
std::vector<std::string> SmsNotes(const SmsMessage& message);

// Hex text ("07917283...") as octets; false when it is not an even number of hex digits.
bool ParseHexOctets(std::string_view hex, std::vector<uint8_t>* out);

}  // namespace orvane::notes
