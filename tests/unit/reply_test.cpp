// Reply codes, reply numbers, the code shown in a text, the end of a
// multi-line reply, the replies taken one by one however the receives cut
// them, and the reply lines a trace shows.
#include "smtp/reply.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "smtp/dialogue_trace.h"
#include "tests/support/piecewise_replies.h"

namespace {

struct CodeCase {
  std::string reply;
  const char *expected;
  bool matches;
};

TEST(ReplyCode, ComparesTheFirstThreeBytes) {
  const CodeCase cases[] = {
      {"250 ok\r\n", "250", true},
      {"250-first\r\n250 last\r\n", "250", true},  // only the first line counts
      {"2500 odd\r\n", "250", true},               // three bytes are compared
      {" 250 ok\r\n", "250", false},
      {"251 ok\r\n", "250", false},
      {"25", "250", false},  // shorter than a code
      {"", "250", false},
      {"354 go\r\n", "354", true},
      {"abc", "ABC", false},  // case counts
  };
  for (const CodeCase &c : cases)
    EXPECT_EQ(ReplyCodeIs(c.reply.data(), c.reply.size(), c.expected), c.matches) << c.reply;
}

TEST(ReplyCode, ReadsNoByteBeyondTheReceivedLength) {
  const char bytes[] = "250";
  EXPECT_FALSE(ReplyCodeIs(bytes, 2, "250"));
}

struct NumberCase {
  std::string reply;
  int number;
};

TEST(ReplyNumber, TakesTheDecimalNumberAtTheStart) {
  const NumberCase cases[] = {
      {"250 ok", 250},  {"2500 odd", 2500}, {" 250 ok", 250},        {"\t\r\n251 x", 251},
      {"252 maybe", 252}, {"550 no", 550},  {"ok 250", 0},           {"", 0},
  };
  for (const NumberCase &c : cases)
    EXPECT_EQ(ReplyNumber(c.reply.data(), c.reply.size()), c.number) << c.reply;
}

TEST(ReplyNumber, HugeDigitRunsStayBounded) {
  std::string digits(1000, '9');
  EXPECT_LT(ReplyNumber(digits.data(), digits.size()), 10 * 1000 * 1000);
  EXPECT_GT(ReplyNumber(digits.data(), digits.size()), 999);
}

TEST(ReplyCodeText, ShowsOnlyReceivedPrintableBytes) {
  EXPECT_EQ(ReplyCodeText("554 go away", 11), "554");
  EXPECT_EQ(ReplyCodeText("25", 2), "25");
  EXPECT_EQ(ReplyCodeText("\x01\r\n", 3), "???");
  EXPECT_EQ(ReplyCodeText("", 0), "");
}

struct EndCase {
  std::string bytes;
  bool final;
};

TEST(ReplyEnd, FindsTheFinalLineAtEverySplit) {
  const EndCase cases[] = {
      {"250 ok\r\n", true},
      {"250-mx\r\n250-PIPELINING\r\n250 AUTH PLAIN\r\n", true},
      {"250\r\n", true},
      {"250-mx\r\n250-AUTH PLAIN\r\n", false},
      {"250 ok", false},    // no line end yet
      {"250 ok\n", true},  // LF alone ends a line too
      {"x50 ok\r\n", true},  // a malformed line ends the reply, to be judged
      {"25 ok\r\n", true},
      {"250-a 250 b\r\n", false},  // a code further along the line is not a line start
  };
  for (const EndCase &c : cases) {
    for (std::size_t split = 0; split <= c.bytes.size(); ++split) {
      CReplyLines lines;
      lines.Take(c.bytes.data(), split);
      lines.Take(c.bytes.data() + split, c.bytes.size() - split);
      EXPECT_EQ(lines.Done(), c.final) << c.bytes << " split at " << split;
    }
  }
}

struct ReaderCase {
  const char *name;
  std::string bytes;
  std::vector<std::string> replies;
};

TEST(ReplyReader, TakesEachReplyWholeAtEverySplit) {
  const std::string longLine = "250-" + std::string(1500, 'x') + "\r\n";
  const ReaderCase cases[] = {
      {"three in a row", "250 ok\r\n550 no\r\n354 go\r\n", {"250 ok\r\n", "550 no\r\n", "354 go\r\n"}},
      {"multi-line", "250-a\r\n250-b\r\n250 c\r\n550-no\r\n550 such user\r\n",
       {"250-a\r\n250-b\r\n250 c\r\n", "550-no\r\n550 such user\r\n"}},
      {"no text", "250\r\n354\r\n", {"250\r\n", "354\r\n"}},
      {"bare line feeds", "250 ok\n354 go\n", {"250 ok\n", "354 go\n"}},
      // A line that does not continue the reply ends it, and is judged.
      {"malformed lines", "garbage\r\n 250 ok\r\n2500-odd\r\n25-x\r\n",
       {"garbage\r\n", " 250 ok\r\n", "2500-odd\r\n", "25-x\r\n"}},
      // The first kReplyCapacity bytes are kept; the next reply is intact.
      {"longer than kept", longLine + "250 ok\r\n354 go\r\n",
       {longLine.substr(0, kReplyCapacity), "354 go\r\n"}},
  };
  for (const ReaderCase &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::vector<std::size_t>> cuts = {{1}, {c.bytes.size()}};
    for (std::size_t split = 1; split < c.bytes.size(); ++split)
      cuts.push_back({split, c.bytes.size()});
    for (const auto &pieces : cuts) {
      CPiecewiseSource source(c.bytes, pieces, IoStatus::kDone);
      ReplyRead end;
      EXPECT_EQ(ReadAllReplies(source, &end), c.replies) << "first receive " << pieces[0];
      EXPECT_EQ(end, ReplyRead::kClosed);
    }
  }
}

struct ReaderEndCase {
  const char *name;
  std::string bytes;
  IoStatus atEnd;
  ReplyRead outcome;
};

TEST(ReplyReader, ReportsWhatEndsAnUnfinishedReply) {
  std::string endless;
  while (endless.size() <= kMaxReplyLength + kReplyCapacity) endless += "250-" + std::string(500, 'x') + "\r\n";
  const ReaderEndCase cases[] = {
      {"close", "250 ok\r\n250-a\r\n", IoStatus::kDone, ReplyRead::kClosed},
      {"silence", "250 ok\r\n250 b", IoStatus::kTimedOut, ReplyRead::kTimedOut},
      {"failure", "250 ok\r\n", IoStatus::kFailed, ReplyRead::kFailed},
      {"a reply without end", "250 ok\r\n" + endless + "250 end\r\n", IoStatus::kDone,
       ReplyRead::kTooLong},
  };
  for (const ReaderEndCase &c : cases) {
    SCOPED_TRACE(c.name);
    CPiecewiseSource source(c.bytes, {kReplyCapacity}, c.atEnd);
    ReplyRead end;
    EXPECT_EQ(ReadAllReplies(source, &end), std::vector<std::string>{"250 ok\r\n"});
    EXPECT_EQ(end, c.outcome);
  }
}

class CLines : public CTraceSink {
 public:
  void Trace(std::string_view event) override { lines.emplace_back(event); }
  std::vector<std::string> lines;
};

// Reply lines as a trace shows them, however the bytes are split: whole,
// without their line end, a line the reading ended in as it stands.
TEST(ReplyTrace, LinesAreWholeAtEverySplit) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"250-mx\r\n250 AUTH PLAIN\r\n", {"< 250-mx", "< 250 AUTH PLAIN"}},
      {"250 a\nb", {"< 250 a", "< b"}},
      {"\r\n", {"< "}},
  };
  for (const auto &[bytes, lines] : cases) {
    for (std::size_t split = 0; split <= bytes.size(); ++split) {
      CLines sink;
      CDialogueTrace trace;
      trace.SetSink(&sink);
      trace.Reply(bytes.data(), split);
      trace.Reply(bytes.data() + split, bytes.size() - split);
      trace.EndReply();
      EXPECT_EQ(sink.lines, lines) << bytes << " split at " << split;
    }
  }
}

