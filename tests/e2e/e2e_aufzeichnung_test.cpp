// The recording, driven as the operator does it from the trend window, against the simulated
// bus: the log read back as CSV, and files that cannot be opened or stop taking rows.
#include <signal.h>
#include <sys/resource.h>

#include <QLabel>
#include <QPushButton>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "tests/support/programm_fixture.h"
#include "trend/history.h"
#include "trend/recording.h"
#include "trend/trend_testing.h"
#include "trend/trend_window.h"
#include "ui/kwd2Steuerung.h"

namespace {

namespace fs = std::filesystem;
using Fields = std::vector<std::string>;

// Comment lines (without "# ") and records (the column header first). No quoting: the log
// holds numbers, times and codes only.
std::pair<Fields, std::vector<Fields>> ReadCsv(const std::string& text) {
    std::pair<Fields, std::vector<Fields>> log;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# ", 0) == 0) {
            log.first.push_back(line.substr(2));
            continue;
        }
        std::istringstream cells(line + ",");
        log.second.emplace_back();
        for (std::string cell; std::getline(cells, cell, ',');) log.second.back().push_back(cell);
    }
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "torn last line";
    return log;
}

class Aufzeichnung : public Programm {
  protected:
    static void TrendKnopf(const char* text) {
        for (QPushButton* b : trendtest::Window().findChildren<QPushButton*>()) {
            if (b->text() == QString::fromUtf8(text) && b->isEnabled()) return b->click();
        }
        ADD_FAILURE() << "no enabled button " << text;
    }
    static std::string Statuszeile() {
        for (QLabel* l : trendtest::Window().findChildren<QLabel*>()) {
            if (l->text().contains(QStringLiteral("Aufzeichnung"))) return l->text().toStdString();
        }
        return "<no status line>";
    }
    static const trend::RecordingState& Zustand() { return trendtest::Recording().State(); }
    // Device 2 measuring, and the recording started through the file dialog.
    void MessenUndAufzeichnen(const fs::path& datei) {
        sim->AddKwd2(2, "ZEL-KWD2-Nr2");
        AmSimulatorStarten();
        Waehlen(PANEL_PORT, 1);
        Waehlen(PANEL_KWDID, 2);
        Klick(PANEL_IDLESEN);
        Klick(PANEL_MESSEN);
        uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, datei.string());
        TrendKnopf("Aufzeichnen\u2026");
    }
};

TEST_F(Aufzeichnung, EveryTickIsOneRowBehindTheHeader) {
    const fs::path datei = arbeitsverzeichnis / "log.csv";
    MessenUndAufzeichnen(datei);
    Tick();
    Tick();
    const double letzteSpannung = Double(PANEL_SPANNUNG);
    const double letzterStrom = Double(PANEL_STROM);
    sim->SetFault(2, kwd2sim::Fault::kNak);
    Tick();  // fails: a row with the code, and measuring goes off
    const int fehlerNummer = Int(PANEL_FEHLERNUMMER);
    ASSERT_NE(fehlerNummer, 0);
    Tick();  // measuring off: no reading, no row
    EXPECT_EQ(Statuszeile(), "Aufzeichnung: log.csv \u2013 3 Zeilen");

    const auto [kommentare, zeilen] = ReadCsv(DateiInhalt(datei));
    const std::vector<std::string> kopf{"kwd2 measurement log", "program: kwd2steuerung ",
                                        "port: COM1 (" + sim->Path() + ")", "started: 20",
                                        "device 2: ZEL-KWD2-Nr2"};
    ASSERT_EQ(kommentare.size(), kopf.size());
    for (std::size_t i = 0; i < kopf.size(); ++i)
        EXPECT_EQ(kommentare[i].rfind(kopf[i], 0), 0u) << kommentare[i];
    ASSERT_EQ(zeilen.size(), 4u);
    EXPECT_EQ(zeilen[0],
              (Fields{"time", "elapsed_s", "address", "voltage_V", "current_mA", "status1", "error"}));
    const std::string& zeit = zeilen[3][0];
    EXPECT_EQ(zeit.size(), 24u) << zeit;  // 2026-01-02T03:04:05.678Z
    EXPECT_GE(std::stod(zeilen[3][1]), std::stod(zeilen[1][1]));
    EXPECT_EQ(zeilen[2], (Fields{zeilen[2][0], zeilen[2][1], "2", record::ShortestNumber(letzteSpannung),
                                 record::ShortestNumber(letzterStrom), zeilen[2][5], "0"}));
    EXPECT_EQ(zeilen[3], (Fields{zeit, zeilen[3][1], "2", "", "", "", std::to_string(fehlerNummer)}));

    // Ended: later ticks write nothing.
    TrendKnopf("Aufzeichnung beenden");
    EXPECT_EQ(Statuszeile(), "Aufzeichnung beendet: log.csv \u2013 3 Zeilen");
    sim->SetFault(2, kwd2sim::Fault::kNone);
    Klick(PANEL_MESSEN);
    Tick();
    EXPECT_EQ(ReadCsv(DateiInhalt(datei)).second.size(), 4u);
}

// A file refused at the start, and one that stops taking rows (a file-size limit standing in
// for a full disk): the code in the error display, the recording ended, measuring on.
TEST_F(Aufzeichnung, AFailingFileStopsTheRecordingButNotTheMeasuring) {
    struct Fall {
        const char* name;
        bool dateiVoll;  // false: the directory is missing
        int fehlerNummer;
    };
    for (const Fall& fall :
         {Fall{"missing directory", false, 308230}, Fall{"file size limit", true, 301231}}) {
        SCOPED_TRACE(fall.name);
        if (!fall.dateiVoll) {
            MessenUndAufzeichnen(arbeitsverzeichnis / "fehlt" / "log.csv");
        } else {
            const fs::path datei = arbeitsverzeichnis / "voll.csv";
            Waehlen(PANEL_KWDID, 2);  // the program runs from the first case on
            Klick(PANEL_MESSEN);
            uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, datei.string());
            TrendKnopf("Aufzeichnen\u2026");
            Tick();
            ASSERT_TRUE(Zustand().active);
            // The next row would pass the limit: the write is refused whole.
            rlimit alt{};
            getrlimit(RLIMIT_FSIZE, &alt);
            signal(SIGXFSZ, SIG_IGN);
            const rlimit grenze{static_cast<rlim_t>(fs::file_size(datei)), alt.rlim_max};
            setrlimit(RLIMIT_FSIZE, &grenze);
            const std::string vorher = DateiInhalt(datei);
            Tick();
            setrlimit(RLIMIT_FSIZE, &alt);
            EXPECT_EQ(DateiInhalt(datei), vorher);
            EXPECT_EQ(ReadCsv(vorher).second.size(), 2u);
            EXPECT_NE(Zustand().reason, "");
        }
        ErwarteFehleranzeige(fall.fehlerNummer);
        EXPECT_FALSE(Zustand().active);
        EXPECT_EQ(Zustand().error, -fall.fehlerNummer);
        EXPECT_EQ(
            Statuszeile().rfind("Aufzeichnung abgebrochen (Fehler " + std::to_string(fall.fehlerNummer), 0),
            0u)
            << Statuszeile();
        // Measuring goes on, and so does the history.
        const auto proben = trendtest::History().EndIndex();
        Tick();
        EXPECT_EQ(Int(PANEL_MESSEN), 1);
        EXPECT_EQ(trendtest::History().EndIndex(), proben + 1);
        Klick(PANEL_MESSEN);  // off for the next case
    }
}

}  // namespace
