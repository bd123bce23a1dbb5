#include "engine/TelnetCodec.h"

#include <gtest/gtest.h>

#include <random>

namespace orvane::telnet {
namespace {

using Side = Codec::Side;

Bytes B(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes Text(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

// A codec after Start(), with its opening requests taken.
Codec Started() {
  Codec c;
  c.Start();
  c.Output().clear();
  return c;
}

TEST(TelnetCodec, StartOffersTheOptionsTheLineNeeds) {
  Codec c;
  c.Start();
  EXPECT_EQ(c.Output(), B({kIac, kWill, kBinary, kIac, kWill, kSuppressGoAhead, kIac, kWill, kComPort,
                           kIac, kDo, kBinary, kIac, kDo, kSuppressGoAhead}));
  EXPECT_EQ(c.Local(kComPort), Side::kWantYes);
}

// What a started client answers to each negotiation, and the state it ends in.
TEST(TelnetCodec, Negotiation) {
  struct Case {
    const char* what;
    Bytes server;
    Bytes answer;
    uint8_t option;
    bool local;
    Side after;
  };
  const Case cases[] = {
      {"server agrees to COM port", B({kIac, kDo, kComPort}), {}, kComPort, true, Side::kYes},
      {"server refuses COM port", B({kIac, kDont, kComPort}), {}, kComPort, true, Side::kNo},
      {"server will binary, asked", B({kIac, kWill, kBinary}), {}, kBinary, false, Side::kYes},
      {"server echo refused", B({kIac, kWill, kEcho}), B({kIac, kDont, kEcho}), kEcho, false, Side::kNo},
      {"unknown option asked of us", B({kIac, kDo, 24}), B({kIac, kWont, 24}), 24, true, Side::kNo},
      {"refusal of what is off: no answer", B({kIac, kWont, kEcho}), {}, kEcho, false, Side::kNo},
      {"agreed then withdrawn", B({kIac, kDo, kBinary, kIac, kDont, kBinary}), B({kIac, kWont, kBinary}),
       kBinary, true, Side::kNo},
      {"repeated agreement: one answer", B({kIac, kWill, kEcho, kIac, kWill, kEcho}),
       B({kIac, kDont, kEcho, kIac, kDont, kEcho}), kEcho, false, Side::kNo},
      {"agreement twice: no answer", B({kIac, kDo, kComPort, kIac, kDo, kComPort}), {}, kComPort, true,
       Side::kYes},
  };
  for (const Case& t : cases) {
    Codec c = Started();
    EXPECT_TRUE(c.Receive(t.server).empty()) << t.what;
    EXPECT_EQ(c.Output(), t.answer) << t.what;
    EXPECT_EQ(t.local ? c.Local(t.option) : c.Remote(t.option), t.after) << t.what;
  }
  Codec refused = Started();
  refused.Receive(B({kIac, kDont, kComPort}));
  EXPECT_TRUE(refused.ComPortRefused());
  EXPECT_FALSE(refused.ComPortAgreed());
}

// ser2net's greeting, answers and notifications around data, as one stream.
Bytes ServerStream() {
  Bytes s = B({kIac, kWill, kSuppressGoAhead, kIac, kDo, kSuppressGoAhead, kIac, kWill, kEcho,
               kIac, kDont, kEcho, kIac, kDo, kBinary, kIac, kWill, kBinary, kIac, kDo, kComPort});
  s = Cat(s, Text("AB"));
  s = Cat(s, B({kIac, kSb, kComPort, 107, 0x30, kIac, kSe}));                 // modem state
  s = Cat(s, B({kIac, kSb, kComPort, 101, 0, 0, kIac, kIac, 0, kIac, kSe}));  // baud 0xFF00
  s = Cat(s, B({kIac, kIac, 'C', kIac, kNop, 'D', '\r', 0}));
  s = Cat(s, B({kIac, kSb, kComPort, 102, 8, kIac, kSe, kIac, kSb, kComPort, 103, 1, kIac, kSe}));
  s = Cat(s, B({kIac, kSb, kComPort, 104, 1, kIac, kSe, kIac, kSb, kComPort, 105, 8, kIac, kSe}));
  s = Cat(s, B({kIac, kSb, kComPort, 106, 0x60, kIac, kSe, kIac, kSb, kComPort, 112, 1, kIac, kSe}));
  s = Cat(s, B({kIac, kSb, kComPort, 100, 'o', 'k', kIac, kSe, kIac, kSb, kComPort, 108, kIac, kSe}));
  s = Cat(s, B({kIac, kSb, 24, 1, kIac, kSe, 'E'}));  // another option's subnegotiation
  return s;
}

TEST(TelnetCodec, DataAndReportsFromAServerStream) {
  Codec c = Started();
  // Binary was agreed both ways, so the NUL after the carriage return is data.
  EXPECT_EQ(c.Receive(ServerStream()), Cat(Text("AB"), B({0xFF, 'C', 'D', '\r', 0, 'E'})));
  EXPECT_EQ(c.Output(), B({kIac, kDont, kEcho}));
  const ComPortState& s = c.ComPort();
  EXPECT_TRUE(c.ComPortAgreed());
  EXPECT_EQ(s.baudRate, 0xFF00u);
  EXPECT_EQ(s.baudReplies, 1);
  EXPECT_EQ(s.dataSize, 8);
  EXPECT_EQ(s.parity, 1);
  EXPECT_EQ(s.stopSize, 1);
  EXPECT_EQ(s.control, 8);
  EXPECT_EQ(s.modemState, 0x30);
  EXPECT_EQ(s.lineState, 0x60);
  EXPECT_EQ(s.purgeReplies, 1);
  EXPECT_EQ(s.signature, "ok");
  EXPECT_TRUE(s.flowSuspended);
  EXPECT_EQ(s.otherCommands, 2);  // the NOP and the other option's subnegotiation
}

// Read boundaries fall anywhere: every split of the stream gives the same data, answers
// and reports as the stream whole.
TEST(TelnetCodec, AnySplitGivesTheSameResult) {
  const Bytes stream = ServerStream();
  Codec whole = Started();
  const Bytes data = whole.Receive(stream);
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    Codec c = Started();
    Bytes got = c.Receive(Bytes(stream.begin(), stream.begin() + static_cast<long>(cut)));
    got = Cat(got, c.Receive(Bytes(stream.begin() + static_cast<long>(cut), stream.end())));
    ASSERT_EQ(got, data) << "cut at " << cut;
    ASSERT_EQ(c.Output(), whole.Output()) << "cut at " << cut;
    ASSERT_EQ(c.ComPort(), whole.ComPort()) << "cut at " << cut;
  }
  Codec bytewise = Started();
  Bytes got;
  for (uint8_t b : stream) got = Cat(got, bytewise.Receive(Bytes{b}));
  EXPECT_EQ(got, data);
  EXPECT_EQ(bytewise.ComPort(), whole.ComPort());
}

TEST(TelnetCodec, MalformedSubnegotiationsAreDroppedAndCounted) {
  Codec c = Started();
  Bytes overlong = B({kIac, kSb, kComPort, 107});
  overlong.insert(overlong.end(), 1000, 0x11);
  overlong = Cat(overlong, B({kIac, kSe}));
  const Bytes in = Cat(Cat(overlong, B({kIac, kSb, kComPort, 101, 1, 2, kIac, kSe,   // short baud
                                         kIac, kSb, kComPort, 107, kIac, kSe,         // no value
                                         kIac, kSb, kComPort, 107, 5, kIac, kWill, kEcho})),  // SE lost
                       Text("x"));
  EXPECT_EQ(c.Receive(in), Text("x"));
  EXPECT_EQ(c.ComPort().modemStateNotes, 1);  // the one whose SE was lost, ended by IAC WILL
  EXPECT_EQ(c.ComPort().modemState, 5);
  EXPECT_EQ(c.ComPort().baudReplies, 0);
  EXPECT_EQ(c.ComPort().otherCommands, 3);
  EXPECT_EQ(c.Output(), B({kIac, kDont, kEcho}));
}

// A server that sends negotiations and never reads its answers: what waits for it is
// bounded, every answer kept is whole, and the overflow is told for good.
TEST(TelnetCodec, AnswersWaitingAreBounded) {
  Bytes flood;
  for (int i = 0; i < 2000; ++i) flood = Cat(flood, B({kIac, kDo, 24}));
  Codec taken = Started();  // its answers are taken as they come
  Codec left = Started();
  for (int round = 0; round < 100; ++round) {
    taken.Receive(flood);
    taken.Output().clear();
    left.Receive(flood);
  }
  EXPECT_FALSE(taken.OutputOverflowed());
  EXPECT_TRUE(left.OutputOverflowed());
  EXPECT_LE(left.Output().size(), Codec::kMaxOutput);
  EXPECT_EQ(left.Output().size() % 3, 0u);
  EXPECT_EQ(Bytes(left.Output().end() - 3, left.Output().end()), B({kIac, kWont, 24}));
  left.Output().clear();
  left.Request(comport::kSetControl, comport::kControlDtrOn);
  EXPECT_TRUE(left.Output().empty());
}

TEST(TelnetCodec, RequestsAndDataAreEscaped) {
  Codec c = Started();
  c.RequestBaudRate(0x00FF2580);
  c.Request(comport::kSetControl, comport::kControlDtrOn);
  EXPECT_EQ(c.Output(), B({kIac, kSb, kComPort, 1, 0, 0xFF, 0xFF, 0x25, 0x80, kIac, kSe,
                           kIac, kSb, kComPort, 5, 8, kIac, kSe}));
  // Before binary is agreed a carriage return goes out as CR NUL; IAC always doubled.
  EXPECT_EQ(c.EscapeData(B({'A', 0xFF, '\r', '\n'})), B({'A', 0xFF, 0xFF, '\r', 0, '\n'}));
  c.Receive(B({kIac, kDo, kBinary}));
  EXPECT_EQ(c.EscapeData(B({'A', 0xFF, '\r', '\n'})), B({'A', 0xFF, 0xFF, '\r', '\n'}));
}

// What one codec escapes, another decodes back, binary agreed or not.
TEST(TelnetCodec, EscapedDataDecodesToItself) {
  std::mt19937 random(7);
  for (bool binary : {false, true}) {
    for (int round = 0; round < 50; ++round) {
      Bytes data(static_cast<size_t>(random() % 300));
      for (uint8_t& b : data) b = static_cast<uint8_t>(random() % 4 == 0 ? 0xFF : random() % 256);
      Codec sender = Started();
      Codec receiver = Started();
      if (binary) {
        sender.Receive(B({kIac, kDo, kBinary}));
        receiver.Receive(B({kIac, kWill, kBinary}));
      }
      ASSERT_EQ(receiver.Receive(sender.EscapeData(data)), data);
    }
  }
}

}  // namespace
}  // namespace orvane::telnet
