// Arbitrary bytes as a recording: a session header, rows with any values (also not-a-number and
// infinities, any time point the clock can hold) and comments with any bytes, written through the
// CSV and the JSON Lines writer into memory and read back by a strict reader. Aborts when a line is
// not one complete comment, column header or row, when a value does not read back at the writer's
// precision, when a comment or identification breaks a line, or when a JSON line is not valid JSON.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "record/rowwriter.h"

namespace {

using Clock = std::chrono::system_clock;

// Names the failed check's line before aborting, so that a finding says what broke.
void fail(int line) {
    std::fprintf(stderr, "record_fuzz: check at line %d failed\n", line);
    std::abort();
}
#define require(condition) ((condition) ? void() : fail(__LINE__))

std::vector<std::string> lines(const std::string& text) {
    require(text.empty() || text.back() == '\n');
    std::vector<std::string> out;
    for (std::size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        out.push_back(text.substr(begin, end - begin));
    }
    return out;
}

// "YYYY-MM-DDThh:mm:ss.mmmZ" back to the millisecond it names.
std::chrono::sys_time<std::chrono::milliseconds> readTime(std::string_view t) {
    require(t.size() == 24 && t[4] == '-' && t[7] == '-' && t[10] == 'T' && t[13] == ':' && t[16] == ':' &&
            t[19] == '.' && t[23] == 'Z');
    const auto field = [&](std::size_t at, std::size_t n) {
        int v = 0;
        require(std::from_chars(t.data() + at, t.data() + at + n, v).ptr == t.data() + at + n);
        return v;
    };
    using namespace std::chrono;
    const year_month_day date{year{field(0, 4)}, month{static_cast<unsigned>(field(5, 2))},
                              day{static_cast<unsigned>(field(8, 2))}};
    require(date.ok());
    return sys_days{date} + hours{field(11, 2)} + minutes{field(14, 2)} + seconds{field(17, 2)} +
           milliseconds{field(20, 3)};
}

double readNumber(std::string_view text) {
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    require(!text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size());
    return v;
}

long long readInteger(std::string_view text) {
    long long v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    require(!text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size());
    return v;
}

// The elapsed time as written: rounded to the millisecond.
void requireElapsed(std::string_view text, double written) {
    const std::size_t dot = text.find('.');
    require(dot != std::string_view::npos && text.size() - dot == 4);
    require(std::fabs(readNumber(text) - written) <= 0.0005 * (1 + 1e-12) + std::fabs(written) * 1e-15);
}

// A value read back as it was; a value that is no number is written as none.
void requireValue(const std::optional<double>& read, const std::optional<double>& written) {
    if (!written || !std::isfinite(*written)) {
        require(!read);
        return;
    }
    require(read && *read == *written && std::signbit(*read) == std::signbit(*written));
}

// --- A strict JSON reader: one object per line, values are strings, numbers, null or objects. ---
struct Json;
using Object = std::map<std::string, Json>;
// None, a string, a number's text, or an object.
using JsonValue = std::variant<std::nullptr_t, std::string, std::string, std::shared_ptr<const Object>>;
struct Json {
    JsonValue value;
};

class JsonReader {
  public:
    explicit JsonReader(std::string_view text) : t_(text) {}
    Object line() {
        Object o = object();
        require(at_ == t_.size());
        return o;
    }

