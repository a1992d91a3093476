// The measurement log: one row per reading of one device, as CSV or JSON Lines, behind a header
// that says which program, port and devices wrote it. Shared by kwd2ctl and the panel program's
// recording.
//
// CSV (RFC 4180, comma, '.' decimals, LF):
//   # kwd2 measurement log
//   # program: <name> <version>
//   # port: <name> (<device path>)
//   # started: <ISO-8601 UTC>
//   # device <addr>: <identification>          (one line per device)
//   time,elapsed_s,address,voltage_V,current_mA,status1,error
//   2026-01-02T03:04:05.678Z,0.500,0,12.5,100,0,0
// JSON Lines: every line one object. The header is one object with the keys "log", "program",
// "port", "device_path", "started" and "devices"; each reading one object with the CSV's column
// names as keys (missing values as null). Comments are {"comment": "..."} objects. A value that is
// no number (not-a-number, infinite) is written as missing in both formats.
//
// Every line is handed to the system with one write call, so a crash loses at most the line being
// written and never leaves a torn line before it. Appending to a file that already holds a log
// starts a new session: the comment header is written again, the column header is not.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace record {

enum class Format { kCsv, kJsonLines };

// Error codes (error number 308: file cannot be opened, 301: error writing to file).
inline constexpr int kOpenFailed = -308230;
inline constexpr int kWriteFailed = -301231;

struct Session {
    std::string program;     // "kwd2ctl"
    std::string version;     // "1.5"
    std::string port;        // as the user named it: "COM1", "/dev/ttyUSB0"
    std::string devicePath;  // what the name opened
    std::chrono::system_clock::time_point started;
    std::vector<std::pair<int, std::string>> devices;  // bus address and identification
};

struct Row {
    std::chrono::system_clock::time_point time;
    double elapsedSeconds = 0.0;
    int address = 0;
    std::optional<double> volts;
    std::optional<double> milliamps;
    std::optional<int> status1;
    int error = 0;  // 0, or the error code of the failed reading
};

// "2026-01-02T03:04:05.678Z"
std::string IsoTime(std::chrono::system_clock::time_point time);
// The shortest text that reads back to the same double ("12.5", "0.1", "1e-07").
std::string ShortestNumber(double value);
// Latin-1 text (device answers, catalogue texts) as UTF-8: each byte is the code point of the
// same number.
std::string Utf8FromLatin1(std::string_view latin1);

class RowWriter {
  public:
    RowWriter();
    ~RowWriter();
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // Appends to `path`, creating it when missing. Returns 0, or kOpenFailed (nothing written).
    int OpenFile(const std::string& path, Format format);
    // Writes to a stream (standard output): every line is flushed on its own. Returns 0.
    int OpenStream(std::ostream& stream, Format format);

    // Writes the session header: the comment lines, and for CSV the column header unless the file
    // already held something. Returns 0 or kWriteFailed.
    int WriteHeader(const Session& session);
    // One reading. Returns 0 or kWriteFailed.
    int WriteRow(const Row& row);
    // A note between rows ("# <text>" in CSV). Line breaks in `text` become blanks. 0 or kWriteFailed.
    int WriteComment(const std::string& text);
    // Rows written since the writer was opened.
    long long RowCount() const { return rows_; }
    // Closes the file. Returns 0 or kWriteFailed when the system reports a late write error.
    int Close();
    // The system's reason for the last failure ("Permission denied"), or "".
    const std::string& ErrorText() const { return errorText_; }

  private:
    struct Sink;
    int Put(const std::string& line);

    std::unique_ptr<Sink> sink_;
    Format format_ = Format::kCsv;
    bool hadContent_ = false;
    long long rows_ = 0;
    std::string errorText_;
};

}  // namespace record
