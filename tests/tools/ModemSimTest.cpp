#include "tools/modemsim/ModemSim.h"

#include <gtest/gtest.h>
#include <poll.h>

#include "engine/Exchange.h"
#include "engine/SerialLine.h"
#include "platform/SerialDevice.h"
#include "tests/support/SimulatorThread.h"

namespace orvane {
namespace {

// The simulator on its own thread, a SerialLine on the test's.
class ModemSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.ok()) << sim.error();
    ASSERT_EQ(line.Open(Utf8ToUtf16(sim.path()), 115200), 0);
  }
  void TearDown() override { line.Close(); }

  // One exchange as the send flow does it; |command| gets a carriage return.
  ExchangeResult Run(const std::u16string& command, uint32_t timeoutMs = 2000,
                     ExchangeOptions options = {}, std::vector<std::u16string> tokens = {}) {
    Framing framing;
    framing.suffix = u"<0D>";
    framing.timeoutMs = timeoutMs;
    framing.tokens = std::move(tokens);
    orvane::Exchange exchange(line, command, framing, std::move(options));
    RunToEnd(exchange, line);
    return exchange.TakeResult();
  }
  std::u16string Exchange(const std::u16string& command, uint32_t timeoutMs = 2000,
                          std::vector<std::u16string> tokens = {}) {
    return EncodeBinaryText(Run(command, timeoutMs, {}, std::move(tokens)).reply);
  }

  testing::SimulatorThread sim;
  SerialLine line;
};

TEST_F(ModemSimTest, AnswersLikeAHayesModem) {
  EXPECT_EQ(Exchange(u"AT"), u"AT<0D><0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"ATE0"), u"ATE0<0D><0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"ATI"), u"<0D><0A>Orvane Modem Simulator<0D><0A><0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"at+gmi;+gmr"), u"<0D><0A>Orvane<0D><0A><0D><0A>1.0<0D><0A><0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"ATS7=45S7?"), u"<0D><0A>045<0D><0A><0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"ATE2"), u"<0D><0A>ERROR<0D><0A>");
  EXPECT_EQ(Exchange(u"hello"), u"<0D><0A>ERROR<0D><0A>");
  EXPECT_EQ(Exchange(u"AT+NOPE"), u"<0D><0A>ERROR<0D><0A>");
  // NO CARRIER is no default token either.
  EXPECT_EQ(Exchange(u"ATDT555", 100), u"<0D><0A>NO CARRIER<0D><0A>");
  // Numeric result codes do not match the default tokens: the read times out.
  EXPECT_EQ(Exchange(u"ATV0", 100), u"0<0D>");
  // The reset restores word results and echo (ATZ itself arrived with echo off).
  EXPECT_EQ(Exchange(u"ATZ"), u"<0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"AT"), u"AT<0D><0D><0A>OK<0D><0A>");
}