  private:
    char peek() const { return at_ < t_.size() ? t_[at_] : '\0'; }
    void expect(char c) {
        require(peek() == c && at_ < t_.size());
        ++at_;
    }
    Object object() {
        Object o;
        expect('{');
        if (peek() == '}') {
            ++at_;
            return o;
        }
        for (;;) {
            std::string key = string();
            expect(':');
            require(o.emplace(std::move(key), value()).second);  // no key twice
            if (peek() == '}') break;
            expect(',');
        }
        expect('}');
        return o;
    }
    Json value() {
        const char c = peek();
        if (c == '"') return {JsonValue(std::in_place_index<1>, string())};
        if (c == '{') return {std::make_shared<const Object>(object())};
        if (t_.substr(at_, 4) == "null") {
            at_ += 4;
            return {nullptr};
        }
        return {JsonValue(std::in_place_index<2>, number())};
    }
    std::string number() {
        const std::size_t begin = at_;
        if (peek() == '-') ++at_;
        const auto digits = [&] {
            const std::size_t from = at_;
            while (peek() >= '0' && peek() <= '9') ++at_;
            require(at_ > from);
        };
        require(peek() >= '0' && peek() <= '9');
        if (peek() == '0') {
            ++at_;
        } else {
            digits();
        }
        if (peek() == '.') {
            ++at_;
            digits();
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') ++at_;
            digits();
        }
        return std::string(t_.substr(begin, at_ - begin));
    }
    unsigned hex4() {
        require(at_ + 4 <= t_.size());
        unsigned v = 0;
        const auto r = std::from_chars(t_.data() + at_, t_.data() + at_ + 4, v, 16);
        require(r.ptr == t_.data() + at_ + 4);
        at_ += 4;
        return v;
    }
    // Decodes to code points below 256 as single bytes (the writer's texts are Latin-1).
    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            require(at_ < t_.size());
            const auto c = static_cast<unsigned char>(t_[at_++]);
            if (c == '"') return out;
            require(c >= 0x20);
            if (c == '\\') {
                const char e = peek();
                ++at_;
                static const std::string_view plain = "\"\\/", named = "bfnrt", meant = "\b\f\n\r\t";
                if (plain.find(e) != std::string_view::npos) {
                    out += e;
                } else if (named.find(e) != std::string_view::npos) {
                    out += meant[named.find(e)];
                } else {
                    require(e == 'u');
                    const unsigned u = hex4();
                    require(u < 0x100);
                    out += static_cast<char>(u);
                }
            } else if (c >= 0x80) {
                // Valid UTF-8 only; all the writer may produce is two bytes for U+0080..U+00FF.
                require((c == 0xC2 || c == 0xC3) && at_ < t_.size());
                const auto next = static_cast<unsigned char>(t_[at_++]);
                require((next & 0xC0) == 0x80);
                out += static_cast<char>(((c & 0x1F) << 6) | (next & 0x3F));
            } else {
                out += static_cast<char>(c);
            }
        }
    }

    std::string_view t_;
    std::size_t at_ = 0;
};

const std::string& text(const Object& o, const std::string& key) {
    const auto it = o.find(key);
    require(it != o.end() && it->second.value.index() == 1);
    return std::get<1>(it->second.value);
}
std::optional<std::string> number(const Object& o, const std::string& key) {
    const auto it = o.find(key);
    require(it != o.end() && (it->second.value.index() == 2 || it->second.value.index() == 0));
    if (it->second.value.index() == 0) return std::nullopt;
    return std::get<2>(it->second.value);
}

// --- What the bytes decode to ---
struct Comment {
    std::string text;
};
using Entry = std::variant<record::Row, Comment>;

std::string anyText(FuzzedDataProvider& in) {
    return in.ConsumeRandomLengthString(64);
}

record::Session session(FuzzedDataProvider& in) {
    record::Session s{anyText(in),
                      anyText(in),
                      anyText(in),
                      anyText(in),
                      Clock::time_point(Clock::duration(in.ConsumeIntegral<Clock::rep>())),
                      {}};
    // A search finds each bus address once.
    std::map<int, bool> seen;
    for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const int address = in.ConsumeIntegral<int>();
        if (seen.emplace(address, true).second) s.devices.emplace_back(address, anyText(in));
    }
    return s;
}

double anyDouble(FuzzedDataProvider& in) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return kInf;
        case 2:
            return -kInf;
        case 3:
            return -0.0;
        case 4:
            return in.ConsumeFloatingPointInRange(-1e6, 1e6);
        default:
            return in.ConsumeFloatingPoint<double>();
    }
}

std::optional<double> anyValue(FuzzedDataProvider& in) {
    if (!in.ConsumeBool()) return std::nullopt;
    return anyDouble(in);
}

record::Row row(FuzzedDataProvider& in) {
    record::Row r;
    r.time = Clock::time_point(Clock::duration(in.ConsumeIntegral<Clock::rep>()));
    r.elapsedSeconds = anyDouble(in);
    r.address = in.ConsumeIntegral<int>();
    r.volts = anyValue(in);
    r.milliamps = anyValue(in);
    if (in.ConsumeBool()) r.status1 = in.ConsumeIntegral<int>();
    r.error = in.ConsumeIntegral<int>();
    return r;
}

std::string oneLine(std::string s) {
    for (char& c : s) c = (c == '\n' || c == '\r') ? ' ' : c;
    return s;
}

