// Processor time of one trend tick (append one reading, repaint the visible window) with 10^5
// ticks in the shown span, of a full redraw after a resize, and the memory of 10^6 ticks: the
// QPainter strip chart of trend/, and Qt's chart module fed the same data for comparison.
//
//   cmake --preset bench && cmake --build --preset bench --target trend_bench &&
//   QT_QPA_PLATFORM=offscreen build/bench/bench/trend/trend_bench
//
// Goals: a tick at most 2 ms, a redraw at most 30 ms, 10^6 ticks in at most 64 MB.
#include <time.h>

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "trend/history.h"
#include "trend/plot.h"
#include "trend/trend_window.h"

#ifdef KWD2_BENCH_QTCHARTS
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#endif

namespace {

constexpr int kShown = 100'000;
constexpr int kMillion = 1'000'000;

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// Median and maximum processor time of `runs` calls.
void Report(const char* what, int runs, const std::function<void(int)>& run) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const double t0 = CpuMs();
        run(i);
        ms.push_back(CpuMs() - t0);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-58s median %7.2f ms   max %7.2f ms\n", what, ms[ms.size() / 2], ms.back());
}

// A signal worth drawing: a slow drift, ripple, range and set switches now and then.
double Volts(int i) {
    return 120.0 + 40.0 * std::sin(i / 900.0) + 2.0 * std::sin(i / 7.0);
}
double Milliamps(int i) {
    return 1200.0 + 300.0 * std::cos(i / 1300.0) + 20.0 * std::sin(i / 5.0);
}
int Status(int i) {
    return ((i / 5000) % 2) | (((i / 3000) % 4) << 1);
}

void StripChart() {
    std::puts("QPainter strip chart (trend/):");
    trend::History history;
    history.SetValue(0.0, 1, 1, trend::Quantity::kVolts, 150.0);
    history.SetValue(0.0, 1, 2, trend::Quantity::kVolts, 80.0);
    int next = 0;
    auto add = [&] {
        history.AddReading(next * 0.5, 1, Volts(next), Milliamps(next), Status(next));
        ++next;
    };
    for (int i = 0; i < kShown; ++i) add();

    trend::TrendWindow window(history);
    window.resize(1000, 640);
    window.show();
    QApplication::processEvents();
    trend::PlotWidget& plot = window.Plot();
    plot.SetSpan(kShown * 0.5);  // exactly the last 10^5 ticks
    plot.repaint();
    Report("tick: append + repaint, 1e5 ticks shown", 200, [&](int) {
        add();
        plot.repaint();
    });
    Report("  of which: reduction of 1e5 ticks to 1000 columns", 200, [&](int) {
        const trend::TimeWindow w = plot.ShownWindow();
        const trend::Decimated d = trend::Decimate(history, w.t0, w.t1, 1000);
        if (d.runs.empty()) std::puts("nothing reduced");
    });
    Report("full redraw after a resize, 1e5 ticks shown", 20, [&](int i) {
        window.resize(1000 + (i % 2) * 60, 640 + (i % 2) * 40);
        window.repaint();
    });

    const long before = RssKb();
    trend::History million;
    for (int i = 0; i < kMillion; ++i)
        million.AddReading(i * 0.5, i / 250'000, Volts(i), Milliamps(i), Status(i));
    std::printf("  %-58s %7.1f MB (resident %.1f MB)\n", "memory of 1e6 ticks",
                million.MemoryBytes() / 1048576.0, (RssKb() - before) / 1024.0);

    trend::TrendWindow all(million);
    all.resize(1000, 640);
    all.show();
    QApplication::processEvents();
    all.Plot().SetSpan(0);
    int more = kMillion;
    Report("tick with all 1e6 ticks shown (no goal)", 20, [&](int) {
        million.AddReading(more * 0.5, 3, Volts(more), Milliamps(more), Status(more));
        ++more;
        all.Plot().repaint();
    });
}

#ifdef KWD2_BENCH_QTCHARTS
void ChartModule() {
    std::puts("Qt chart module (QLineSeries per quantity, QChartView):");
    auto* volts = new QLineSeries;
    auto* milliamps = new QLineSeries;
    QList<QPointF> u;
    QList<QPointF> i;
    for (int k = 0; k < kShown; ++k) {
        u.append({k * 0.5, Volts(k)});
        i.append({k * 0.5, Milliamps(k)});
    }
    volts->replace(u);
    milliamps->replace(i);
    auto* chart = new QChart;
    chart->addSeries(volts);
    chart->addSeries(milliamps);
    auto* time = new QValueAxis;
    auto* voltAxis = new QValueAxis;
    auto* currentAxis = new QValueAxis;
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(voltAxis, Qt::AlignLeft);
    chart->addAxis(currentAxis, Qt::AlignRight);
    volts->attachAxis(time);
    volts->attachAxis(voltAxis);
    milliamps->attachAxis(time);
    milliamps->attachAxis(currentAxis);
    voltAxis->setRange(0, 250);
    currentAxis->setRange(0, 6000);
    time->setRange(0, kShown * 0.5);
    QChartView view(chart);
    view.resize(1000, 640);
    view.show();
    QApplication::processEvents();
    view.repaint();
    int next = kShown;
    Report("tick: drop oldest + append + repaint, 1e5 points x2", 10, [&](int) {
        volts->remove(0);
        milliamps->remove(0);
        volts->append(next * 0.5, Volts(next));
        milliamps->append(next * 0.5, Milliamps(next));
        time->setRange((next - kShown + 1) * 0.5, next * 0.5);
        ++next;
        view.repaint();
    });
    Report("full redraw after a resize, 1e5 points x2", 5, [&](int k) {
        view.resize(1000 + (k % 2) * 60, 640 + (k % 2) * 40);
        view.repaint();
    });
    // Fed with our per-pixel reduction instead (about 4 points per column and quantity).
    QList<QPointF> du;
    QList<QPointF> di;
    for (int k = 0; k < 4000; ++k) {
        du.append({k * 1.0, Volts(k)});
        di.append({k * 1.0, Milliamps(k)});
    }
    time->setRange(0, 4000);
    Report("tick: replace 4000 reduced points x2 + repaint", 20, [&](int k) {
        du[k % 4000].setY(Volts(k + 7));
        volts->replace(du);
        milliamps->replace(di);
        view.repaint();
    });

    const long before = RssKb();
    auto* bigVolts = new QLineSeries;
    auto* bigMilliamps = new QLineSeries;
    {
        QList<QPointF> bu;
        QList<QPointF> bi;
        for (int k = 0; k < kMillion; ++k) {
            bu.append({k * 0.5, Volts(k)});
            bi.append({k * 0.5, Milliamps(k)});
        }
        bigVolts->replace(bu);
        bigMilliamps->replace(bi);
    }
    chart->addSeries(bigVolts);
    chart->addSeries(bigMilliamps);
    bigVolts->attachAxis(time);
    bigVolts->attachAxis(voltAxis);
    bigMilliamps->attachAxis(time);
    bigMilliamps->attachAxis(currentAxis);
    time->setRange(0, kMillion * 0.5);
    view.repaint();
    std::printf("  %-58s %7.1f MB resident\n", "memory of 1e6 points x2, after one paint",
                (RssKb() - before) / 1024.0);
}
#endif

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    StripChart();
    if (argc > 1 && std::string(argv[1]) == "--strip-chart-only") return 0;
#ifdef KWD2_BENCH_QTCHARTS
    ChartModule();
#else
    std::puts("Qt chart module: not installed (qt6-charts-dev), not compared");
#endif
    return 0;
}
