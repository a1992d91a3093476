// The trend window on real widgets (offscreen): spans, following live, zoom and pan by mouse,
// value axes, the PNG export, and a close that only hides.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>

#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "tests/support/temp_dir.h"
#include "trend/plot.h"
#include "trend/trend_window.h"

namespace {

class TrendWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        // Two hours of readings at 2 Hz from address 1, rising 0..7200 V-ish values.
        for (int i = 0; i <= 14400; ++i) history.AddReading(1000.0 + i * 0.5, 1, i * 0.01, 2.0, 0);
        window.resize(900, 600);
        window.show();
        QApplication::processEvents();
    }
    void Click(const char* text) {
        for (QPushButton* b : window.findChildren<QPushButton*>()) {
            if (b->text() == QString::fromUtf8(text)) return b->click();
        }
        ADD_FAILURE() << "no button " << text;
    }
    bool Checked(const char* text) {
        for (QPushButton* b : window.findChildren<QPushButton*>()) {
            if (b->text() == QString::fromUtf8(text)) return b->isChecked();
        }
        return false;
    }
    trend::PlotWidget& Plot() { return window.Plot(); }
    double Newest() const { return history.At(history.EndIndex() - 1).time; }

    trend::History history;
    trend::TrendWindow window{history};
};

TEST_F(TrendWindowTest, SpansShowTheNewestDataAtTheRight) {
    struct Case {
        const char* button;
        double t0;  // relative to the newest sample
    };
    for (const Case& c :
         {Case{"1 min", -60}, Case{"10 min", -600}, Case{"1 h", -3600}, Case{"Alle", -7200}}) {
        Click(c.button);
        EXPECT_TRUE(Checked(c.button)) << c.button;
        EXPECT_EQ(Plot().ShownWindow().t1, Newest()) << c.button;
        EXPECT_EQ(Plot().ShownWindow().t0, Newest() + c.t0) << c.button;
    }
    EXPECT_EQ(window.windowTitle(), QStringLiteral("KWD2-Steuerung V1.5 \u2013 Verlauf"));
}

TEST_F(TrendWindowTest, WheelZoomsAndDragPansUntilDoubleClickGoesLive) {
    Click("10 min");
    const QPoint middle(Plot().width() / 2, Plot().height() / 2);
    QWheelEvent wheel(middle, Plot().mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&Plot(), &wheel);
    const trend::TimeWindow zoomed = Plot().ShownWindow();
    EXPECT_NEAR(zoomed.t1 - zoomed.t0, 480.0, 1e-6);
    EXPECT_FALSE(Plot().Live());
    EXPECT_FALSE(Checked("10 min"));

    // A new tick does not move a zoomed view.
    history.AddReading(Newest() + 0.5, 1, 1.0, 1.0, 0);
    EXPECT_EQ(Plot().ShownWindow().t1, zoomed.t1);

    // Dragging right by a tenth of the plot shows earlier data by a tenth of the span.
    QTest::mousePress(&Plot(), Qt::LeftButton, {}, middle);
    QTest::mouseMove(&Plot(), middle + QPoint(Plot().width() / 10, 0));
    QTest::mouseRelease(&Plot(), Qt::LeftButton, {}, middle + QPoint(Plot().width() / 10, 0));
    const trend::TimeWindow panned = Plot().ShownWindow();
    EXPECT_LT(panned.t1, zoomed.t1 - 40.0);
    EXPECT_GT(panned.t1, zoomed.t1 - 60.0);
    EXPECT_NEAR(panned.t1 - panned.t0, 480.0, 1e-6);

    QTest::mouseDClick(&Plot(), Qt::LeftButton, {}, middle);
    EXPECT_TRUE(Plot().Live());
    EXPECT_TRUE(Checked("10 min"));
    EXPECT_EQ(Plot().ShownWindow().t1, Newest());
    EXPECT_EQ(Plot().ShownWindow().t1 - Plot().ShownWindow().t0, 600.0);
}

TEST_F(TrendWindowTest, ValueAxesAutoscaleOrRunToTheFullScale) {
    Plot().SetFullScale(250.0, 6000.0);
    Click("1 min");  // values 143.4 .. 144.0 V, 2 mA
    Plot().repaint();
    EXPECT_GT(Plot().VoltsAxis().low, 100.0);
    EXPECT_LT(Plot().VoltsAxis().high, 150.0);
    Plot().SetAutoscale(false);
    Plot().repaint();
    EXPECT_EQ(Plot().VoltsAxis().low, 0.0);
    EXPECT_EQ(Plot().VoltsAxis().high, 250.0);
    EXPECT_EQ(Plot().MilliampsAxis().high, 6000.0);
    Plot().SetFullScale(100.0, 6000.0);  // readings above the full scale still fit
    Plot().repaint();
    EXPECT_GE(Plot().VoltsAxis().high, 144.0);
}

TEST(TrendPlot, AFailedTickLeavesAVisibleGap) {
    trend::History history;
    for (int i = 0; i < 240; ++i) {
        if (i == 120) {
            history.AddFailure(i * 0.5);
        } else if (i < 120 || i > 140) {  // ten seconds without readings after the failure
            history.AddReading(i * 0.5, 1, 100.0, 1000.0, 0);
        }
    }
    trend::PlotWidget plot(history);
    plot.resize(800, 400);
    plot.SetSpan(120.0);
    const QImage image = plot.Image();
    const QRect area = plot.DataArea();
    // Pixels of the series' colour in the column of time t, within the voltage pane.
    auto curve = [&](double t) {
        const int x = area.left() + static_cast<int>(t / 120.0 * area.width());
        int count = 0;
        for (int y = area.top(); y < area.center().y(); ++y)
            count += image.pixel(x, y) == QColor(0x1f77b4).rgb();
        return count;
    };
    EXPECT_GT(curve(30.0), 0);
    EXPECT_EQ(curve(65.0), 0);
    EXPECT_GT(curve(100.0), 0);
}

TEST_F(TrendWindowTest, SaveImageWritesThePlotAsPngOrSaysWhyNot) {
    const testsupport::TempDir dir("kwd2_trend");
    uitest::ClearShownPopups();

    uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, (dir / "plot.png").string());
    Click("Bild speichern\u2026");
    QImage saved((dir / "plot.png").c_str());
    EXPECT_EQ(saved.size(), Plot().size());

    uitest::QueueFileAnswer(VAL_NO_FILE_SELECTED, "");
    window.SaveImage();
    uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, (dir / "missing" / "plot.png").string());
    uitest::QueueMessageAnswer();
    window.SaveImage();
    const auto& shown = uitest::ShownPopups();
    ASSERT_EQ(shown.size(), 4u);  // three file dialogs, one message
    EXPECT_EQ(shown[3].kind, "message");
    EXPECT_EQ(shown[3].title, "Bild speichern");
    EXPECT_NE(shown[3].text.find("missing/plot.png"), std::string::npos);
}

TEST_F(TrendWindowTest, ClosingOnlyHides) {
    window.close();
    EXPECT_FALSE(window.isVisible());
    history.AddReading(Newest() + 0.5, 1, 1.0, 1.0, 0);
    EXPECT_EQ(history.Size(), 14402u);
    window.show();
    EXPECT_EQ(Plot().ShownWindow().t1, Newest());
}

}  // namespace
