#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "notes/ErrorTables.h"
#include "notes/ReplyNotes.h"
#include "notes/SmsPdu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace orvane::notes {
namespace {

std::vector<std::string> Notes(const std::string& command, const std::string& reply,
                               RowKind kind = RowKind::kExchange) {
  return ReplyNotes(command, reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kind);
}

using Strings = std::vector<std::string>;

TEST(ErrorTables, NameTheStandardNumbers) {
  struct Case {
    bool cme;
    long code;
    const char* name;
  };
  const Case cases[] = {
      {true, 0, "phone failure"},
      {true, 3, "operation not allowed"},
      {true, 10, "SIM not inserted"},
      {true, 11, "SIM PIN required"},
      {true, 16, "incorrect password"},
      {true, 30, "no network service"},
      {true, 100, "unknown"},
      {true, 107, "GPRS services not allowed (#7)"},
      {true, 148, "unspecified GPRS error"},
      {true, 8, "reserved"},
      {true, 600, "manufacturer-specific"},
      {false, 300, "ME failure"},
      {false, 304, "invalid PDU mode parameter"},
      {false, 310, "(U)SIM not inserted"},
      {false, 321, "invalid memory index"},
      {false, 322, "memory full"},
      {false, 330, "SMSC address unknown"},
      {false, 500, "unknown error"},
      {false, 42, "network cause: congestion"},
      {false, 208, "(U)SIM SMS storage full"},
      {false, 306, "reserved"},
      {false, 513, "manufacturer-specific"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.cme ? CmeErrorName(c.code) : CmsErrorName(c.code), c.name)
        << (c.cme ? "CME " : "CMS ") << c.code;
  }
}

TEST(ReplyNotes, NameErrorsNoticesAndRegistration) {
  struct Case {
    const char* command;
    const char* reply;
    RowKind kind;
    Strings notes;
  };
  const auto X = RowKind::kExchange;
  const auto U = RowKind::kUnsolicited;
  const Case cases[] = {
      {"AT+CPIN?\r", "\r\n+CME ERROR: 10\r\n", X, {"+CME ERROR 10: SIM not inserted"}},
      {"AT+CMGR=9\r", "\r\n+CMS ERROR: 321\r\n", X, {"+CMS ERROR 321: invalid memory index"}},
      {"AT+CPIN?\r", "\r\n+CME ERROR: SIM not inserted\r\n", X, {}},
      {"AT+COPS=9\r", "\r\nERROR\r\n", X,
       {"ERROR without a reason: after AT+CMEE=2 the modem names it (+CME ERROR: text)"}},
      {"AT+CMEE=2\r", "\r\nERROR\r\n", X, {}},
      {"AT\r", "\r\nOK\r\n", X, {}},
      {"", "\r\nRING\r\n", U, {"incoming call"}},
      {"", "\r\n+CMTI: \"SM\",3\r\n", U, {"new SMS stored in SM at index 3 (AT+CMGR=3 reads it)"}},
      {"", "\r\n+CREG: 5\r\n", U, {"network registration (CREG): registered, roaming"}},
      {"", "\r\n+CEREG: 1,\"00C3\",\"0101A2B3\",7\r\n", U,
       {"network registration (CEREG): registered, home network, area 00C3, cell 0101A2B3"}},
      {"AT+CREG?\r", "\r\n+CREG: 0,2\r\n\r\nOK\r\n", X,
       {"network registration (CREG): not registered, searching"}},
      {"AT+CREG=?\r", "\r\n+CREG: (0-2)\r\n\r\nOK\r\n", X, {}},
      {"", "\r\nRING\r\n\r\n+CLIP: \"+4915112345678\",145,,,,0\r\n", U,
       {"incoming call", "caller +4915112345678"}},
      {"", "\r\n+CLIP: \"\",128,,,,1\r\n", U, {"caller withheld the number"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Notes(c.command, c.reply, c.kind), c.notes) << c.reply;
  }
}

// Published worked examples: an SMS-DELIVER and an SMS-SUBMIT of "hellohello" in the
// GSM 7-bit alphabet, and a status report (+CDS without the service centre).
// Built field by field after the message layout: the text with extension characters,
// a UCS2 text with a character outside the BMP, a concatenated pair (8-bit reference
// 42) and a part with a 16-bit reference.
TEST(ReplyNotes, DecodeMessagesInPduMode) {
  struct Case {
    const char* reply;
    Strings notes;
  };
  const Case cases[] = {
      {"\r\n+CMGR: 0,,28\r\n"
       "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37\r\n\r\nOK\r\n",
       {"SMSC +27381000015", "SMS from 27838890001", "sent 99/03/29 15:16:59 +02:00",
        "text (GSM 7-bit): hellohello"}},
      {"\r\n+CMGL: 4,2,,23\r\n0011000B916407281553F80000AA0AE8329BFD4697D9EC37\r\n\r\nOK\r\n",
       {"#4: SMS to +46708251358", "text (GSM 7-bit): hellohello"}},
      {"\r\n+CDS: 25\r\n06000B910221815716F2709021510121807090215101718000\r\n",
       {"status report on message 0 to +20121875612", "accepted 07/09/12 15:10:12 +02:00",
        "discharged 07/09/12 15:10:17 +02:00", "status 00: received by the recipient"}},
      {"\r\n+CMGR: 1,,33\r\n"
       "07917283010010F5040B917238880900F10000993092516195801050797A5CD6816A9B3268C3C36F7C\r\n",
       {"SMSC +27381000015", "SMS from +27838890001", "sent 99/03/29 15:16:59 +02:00",
        "text (GSM 7-bit): Price: 5\u20AC [x]"}},
      {"\r\n+CMGR: 1,,37\r\n07917283010010F5040B917238880900F1000899309251619580"
       "12041F044004380432043504420020D83DDE00\r\n",
       {"SMSC +27381000015", "SMS from +27838890001", "sent 99/03/29 15:16:59 +02:00",
        "text (UCS2): \u041F\u0440\u0438\u0432\u0435\u0442 \U0001F600"}},
      {"\r\n+CMT: ,34\r\n07917283010010F5440B917238880900F1000099309251619580"
       "110500032A0201A061391DF476975920\r\n",
       {"SMSC +27381000015", "SMS from +27838890001", "sent 99/03/29 15:16:59 +02:00",
        "part 1 of 2 (reference 42)", "text (GSM 7-bit): Part one, "}},
      {"\r\n+CMT: ,33\r\n07917283010010F5440B917238880900F1000099309251619580"
       "100500032A0202E061391D44BFBF5D\r\n",
       {"SMSC +27381000015", "SMS from +27838890001", "sent 99/03/29 15:16:59 +02:00",
        "part 2 of 2 (reference 42)", "text (GSM 7-bit): part two."}},
      {"\r\n+CMT: ,28\r\n07917283010010F5440B917238880900F100089930925161958009060804012C030200E9\r\n",
       {"SMSC +27381000015", "SMS from +27838890001", "sent 99/03/29 15:16:59 +02:00",
        "part 2 of 3 (reference 300)", "text (UCS2): \u00E9"}},
      // Text mode: the line after the header is the text, not a PDU, even when it looks
      // like hex and the header ends in a length.
      {"\r\n+CMGR: \"REC READ\",\"+31628870634\",,\"11/01/09,10:26:26+04\"\r\nCAFE\r\n", {}},
      {"\r\n+CMGR: \"REC READ\",\"+316\",,\"11/01/09,10:26:26+04\",145,4,0,8,\"+316\",145,4\r\n"
       "00480069\r\n", {}},
      {"\r\n+CMGL: 1,\"REC READ\",\"+316\",,4\r\n00480069\r\n", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Notes("AT+CMGR=1\r", c.reply), c.notes) << c.reply;
  }
}

TEST(ReplyNotes, CutPdusSayWhereTheyEnd) {
  const std::string pdu = "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37";
  struct Case {
    size_t hexDigits;
    const char* last;
  };
  const Case cases[] = {
      {16, "PDU no message after the service centre"},
      {24, "PDU ends in the sender's address"},
      {40, "PDU ends in the time stamp"},
      {60, "PDU user data shorter than its length says"},
  };
  for (const Case& c : cases) {
    const Strings notes = Notes("", "\r\n+CMT: ,24\r\n" + pdu.substr(0, c.hexDigits) + "\r\n");
    EXPECT_NE(std::find(notes.begin(), notes.end(), c.last), notes.end()) << c.hexDigits;
  }
}

// Random bytes, and valid replies with random bytes changed, never crash the notes and
// give only single lines of UTF-8 (the fuzz target's checks).
TEST(ReplyNotes, SurviveRandomBytes) {
  const std::string seeds[] = {
      "AT+CMGR=1\r\r\n+CMGR: 0,,24\r\n07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37\r\n",
      "AT\r\r\n+CMT: ,38\r\n07917283010010F5440B917238880900F1000099309251619580110500032A0201A061391DF476975920\r\n",
      "AT\r\r\n+CDS: 25\r\n06000B910221815716F2709021510121807090215101718000\r\n",
      "AT+CREG?\r\r\n+CREG: 2,5,\"00C3\",\"A1B2\"\r\n+CME ERROR: 10\r\nERROR\r\n",
  };
  std::mt19937 random(24);
  const char hex[] = "0123456789ABCDEF";
  for (int i = 0; i < 20000; ++i) {
    std::string input = seeds[static_cast<size_t>(i) % std::size(seeds)];
    const int changes = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < changes; ++k) {
      const size_t at = random() % input.size();
      // Mostly hex digits, so the PDUs stay PDUs and reach deeper fields.
      input[at] = random() % 4 == 0 ? static_cast<char>(random()) : hex[random() % 16];
    }
    if (i % 5 == 0) input.resize(random() % input.size());
    if (i % 7 == 0) {
      input.assign(random() % 300, '\0');
      for (char& c : input) c = static_cast<char>(random());
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
}

TEST(ReplyNotes, ManyMessagesAreCapped) {
  std::string reply;
  for (int i = 0; i < 100; ++i)
    reply += "\r\n+CMGL: " + std::to_string(i) + ",1,,23\r\n0011000B916407281553F80000AA0AE8329BFD4697D9EC37";
  const Strings notes = Notes("AT+CMGL=4\r", reply);
  ASSERT_EQ(notes.size(), kMaxNotes);
  EXPECT_EQ(notes.back(), "more notes left out");
}

}  // namespace
}  // namespace orvane::notes
