#include "notes/ReplyNotes.h"

#include <algorithm>
#include <cctype>

#include "notes/ErrorTables.h"
#include "notes/SmsPdu.h"

namespace orvane::notes {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}


// A whole decimal number of up to nine digits.
bool ParseNumber(std::string_view s, long* value) {
  if (s.empty() || s.size() > 9) return false;
  long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

// The fields after "+NAME:", split at commas outside double quotes, blanks and the
// quotes taken off.
std::vector<std::string_view> Fields(std::string_view rest) {
  std::vector<std::string_view> fields;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && rest[i] == '"') quoted = !quoted;
    if (i == rest.size() || (rest[i] == ',' && !quoted)) {
      std::string_view field = Trim(rest.substr(start, i - start));
      if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.substr(1, field.size() - 2);
      fields.push_back(field);
      start = i + 1;
    }
  }
  return fields;
}

// Printable ASCII of |s|; other bytes as <XX>, so a note is one line of text.
std::string Shown(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      out += '<';
      out += kDigits[c >> 4];
      out += kDigits[c & 0x0F];
      out += '>';
    }
  }
  return out;
}

bool IsHexLine(std::string_view s) {
  return !s.empty() && s.size() % 2 == 0 &&
         std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

class Annotator {
 public:
  Annotator(std::string_view command, RowKind kind) : kind_(kind) {
    for (char c : command) command_.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }

  std::vector<std::string> Run(std::string_view reply) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= reply.size(); ++i) {
      if (i == reply.size() || reply[i] == '\r' || reply[i] == '\n') {
        const std::string_view line = Trim(reply.substr(start, i - start));
        if (!line.empty()) lines.push_back(line);
        start = i + 1;
      }
    }
    for (size_t i = 0; i < lines.size() && !Full(); ++i) {
      const std::string_view next = i + 1 < lines.size() ? lines[i + 1] : std::string_view();
      if (Line(lines[i], next, i + 1 == lines.size())) ++i;  // the next line was its PDU
    }
    if (notes_.size() > kMaxNotes) {
      notes_.resize(kMaxNotes - 1);
      notes_.push_back("more notes left out");
    }
    return std::move(notes_);
  }

 private:
  bool Full() const { return notes_.size() > kMaxNotes; }
  void Add(std::string note) { notes_.push_back(std::move(note)); }

  // Notes on one line; true when |next| was read as this line's PDU.
  bool Line(std::string_view line, std::string_view next, bool last) {
    if (line == "RING") {
      Add("incoming call");
      return false;
    }
    if (line == "ERROR") {
      if (last && kind_ == RowKind::kExchange && command_.find("CMEE") == std::string::npos)
        Add("ERROR without a reason: after AT+CMEE=2 the modem names it (+CME ERROR: text)");
      return false;
    }
    if (line.empty() || line[0] != '+') return false;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, colon);
    const std::string_view rest = Trim(line.substr(colon + 1));
    const std::vector<std::string_view> fields = Fields(rest);
    long n = 0;
    if (name == "+CME ERROR" || name == "+CMS ERROR") {
      if (ParseNumber(rest, &n)) {
        Add(std::string(name) + " " + std::to_string(n) + ": " +
            (name == "+CME ERROR" ? CmeErrorName(n) : CmsErrorName(n)));
      }
      return false;
    }
    if (name == "+CRING") {
      Add("incoming call: " + Shown(rest));
      return false;
    }
    if (name == "+CMTI" || name == "+CDSI") {
      if (fields.size() >= 2 && ParseNumber(fields[1], &n)) {
        Add(std::string(name == "+CMTI" ? "new SMS" : "new status report") + " stored in " +
            Shown(fields[0]) + " at index " + std::to_string(n) + " (AT+CMGR=" + std::to_string(n) +
            " reads it)");
      }
      return false;
    }
    if (name == "+CREG" || name == "+CGREG" || name == "+CEREG" || name == "+C5GREG") {
      // Read back (AT+CREG?) the first field is the report setting; unsolicited, the status.
      const bool readBack = kind_ == RowKind::kExchange &&
                            command_.find(std::string(name) + "?") != std::string::npos;
      const size_t at = readBack ? 1 : 0;
      if (fields.size() > at && ParseNumber(fields[at], &n)) {
        std::string note = "network registration (" + std::string(name.substr(1)) + "): " +
                           RegistrationStatusName(n);
        if (fields.size() > at + 2 && !fields[at + 1].empty() && !fields[at + 2].empty())
          note += ", area " + Shown(fields[at + 1]) + ", cell " + Shown(fields[at + 2]);
        Add(std::move(note));
      }
      return false;
    }
    if (name == "+CLIP") {
      long validity = 0;
      if (fields.size() > 5 && ParseNumber(fields[5], &validity) && validity != 0) {
        Add(validity == 1 ? "caller withheld the number" : "caller's number not available");
      } else if (!fields.empty() && !fields[0].empty()) {
        Add("caller " + Shown(fields[0]));
      }
      return false;
    }
    if (name == "+CMGR" || name == "+CMGL" || name == "+CMT" || name == "+CDS") {
      return Pdu(name, fields, next);
    }
    return false;
  }

  // A message in PDU mode: the header's last field is the message's length in octets
  // (without the service centre), the next line the PDU in hex. Text mode has more
  // fields, and a status in words where PDU mode has a number.
  bool Pdu(std::string_view name, const std::vector<std::string_view>& fields, std::string_view next) {
    long length = 0;
    long number = 0;
    const size_t statusAt = name == "+CMGL" ? 1 : 0;
    const size_t most = name == "+CMGL" ? 4 : name == "+CMGR" ? 3 : name == "+CMT" ? 2 : 1;
    if (fields.empty() || fields.size() > most || !ParseNumber(fields.back(), &length) ||
        !IsHexLine(next))
      return false;
    if ((name == "+CMGR" || name == "+CMGL") &&
        (fields.size() < statusAt + 2 || !ParseNumber(fields[statusAt], &number)))
      return false;
    std::vector<uint8_t> pdu;
    if (!ParseHexOctets(next, &pdu)) return false;
    // With the service centre's address in front, as modems print it; a PDU exactly as
    // long as the length has none.
    const bool withSmsc = pdu.size() != static_cast<size_t>(length);
    std::vector<std::string> notes = SmsNotes(DecodeSmsPdu(pdu.data(), pdu.size(), withSmsc));
    if (withSmsc && pdu.size() != static_cast<size_t>(length) + 1 + pdu[0])
      notes.push_back("length " + std::to_string(length) + " does not match the PDU's " +
                      std::to_string(pdu.size()) + " octets");
    if (name == "+CMGL" && fields.size() > 1 && !notes.empty()) {
      long index = 0;
      if (ParseNumber(fields[0], &index)) notes.front() = "#" + std::to_string(index) + ": " + notes.front();
    }
    for (std::string& note : notes) Add(std::move(note));
    return true;
  }

  RowKind kind_;
  std::string command_;
  std::vector<std::string> notes_;
};

}  // namespace

std::vector<std::string> ReplyNotes(std::string_view command, const uint8_t* reply, size_t length,
                                    RowKind kind) {
  if (reply == nullptr) length = 0;
  const std::string_view bytes(reinterpret_cast<const char*>(reply), std::min(length, kMaxAnnotatedBytes));
  return Annotator(command, kind).Run(bytes);
}

std::vector<std::string> ReplyNotes(const Row& row) {
  const Bytes sent = DecodeBinaryText(row.sent);
  return ReplyNotes(std::string_view(reinterpret_cast<const char*>(sent.data()), sent.size()),
                    row.reply.data(), row.reply.size(), row.kind);
}

}  // namespace orvane::notes