// Short messages: text mode (the start) has no message 1 until one is sent; PDU mode
// reads the stored messages; a reset goes back to text mode. AT+SIMCME=n is an error.
TEST_F(ModemSimTest, StoredMessagesInPduModeAndErrorCodes) {
  struct Case {
    const char16_t* command;
    const char16_t* reply;
  };
  const Case cases[] = {
      {u"ATE0", u"ATE0<0D><0D><0A>OK<0D><0A>"},
      {u"AT+CMGF?", u"<0D><0A>+CMGF: 1<0D><0A><0D><0A>OK<0D><0A>"},
      {u"AT+CMGR=1", u"<0D><0A>+CMS ERROR: 321<0D><0A>"},
      {u"AT+CMGF=0", u"<0D><0A>OK<0D><0A>"},
      {u"AT+CMGR=1", u"<0D><0A>+CMGR: 1,,28<0D><0A><0D><0A>07917283010010F5040BC87238880900F10000"
                     u"993092516195800AE8329BFD4697D9EC37<0D><0A><0D><0A>OK<0D><0A>"},
      {u"AT+CMGR=5", u"<0D><0A>+CMS ERROR: 321<0D><0A>"},
      {u"AT+CMGR=x", u"<0D><0A>ERROR<0D><0A>"},
      {u"AT+CMGF=2", u"<0D><0A>ERROR<0D><0A>"},
      {u"AT+SIMCME=10", u"<0D><0A>+CME ERROR: 10<0D><0A>"},
      {u"AT+SIMCME=65536", u"<0D><0A>ERROR<0D><0A>"},
      {u"ATZ", u"<0D><0A>OK<0D><0A>"},
      {u"AT+CMGR=1", u"AT+CMGR=1<0D><0D><0A>+CMS ERROR: 321<0D><0A>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Exchange(c.command, 500), c.reply) << Utf16ToUtf8(c.command);
}

TEST_F(ModemSimTest, LongRepliesArriveWholeAcrossChunks) {
  Exchange(u"ATE0");
  const std::u16string reply = Exchange(u"AT+SIMBYTES=600", 150);
  ASSERT_EQ(reply.size(), 600u);
  for (size_t i = 0; i < reply.size(); ++i) ASSERT_EQ(reply[i], u'A' + i % 26) << i;
  EXPECT_EQ(Exchange(u"AT+SIMBYTES=255", 150).size(), 255u);
  EXPECT_EQ(Exchange(u"AT+SIMBYTES=x"), u"<0D><0A>ERROR<0D><0A>");
}

TEST_F(ModemSimTest, ShapedReplies) {
  Exchange(u"ATE0");
  EXPECT_EQ(Exchange(u"AT+SIMZERO", 150), u"<0D><0A>DATA<00><0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"AT+SIMSILENT", 100), u"");
  EXPECT_EQ(Exchange(u"AT+SIMPROMPT", 5000, {u"> "}), u"<0D><0A>>> ");
  EXPECT_EQ(Exchange(u"AT+SIMPROMPT=\"READY\"", 5000, {u"READY"}), u"<0D><0A>READY");
  // A delayed and a trickled reply are still read whole, the silence timeout
  // restarting with every byte.
  EXPECT_EQ(Exchange(u"AT+SIMDELAY=30"), u"<0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"AT+SIMDELAY?"), u"<0D><0A>+SIMDELAY: 30<0D><0A><0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"AT+SIMDELAY=0;+SIMTRICKLE=3"), u"<0D><0A>OK<0D><0A>");
  EXPECT_EQ(Exchange(u"ATI", 1000), u"<0D><0A>Orvane Modem Simulator<0D><0A><0D><0A>OK<0D><0A>");
}

TEST_F(ModemSimTest, StreamRunsUntilTheNextCommand) {
  Exchange(u"ATE0");
  ExchangeOptions bounded;
  bounded.maxReplyBytes = 3000;
  const ExchangeResult streamed = Run(u"AT+SIMSTREAM", 5000, bounded);
  EXPECT_EQ(streamed.end, ReplyEnd::kLimit);
  EXPECT_EQ(streamed.reply.size(), 3000u);
  EXPECT_EQ(EncodeBinaryText(streamed.reply).rfind(u"STREAM 00000001 0123456789", 0), 0u);
  // The next command stops the stream; what was in flight still arrives first.
  const std::u16string after = Exchange(u"AT", 300);
  const std::u16string ok = u"<0D><0A>OK<0D><0A>";
  ASSERT_GE(after.size(), ok.size());
  EXPECT_EQ(after.substr(after.size() - ok.size()), ok);
  EXPECT_EQ(Exchange(u"AT"), ok);
}

TEST_F(ModemSimTest, SpeaksUnprompted) {
  Exchange(u"ATE0");
  const std::u16string ok = u"<0D><0A>OK<0D><0A>";
  // Nothing is written: the read waits for what the simulator says by itself.
  auto listen = [&](const std::u16string& token) { return Exchange(u"", 5000, {token}); };
  EXPECT_EQ(Exchange(u"AT+SIMLATE=30,\"+QTEMP: 31;32\""), ok);
  EXPECT_EQ(listen(u"32<0D><0A>"), u"<0D><0A>+QTEMP: 31;32<0D><0A>");

  // A repeated text goes out between replies, never inside a trickled one.
  EXPECT_EQ(Exchange(u"AT+SIMTRICKLE=2"), ok);
  EXPECT_EQ(Exchange(u"AT+SIMURC=5,RING").rfind(ok, 0), 0u);
  const std::u16string info = Exchange(u"ATI;+SIMURC?");
  EXPECT_NE(info.find(u"<0D><0A>Orvane Modem Simulator<0D><0A><0D><0A>+SIMURC: 5,\"RING\"<0D><0A><0D><0A>OK<0D><0A>"),
            std::u16string::npos)
      << Utf16ToUtf8(info);
  Exchange(u"AT+SIMTRICKLE=0");
  EXPECT_NE(listen(u"RING<0D><0A>").find(u"<0D><0A>RING<0D><0A>"), std::u16string::npos);
  // Once stopped, the reply to the stop is the last thing said.
  const std::u16string stop = Exchange(u"AT+SIMURC=0");
  EXPECT_EQ(stop.substr(stop.size() - ok.size()), ok);
  EXPECT_EQ(Exchange(u"", 100), u"");

  for (const char16_t* bad : {u"AT+SIMURC=x,RING", u"AT+SIMURC=10", u"AT+SIMURC=0,RING",
                              u"AT+SIMLATE=10,", u"AT+SIMLATE=10,\"\"", u"AT+SIMLATE"}) {
    EXPECT_EQ(Exchange(bad), u"<0D><0A>ERROR<0D><0A>") << Utf16ToUtf8(bad);
  }
}

TEST_F(ModemSimTest, HangUpEndsTheReadAndTheSimulator) {
  const ExchangeResult reply = Run(u"AT+SIMHANGUP=20", 60000);
  EXPECT_EQ(EncodeBinaryText(reply.reply), u"AT+SIMHANGUP=20<0D>");
  EXPECT_EQ(reply.end, ReplyEnd::kHangup);
  EXPECT_LT(reply.elapsedMs, 5000u);
  EXPECT_EQ(sim.Join(), modemsim::ModemSim::End::kHungUp);
  // The line stays open until closed; writing to a device that went away fails.
  const uint8_t byte = 'A';
  EXPECT_NE(line.Write(&byte, 1), 0);
}

// Text-mode messages: the prompt, Ctrl+Z sends, ESC cancels; one to the own number comes
// back as +CMTI and is read and deleted by its index. Registration after AT+SIMREG.
TEST_F(ModemSimTest, TextMessagesAndRegistration) {
  const std::u16string ok = u"<0D><0A>OK<0D><0A>";
  EXPECT_EQ(Exchange(u"ATE0"), u"ATE0<0D>" + ok);
  EXPECT_EQ(Exchange(u"AT+CMGF=0"), ok);
  EXPECT_EQ(Exchange(u"AT+CMGS=\"+15550100\""), u"<0D><0A>ERROR<0D><0A>") << "not in text mode";
  EXPECT_EQ(Exchange(u"AT+CMGF=1"), ok);
  EXPECT_EQ(Exchange(u"AT+CMGS=\"+15550199\"", 2000, {u"> "}), u"<0D><0A>>> ");
  EXPECT_EQ(Exchange(u"<1B>"), ok) << "cancelled";
  EXPECT_EQ(Exchange(u"AT+CMGS=\"+15550100\"", 2000, {u"> "}), u"<0D><0A>>> ");
  EXPECT_EQ(Exchange(u"Hi<1A>"), u"<0D><0A>+CMGS: 1<0D><0A>" + ok);
  pollfd incoming{line.Descriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&incoming, 1, 10000), 1) << "the message comes back";
  EXPECT_EQ(Exchange(u"AT"), u"<0D><0A>+CMTI: \"SM\",1<0D><0A>" + ok);
  const std::u16string head = u"<0D><0A>+CMGR: \"REC UNREAD\",\"+15550100\",,\"26/12/08,02:00:00+00\"<0D><0A>";
  EXPECT_EQ(Exchange(u"AT+CMGR=1"), head + u"<0D><0A>Hi<0D><0A>" + ok);
  EXPECT_NE(Exchange(u"AT+CMGR=1").find(u"REC READ"), std::u16string::npos);
  EXPECT_EQ(Exchange(u"AT+CMGD=1"), ok);
  EXPECT_EQ(Exchange(u"AT+CMGR=1", 200), u"<0D><0A>+CMS ERROR: 321<0D><0A>");
  EXPECT_EQ(Exchange(u"AT+SIMREG=1"), ok);
  EXPECT_EQ(Exchange(u"AT+CREG?"), u"<0D><0A>+CREG: 0,2<0D><0A>" + ok);
  EXPECT_EQ(Exchange(u"AT+CREG?"), u"<0D><0A>+CREG: 0,1<0D><0A>" + ok);
}

}  // namespace
}  // namespace orvane
