// Fuzzes the reply readers: no read beyond the given length (the reply is
// copied to a buffer of exactly its size), the code text is at most three
// printable characters, the line reader finds a reply's end exactly when
// one is there and judges it the same, the EHLO reader's record and the
// lines a trace shows stay within their bounds and are the same, and the
// reply reader takes the same bounded replies, however the bytes are split
// across receives.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "smtp/dialogue_trace.h"
#include "smtp/ehlo_keywords.h"
#include "smtp/reply.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/piecewise_replies.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The line reader's contract: a reply ends with the LF of its first line
// that does not open with three digits and "-".
bool HasFinalLine(const std::string &bytes) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) return false;
    std::string line = bytes.substr(start, end - start);
    if (!(line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
          line[3] == '-'))
      return true;
    start = end + 1;
  }
}

std::vector<std::string> Replies(const std::string &bytes, std::size_t step, ReplyRead *end) {
  CPiecewiseSource source(bytes, {step});
  std::vector<std::string> replies = ReadAllReplies(source, end);
  for (const std::string &reply : replies) FUZZ_CHECK(!reply.empty() && reply.size() <= kReplyCapacity);
  return replies;
}

class CLines : public CTraceSink {
 public:
  void Trace(std::string_view event) override { lines.emplace_back(event); }
  std::vector<std::string> lines;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  const std::uint8_t split = input.Byte();
  const std::string bytes = input.Rest();
  // An exact-size heap copy: ASan sees any read past the reply's length.
  std::unique_ptr<char[]> reply(new char[bytes.size() + 1]);
  std::memcpy(reply.get(), bytes.data(), bytes.size());
  const char *r = reply.get();
  const std::size_t n = bytes.size();

  FUZZ_CHECK(ReplyCodeIs(r, n, "250") == (n >= 3 && bytes.compare(0, 3, "250") == 0));
  if (n >= 3) {
    const char code[4] = {bytes[0], bytes[1], bytes[2], '\0'};
    FUZZ_CHECK(ReplyCodeIs(r, n, code) == (std::strlen(code) == 3));
  }
  int number = ReplyNumber(r, n);
  FUZZ_CHECK(number >= 0);
  std::string text = ReplyCodeText(r, n);
  FUZZ_CHECK(text.size() == (n < 3 ? n : 3));
  for (char c : text) FUZZ_CHECK(c >= 0x20 && c < 0x7f);

  const bool expected = HasFinalLine(bytes);
  CReplyLines whole;
  whole.Take(r, n);
  FUZZ_CHECK(whole.Done() == expected);
  // The same bytes in receives of (split % 7) + 1 bytes each.
  const std::size_t step = split % 7 + 1;
  CReplyLines pieces;
  CEhloReplyReader offer, offerInPieces;
  offer.Feed(r, n);
  CLines lines, linesInPieces;
  CDialogueTrace trace, traceInPieces;
  trace.SetSink(&lines);
  traceInPieces.SetSink(&linesInPieces);
  trace.Reply(r, n);
  trace.EndReply();
  for (std::size_t i = 0; i < n; i += step) {
    std::size_t length = n - i < step ? n - i : step;
    std::unique_ptr<char[]> piece(new char[length]);
    std::memcpy(piece.get(), r + i, length);
    pieces.Take(piece.get(), length);
    offerInPieces.Feed(piece.get(), length);
    traceInPieces.Reply(piece.get(), length);
  }
  traceInPieces.EndReply();
  FUZZ_CHECK(pieces.Done() == expected && pieces.Code().Text() == whole.Code().Text() &&
             pieces.Code().WellFormed() == whole.Code().WellFormed());
  FUZZ_CHECK(lines.lines == linesInPieces.lines);
  FUZZ_CHECK(lines.lines.size() <= kReplyLinesPerCommand + 1);
  for (const std::string &line : lines.lines) FUZZ_CHECK(line.size() <= 2 + kMaxTracedLine);

  const CEhloCapabilities &c = offer.Capabilities();
  FUZZ_CHECK(c.mechanisms == offerInPieces.Capabilities().mechanisms);
  FUZZ_CHECK(c.startTls == offerInPieces.Capabilities().startTls);
  FUZZ_CHECK(c.sizeLimit == offerInPieces.Capabilities().sizeLimit);
  FUZZ_CHECK(c.mechanisms.size() <= kMaxMechanisms);
  for (const std::string &name : c.mechanisms) {
    FUZZ_CHECK(!name.empty() && name.size() <= kMaxMechanismName);
    for (char ch : name) FUZZ_CHECK(ch > 0x20 && ch < 0x7f);
  }
  FUZZ_CHECK(c.OfferedText().size() <= kMaxOfferedText + 3);

  ReplyRead wholeEnd, piecesEnd;
  FUZZ_CHECK(Replies(bytes, kReplyCapacity, &wholeEnd) == Replies(bytes, step, &piecesEnd));
  FUZZ_CHECK(wholeEnd == piecesEnd);
  return 0;
}
