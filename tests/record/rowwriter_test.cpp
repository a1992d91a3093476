#include "record/rowwriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

fs::path scratch(const std::string& name) {
    static const testsupport::TempDir dir("kwd2_record_test");
    fs::remove(dir / name);
    return dir / name;
}

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const system_clock::time_point kT0 = sys_days{2026y / 1 / 2} + 3h + 4min + 5s + 678ms;

record::Session session() {
    return {"kwd2ctl", "1.5", "COM1", "/dev/ttyS0", kT0, {{0, "ZEL-KWD2-V1.5"}, {3, "BAD\nID"}}};
}

std::vector<record::Row> rows() {
    record::Row ok{kT0, 0.5, 0, 12.5, 100.0, 6, 0};
    record::Row failed{kT0 + 500ms, 1.0, 3, std::nullopt, std::nullopt, std::nullopt, 403078};
    return {ok, failed};
}

const char* const kCsvSession =
    "# kwd2 measurement log\n"
    "# program: kwd2ctl 1.5\n"
    "# port: COM1 (/dev/ttyS0)\n"
    "# started: 2026-01-02T03:04:05.678Z\n"
    "# device 0: ZEL-KWD2-V1.5\n"
    "# device 3: BAD ID\n";
const char* const kCsvRows =
    "2026-01-02T03:04:05.678Z,0.500,0,12.5,100,6,0\n"
    "2026-01-02T03:04:06.178Z,1.000,3,,,,403078\n";

void writeSession(record::RowWriter& w) {
    ASSERT_EQ(w.WriteHeader(session()), 0);
    for (const auto& r : rows()) ASSERT_EQ(w.WriteRow(r), 0);
}

}  // namespace

TEST(RowWriter, CsvSessionsAppendWithOneColumnHeader) {
    const fs::path file = scratch("log.csv");
    for (int session = 0; session < 2; ++session) {
        record::RowWriter w;
        ASSERT_EQ(w.OpenFile(file.string(), record::Format::kCsv), 0);
        writeSession(w);
        EXPECT_EQ(w.RowCount(), 2);
        EXPECT_EQ(w.Close(), 0);
    }
    const std::string header = "time,elapsed_s,address,voltage_V,current_mA,status1,error\n";
    EXPECT_EQ(contents(file), std::string(kCsvSession) + header + kCsvRows + kCsvSession + kCsvRows);
}

TEST(RowWriter, AnEarlierCrashesTornLineIsEndedBeforeTheNewSession) {
    const fs::path file = scratch("torn.csv");
    std::ofstream(file) << "time,elapsed_s,address,voltage_V,current_mA,status1,error\n2026-01-02T03:0";
    record::RowWriter w;
    ASSERT_EQ(w.OpenFile(file.string(), record::Format::kCsv), 0);
    ASSERT_EQ(w.WriteComment("resumed"), 0);
    EXPECT_EQ(contents(file),
              "time,elapsed_s,address,voltage_V,current_mA,status1,error\n2026-01-02T03:0\n# resumed\n");
}

TEST(RowWriter, JsonLinesHoldOneObjectPerLine) {
    std::ostringstream out;
    record::RowWriter w;
    ASSERT_EQ(w.OpenStream(out, record::Format::kJsonLines), 0);
    writeSession(w);
    ASSERT_EQ(w.WriteComment("line \"lost\""), 0);
    EXPECT_EQ(out.str(),
              "{\"log\":\"kwd2 measurement log\",\"program\":\"kwd2ctl 1.5\",\"port\":\"COM1\","
              "\"device_path\":\"/dev/ttyS0\",\"started\":\"2026-01-02T03:04:05.678Z\","
              "\"devices\":{\"0\":\"ZEL-KWD2-V1.5\",\"3\":\"BAD\\u000aID\"}}\n"
              "{\"time\":\"2026-01-02T03:04:05.678Z\",\"elapsed_s\":0.500,\"address\":0,\"voltage_V\":12.5,"
              "\"current_mA\":100,\"status1\":6,\"error\":0}\n"
              "{\"time\":\"2026-01-02T03:04:06.178Z\",\"elapsed_s\":1.000,\"address\":3,\"voltage_V\":null,"
              "\"current_mA\":null,\"status1\":null,\"error\":403078}\n"
              "{\"comment\":\"line \\\"lost\\\"\"}\n");
}

TEST(RowWriter, FailuresReturnTheirCodes) {
    record::RowWriter w;
    EXPECT_EQ(w.OpenFile((scratch("dir") / "missing" / "log.csv").string(), record::Format::kCsv),
              record::kOpenFailed);
    EXPECT_FALSE(w.ErrorText().empty());
    EXPECT_EQ(w.WriteRow(rows()[0]), record::kWriteFailed);
    if (fs::exists("/dev/full")) {
        // A full disk: the row is not counted and the caller learns why.
        ASSERT_EQ(w.OpenFile("/dev/full", record::Format::kCsv), 0);
        EXPECT_EQ(w.WriteRow(rows()[0]), record::kWriteFailed);
        EXPECT_EQ(w.RowCount(), 0);
        EXPECT_NE(w.ErrorText().find("space"), std::string::npos) << w.ErrorText();
    }
}

TEST(RowWriter, NumbersReadBackToTheSameDouble) {
    for (const double v : {0.1, 12.5, 1e-7, 249.99999999999997, -0.0, 6000.0}) {
        EXPECT_EQ(std::stod(record::ShortestNumber(v)), v) << record::ShortestNumber(v);
    }
    EXPECT_EQ(record::ShortestNumber(0.1), "0.1");
    EXPECT_EQ(record::IsoTime(kT0), "2026-01-02T03:04:05.678Z");
}

// Values no reader could take back: JSON has no not-a-number or infinity, and a fixed-size text
// once cut a long elapsed time short. Each row must read back as a whole line in both formats.
TEST(RowWriter, ValuesThatAreNoNumberAreWrittenAsMissing) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        double elapsed;
        double volts;
        double milliamps;
        const char* csv;
        const char* json;
    } cases[] = {
        {0.5, kNan, -kInf, "0.500,0,,,6,0",
         "\"elapsed_s\":0.500,\"address\":0,\"voltage_V\":null,\"current_mA\":null"},
        {kInf, 1.0, kNan, ",0,1,,6,0",
         "\"elapsed_s\":null,\"address\":0,\"voltage_V\":1,\"current_mA\":null"},
        {1e30, 2.0, 3.0, "1000000000000000019884624838656.000,0,2,3,6,0",
         "\"elapsed_s\":1000000000000000019884624838656.000,\"address\":0,\"voltage_V\":2,\"current_mA\":3"},
    };
    for (const auto& c : cases) {
        const record::Row row{kT0, c.elapsed, 0, c.volts, c.milliamps, 6, 0};
        for (const auto format : {record::Format::kCsv, record::Format::kJsonLines}) {
            std::ostringstream out;
            record::RowWriter w;
            ASSERT_EQ(w.OpenStream(out, format), 0);
            ASSERT_EQ(w.WriteRow(row), 0);
            const std::string expected = format == record::Format::kCsv
                                             ? std::string("2026-01-02T03:04:05.678Z,") + c.csv + "\n"
                                             : std::string("{\"time\":\"2026-01-02T03:04:05.678Z\",") +
                                                   c.json + ",\"status1\":6,\"error\":0}\n";
            EXPECT_EQ(out.str(), expected);
        }
    }
}
