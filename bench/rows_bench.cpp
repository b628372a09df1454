// Throughput of the report renderings: JSON rows, as FOR JSON PATH writes
// them, to CSV (alone, and through base64 as the attachment sends it) and
// to the HTML table, beside Python's json and csv modules writing the same
// CSV from the same text, in one run.
//
//   rows_bench [rows]     (default 100000 rows of 8 columns, about 20 MB)
//
// Each rendering includes both readings of the text (the check that finds
// the columns, then the rows) and is timed over the text in memory,
// written to a channel that counts the bytes; the best of kRepeats wall
// times is kept, and throughput is MB (10^6 bytes) of JSON a second.
// Python reads the text from a temporary file, outside its timing, runs
// bench/rows_csv.py, and its CSV is checked to be the bytes ours are.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mime/base64_stream.h"
#include "report/csv_rows.h"
#include "report/html_table.h"
#include "report/json_rows.h"

namespace {

constexpr std::size_t kDefaultRows = 100000;
constexpr int kRepeats = 3;
constexpr double kMega = 1e6;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The rows of a customer query: numbers, dates, text with the characters
// that need escaping or quoting, text beyond ASCII, true/false and null.
std::string MakeRows(std::size_t count) {
  static const char *const kCities[] = {"Z\xC3\xBCrich", "\xE6\x9D\xB1\xE4\xBA\xAC",
                                        "New York", "S\xC3\xA3o Paulo"};
  std::string json = "[";
  char row[512];
  for (std::size_t i = 0; i < count; ++i) {
    const char *note = i % 5 == 0 ? "null" : "\"called, \\\"twice\\\" about the order\"";
    std::snprintf(row, sizeof row,
                  "%s{\"id\":%zu,\"customer\":\"Customer %zu & Sons <Ltd>\",\"city\":\"%s\","
                  "\"amount\":%zu.%02zu,\"created\":\"2024-%02zu-%02zuT10:11:12.1230000\","
                  "\"active\":%s,\"note\":%s,\"code\":\"ORD-%07zu-XYZ\"}",
                  i == 0 ? "" : ",", i, i, kCities[i % 4], (i * 7919) % 100000, i % 100,
                  i % 12 + 1, i % 28 + 1, i % 3 == 0 ? "true" : "false", note, i);
    json += row;
  }
  return json + "]";
}

// Counts what it is given and keeps it when asked.
class CCountingChannel : public COutputChannel {
 public:
  explicit CCountingChannel(std::string *keep = nullptr) : m_keep(keep) {}
  bool WriteBytes(const void *data, std::size_t length) override {
    m_bytes += length;
    if (m_keep != nullptr) m_keep->append(static_cast<const char *>(data), length);
    return true;
  }
  std::size_t Bytes() const { return m_bytes; }

 private:
  std::string *m_keep;
  std::size_t m_bytes = 0;
};

enum class Rendering { kCsv, kCsvBase64, kHtml };

// One rendering from the text: its seconds (best of kRepeats) and bytes.
double Time(const std::string &json, Rendering rendering, std::size_t &bytes, std::string *keep) {
  double best = 1e9;
  for (int r = 0; r < kRepeats; ++r) {
    if (keep != nullptr) keep->clear();
    CCountingChannel out(keep);
    // The call hands its text over; the copy is not the rendering's.
    std::string text = json;
    const Clock::time_point start = Clock::now();
    CJsonRows rows;
    CRowsFault fault;
    bool ok = rows.Load(std::move(text), fault);
    if (ok && rendering == Rendering::kCsv) ok = WriteCsvRows(rows, out);
    if (ok && rendering == Rendering::kHtml) ok = WriteHtmlTable(rows, out);
    if (ok && rendering == Rendering::kCsvBase64) {
      CBase64Stream encoded(out);
      ok = WriteCsvRows(rows, encoded) && encoded.Finish();
    }
    const double seconds = Seconds(start);
    if (!ok) {
      std::fprintf(stderr, "rendering failed\n");
      std::exit(1);
    }
    if (seconds < best) best = seconds;
    bytes = out.Bytes();
  }
  return best;
}

// Runs python3 on the script with the JSON file and the CSV file it
// writes; its standard output (seconds) is read back.
double RunPython(const std::string &script, const std::string &json_file,
                 const std::string &csv_file) {
  const std::string command = "/usr/bin/python3 '" + script + "' '" + json_file + "' '" +
                              csv_file + "' " + std::to_string(kRepeats);
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  double seconds = -1;
  if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
  return pclose(pipe) == 0 ? seconds : -1;
}

std::string ReadFile(const std::string &path) {
  std::string data;
  if (FILE *f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) data.append(buffer, n);
    std::fclose(f);
  }
  return data;
}

}  // namespace

int main(int argc, char **argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultRows;
  const std::string json = MakeRows(count);
  const double mb = json.size() / kMega;
  std::printf("%zu rows of 8 columns, %.1f MB of JSON\n\n", count, mb);
  std::printf("%-34s %10s %10s %12s\n", "rendering", "seconds", "MB/s", "output MB");

  std::string csv;
  struct {
    const char *name;
    Rendering rendering;
  } runs[] = {{"JSON -> CSV (mailvane)", Rendering::kCsv},
              {"JSON -> CSV -> base64 (mailvane)", Rendering::kCsvBase64},
              {"JSON -> HTML table (mailvane)", Rendering::kHtml}};
  for (const auto &run : runs) {
    std::size_t bytes = 0;
    const double seconds =
        Time(json, run.rendering, bytes, run.rendering == Rendering::kCsv ? &csv : nullptr);
    std::printf("%-34s %10.3f %10.1f %12.1f\n", run.name, seconds, mb / seconds, bytes / kMega);
  }

  char folder[] = "/tmp/rows_bench.XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string json_file = std::string(folder) + "/rows.json";
  const std::string csv_file = std::string(folder) + "/rows.csv";
  if (FILE *f = std::fopen(json_file.c_str(), "wb")) {
    std::fwrite(json.data(), 1, json.size(), f);
    std::fclose(f);
  }
  std::string script = argv[0];
  script = script.substr(0, script.rfind('/') + 1) + "rows_csv.py";
  if (const char *source = std::getenv("ROWS_CSV_PY")) script = source;
  const double python = RunPython(script, json_file, csv_file);
  if (python > 0) {
    const std::string theirs = ReadFile(csv_file);
    std::printf("%-34s %10.3f %10.1f %12.1f\n", "JSON -> CSV (python3 json + csv)", python,
                mb / python, theirs.size() / kMega);
    std::printf("\nsame CSV bytes: %s\n", theirs == csv ? "yes" : "NO");
  } else {
    std::printf("python3 run failed\n");
  }
  std::remove(json_file.c_str());
  std::remove(csv_file.c_str());
  rmdir(folder);
  return 0;
}
