// The simulator's scripted scale, on bytes alone.
#include <gtest/gtest.h>

#include "simulator/script-responder.hpp"
#include "simulator/simulator.hpp"

namespace {

using Scalesim::Bytes;
using Scalesim::ScriptResponder;
using Scalesim::ToBytes;

TEST(ScriptResponder, AnswersARequestThatArrivesInPiecesOnceItIsWhole) {
  ScriptResponder script;
  script.AddExchange(ToBytes("Gmax\r\n"), ToBytes("max=15\r\n"));
  script.AddReply(ToBytes("any\r\n"));
  EXPECT_TRUE(script.OnReceive(ToBytes("noise Gm")).empty());
  EXPECT_EQ(script.OnReceive(ToBytes("ax\r\n")), ToBytes("max=15\r\n"));
  EXPECT_EQ(script.OnReceive(ToBytes("x")), ToBytes("any\r\n"));
  EXPECT_TRUE(script.OnReceive(ToBytes("y")).empty());  // ran out: silent
  EXPECT_EQ(script.Received(), ToBytes("noise Gmax\r\nxy"));
  EXPECT_EQ(script.Answered(), 2u);
}

TEST(ScriptResponder, RepeatsWhenAskedTo) {
  ScriptResponder script;
  script.SetRepeat(true);
  script.AddReply(ToBytes("a"));
  script.AddReply(ToBytes("b"));
  Bytes replies;
  for (int i = 0; i < 5; ++i) {
    auto reply = script.OnReceive(ToBytes("?"));
    replies.insert(replies.end(), reply.begin(), reply.end());
  }
  EXPECT_EQ(replies, ToBytes("ababa"));
}

TEST(Framing, BitsPerCharacter) {
  Scalesim::Framing framing;
  EXPECT_EQ(framing.BitsPerCharacter(), 10);
  ASSERT_TRUE(Scalesim::ParseFraming("8E2", framing));
  EXPECT_EQ(framing.BitsPerCharacter(), 12);
  ASSERT_TRUE(Scalesim::ParseFraming("7o1", framing));
  EXPECT_EQ(framing.BitsPerCharacter(), 10);
  EXPECT_FALSE(Scalesim::ParseFraming("9N1", framing));
  EXPECT_FALSE(Scalesim::ParseFraming("8X1", framing));
  EXPECT_FALSE(Scalesim::ParseFraming("8N3", framing));
  EXPECT_FALSE(Scalesim::ParseFraming("8N", framing));
}

}  // namespace