// A flood gets kReplyLinesPerCommand lines per command line sent (a batch
// of two here) and one note; a long line is cut.
TEST(ReplyTrace, FloodsAndLongLinesAreBounded) {
  CLines sink;
  CDialogueTrace trace;
  trace.SetSink(&sink);
  const std::string batch = "MAIL FROM:<a@x>\r\nRCPT TO:<b@x>\r\n";
  trace.Commands(batch.data(), batch.size());
  std::string flood;
  for (std::size_t i = 0; i < 2 * kReplyLinesPerCommand + 5; ++i) flood += "250-x\r\n";
  trace.Reply(flood.data(), flood.size());
  trace.Shown(kCredentialsHidden);
  const std::string line = std::string(3 * kMaxTracedLine, 'y') + "\r\n";
  trace.Reply(line.data(), line.size());
  ASSERT_EQ(sink.lines.size(), 2 + 2 * kReplyLinesPerCommand + 1 + 1 + 1);
  EXPECT_EQ(sink.lines[1], "> RCPT TO:<b@x>");
  EXPECT_EQ(sink.lines[2 + 2 * kReplyLinesPerCommand], "< (more reply lines not shown)");
  EXPECT_EQ(sink.lines[3 + 2 * kReplyLinesPerCommand], "> <credentials hidden>");
  EXPECT_EQ(sink.lines.back(), "< " + std::string(kMaxTracedLine, 'y'));
}


}  // namespace