void checkCsv(const std::string& out, const record::Session& s, const std::vector<Entry>& entries) {
    const std::vector<std::string> got = lines(out);
    std::vector<std::string> header = {
        "# kwd2 measurement log", "# program: " + oneLine(s.program + " " + s.version),
        "# port: " + oneLine(s.port + " (" + s.devicePath + ")"), "# started: " + record::IsoTime(s.started)};
    for (const auto& [address, id] : s.devices)
        header.push_back("# device " + std::to_string(address) + ": " + oneLine(id));
    header.push_back("time,elapsed_s,address,voltage_V,current_mA,status1,error");
    require(got.size() == header.size() + entries.size());
    for (std::size_t i = 0; i < header.size(); ++i) require(got[i] == header[i]);
    require(readTime(record::IsoTime(s.started).substr(0, 24)) ==
            std::chrono::floor<std::chrono::milliseconds>(s.started));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& line = got[header.size() + i];
        if (const auto* c = std::get_if<Comment>(&entries[i])) {
            require(line == "# " + oneLine(c->text));
            continue;
        }
        const record::Row& r = std::get<record::Row>(entries[i]);
        std::vector<std::string_view> f;
        std::string_view rest = line;
        for (std::size_t comma; (comma = rest.find(',')) != std::string_view::npos;
             rest.remove_prefix(comma + 1)) {
            f.push_back(rest.substr(0, comma));
        }
        f.push_back(rest);
        require(f.size() == 7);
        require(readTime(f[0]) == std::chrono::floor<std::chrono::milliseconds>(r.time));
        if (std::isfinite(r.elapsedSeconds)) {
            requireElapsed(f[1], r.elapsedSeconds);
        } else {
            require(f[1].empty());
        }
        require(readInteger(f[2]) == r.address);
        requireValue(f[3].empty() ? std::nullopt : std::optional(readNumber(f[3])), r.volts);
        requireValue(f[4].empty() ? std::nullopt : std::optional(readNumber(f[4])), r.milliamps);
        require(f[5].empty() ? !r.status1 : (r.status1 && readInteger(f[5]) == *r.status1));
        require(readInteger(f[6]) == r.error);
    }
}

void checkJson(const std::string& out, const record::Session& s, const std::vector<Entry>& entries) {
    const std::vector<std::string> got = lines(out);
    require(got.size() == 1 + entries.size());
    const Object head = JsonReader(got[0]).line();
    require(text(head, "log") == "kwd2 measurement log" &&
            text(head, "program") == s.program + " " + s.version && text(head, "port") == s.port &&
            text(head, "device_path") == s.devicePath);
    require(readTime(text(head, "started")) == std::chrono::floor<std::chrono::milliseconds>(s.started));
    const auto devices = head.find("devices");
    require(devices != head.end() && devices->second.value.index() == 3);
    const Object& found = *std::get<3>(devices->second.value);
    require(found.size() == s.devices.size());
    for (const auto& [address, id] : s.devices) require(text(found, std::to_string(address)) == id);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Object o = JsonReader(got[1 + i]).line();
        if (const auto* c = std::get_if<Comment>(&entries[i])) {
            require(o.size() == 1 && text(o, "comment") == c->text);
            continue;
        }
        const record::Row& r = std::get<record::Row>(entries[i]);
        require(o.size() == 7);
        require(readTime(text(o, "time")) == std::chrono::floor<std::chrono::milliseconds>(r.time));
        const auto elapsed = number(o, "elapsed_s");
        if (std::isfinite(r.elapsedSeconds)) {
            require(elapsed.has_value());
            requireElapsed(*elapsed, r.elapsedSeconds);
        } else {
            require(!elapsed);
        }
        const auto volts = number(o, "voltage_V");
        const auto milliamps = number(o, "current_mA");
        requireValue(volts ? std::optional(readNumber(*volts)) : std::nullopt, r.volts);
        requireValue(milliamps ? std::optional(readNumber(*milliamps)) : std::nullopt, r.milliamps);
        const auto address = number(o, "address");
        const auto status = number(o, "status1");
        const auto error = number(o, "error");
        require(address && readInteger(*address) == r.address && error && readInteger(*error) == r.error);
        require(status ? (r.status1 && readInteger(*status) == *r.status1) : !r.status1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const record::Session s = session(in);
    std::vector<Entry> entries;
    while (in.remaining_bytes() > 0 && entries.size() < 64) {
        if (in.ConsumeBool()) {
            entries.emplace_back(Comment{anyText(in)});
        } else {
            entries.emplace_back(row(in));
        }
    }
    for (const record::Format format : {record::Format::kCsv, record::Format::kJsonLines}) {
        std::ostringstream out;
        record::RowWriter w;
        require(w.OpenStream(out, format) == 0 && w.WriteHeader(s) == 0);
        for (const Entry& e : entries) {
            if (const auto* c = std::get_if<Comment>(&e)) {
                require(w.WriteComment(c->text) == 0);
            } else {
                require(w.WriteRow(std::get<record::Row>(e)) == 0);
            }
        }
        require(w.RowCount() ==
                static_cast<long long>(std::count_if(entries.begin(), entries.end(), [](const Entry& e) {
                    return std::holds_alternative<record::Row>(e);
                })));
        require(w.Close() == 0);
        if (format == record::Format::kCsv) {
            checkCsv(out.str(), s, entries);
        } else {
            checkJson(out.str(), s, entries);
        }
    }
    return 0;
}
