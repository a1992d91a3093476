#include "record/rowwriter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/appendfile.h"

namespace record {

namespace {

// A comment or identification must not start a line of its own: a device could answer with
// anything, and a stray line break would forge a row.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

// Device texts are Latin-1; the escapes are ASCII, so the whole string is converted at the end.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x", u);
            out += escaped.data();
        } else {
            out += c;
        }
    }
    return Utf8FromLatin1(out + "\"");
}

// Milliseconds, the whole number however large (a double has up to 309 digits before the point).
std::string ElapsedText(double seconds) {
    if (!std::isfinite(seconds)) return {};
    std::array<char, 400> text{};
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed, 3);
    return std::string(text.data(), result.ptr);
}

}  // namespace

struct RowWriter::Sink {
    platform::AppendFile file;
    std::ostream* stream = nullptr;
};

std::string IsoTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss clock{ms - day};
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count()));
    return text.data();
}

std::string ShortestNumber(double value) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

std::string Utf8FromLatin1(std::string_view latin1) {
    std::string out;
    for (const char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

RowWriter::RowWriter() = default;
RowWriter::~RowWriter() {
    Close();
}

int RowWriter::OpenFile(const std::string& path, Format format) {
    Close();
    auto sink = std::make_unique<Sink>();
    if (!sink->file.Open(path)) {
        errorText_ = sink->file.ErrorText();
        return kOpenFailed;
    }
    hadContent_ = sink->file.SizeAtOpen() > 0;
    format_ = format;
    rows_ = 0;
    const bool tornLastLine = hadContent_ && sink->file.LastByteAtOpen() != '\n';
    sink_ = std::move(sink);
    // A line cut short by a crash is ended, so the new session does not continue it.
    if (tornLastLine && Put("") != 0) return kWriteFailed;
    return 0;
}

int RowWriter::OpenStream(std::ostream& stream, Format format) {
    Close();
    sink_ = std::make_unique<Sink>();
    sink_->stream = &stream;
    hadContent_ = false;
    format_ = format;
    rows_ = 0;
    return 0;
}

int RowWriter::Put(const std::string& line) {
    if (!sink_) return kWriteFailed;
    const std::string text = line + '\n';
    if (sink_->stream != nullptr) {
        sink_->stream->write(text.data(), static_cast<std::streamsize>(text.size()));
        sink_->stream->flush();
        if (*sink_->stream) return 0;
        errorText_ = "stream write failed";
    } else {
        if (sink_->file.Write(text.data(), text.size())) return 0;
        errorText_ = sink_->file.ErrorText();
    }
    return kWriteFailed;
}

int RowWriter::WriteHeader(const Session& s) {
    std::vector<std::string> lines;
    if (format_ == Format::kCsv) {
        lines.push_back("# kwd2 measurement log");
        lines.push_back("# program: " + OneLine(s.program + " " + s.version));
        lines.push_back("# port: " + OneLine(s.port + " (" + s.devicePath + ")"));
        lines.push_back("# started: " + IsoTime(s.started));
        for (const auto& [address, id] : s.devices) {
            lines.push_back("# device " + std::to_string(address) + ": " + OneLine(id));
        }
        if (!hadContent_) lines.push_back("time,elapsed_s,address,voltage_V,current_mA,status1,error");
    } else {
        std::string devices;
        for (const auto& [address, id] : s.devices) {
            devices +=
                (devices.empty() ? "" : ",") + JsonString(std::to_string(address)) + ":" + JsonString(id);
        }
        lines.push_back(
            "{\"log\":\"kwd2 measurement log\",\"program\":" + JsonString(s.program + " " + s.version) +
            ",\"port\":" + JsonString(s.port) + ",\"device_path\":" + JsonString(s.devicePath) +
            ",\"started\":" + JsonString(IsoTime(s.started)) + ",\"devices\":{" + devices + "}}");
    }
    for (const auto& line : lines) {
        if (const int rc = Put(line); rc != 0) return rc;
    }
    hadContent_ = true;
    return 0;
}

int RowWriter::WriteRow(const Row& row) {
    // A value that is no number counts as missing: JSON has no word for it, and both formats say the same.
    const auto number = [](const std::optional<double>& v) {
        return v && std::isfinite(*v) ? ShortestNumber(*v) : std::string();
    };
    const std::string status = row.status1 ? std::to_string(*row.status1) : std::string();
    std::string line;
    if (format_ == Format::kCsv) {
        line = IsoTime(row.time) + ',' + ElapsedText(row.elapsedSeconds) + ',' + std::to_string(row.address) +
               ',' + number(row.volts) + ',' + number(row.milliamps) + ',' + status + ',' +
               std::to_string(row.error);
    } else {
        const auto json = [](const std::string& v) { return v.empty() ? std::string("null") : v; };
        line = "{\"time\":" + JsonString(IsoTime(row.time)) +
               ",\"elapsed_s\":" + json(ElapsedText(row.elapsedSeconds)) +
               ",\"address\":" + std::to_string(row.address) + ",\"voltage_V\":" + json(number(row.volts)) +
               ",\"current_mA\":" + json(number(row.milliamps)) + ",\"status1\":" + json(status) +
               ",\"error\":" + std::to_string(row.error) + "}";
    }
    if (const int rc = Put(line); rc != 0) return rc;
    ++rows_;
    return 0;
}

int RowWriter::WriteComment(const std::string& text) {
    if (format_ == Format::kCsv) return Put("# " + OneLine(text));
    return Put("{\"comment\":" + JsonString(text) + "}");
}

int RowWriter::Close() {
    if (!sink_) return 0;
    const bool ok = sink_->stream != nullptr || sink_->file.Close();
    if (!ok) errorText_ = sink_->file.ErrorText();
    sink_.reset();
    return ok ? 0 : kWriteFailed;
}

}  // namespace record
