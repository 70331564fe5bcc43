// DrawSkyPlot on the main window's real picture surface, with eight satellites
// labelled by number and level: at the design size and at 1000 x 1000 pixels.

#include "link/gpsmain.h"
#include "mainwindow/skyplot.h"
#include "widgets/picturebox.h"
#include "widgets/twips.h"

#include "guibenchmain.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

// Eight tracked satellites spread over the sky, in the four state colours.
void fillSatellites(GPS_Main &g)
{
    static constexpr double kColours[] = {0x008000, 0x808000, 0x000080, 0x008080};
    for (int slot = 1; slot <= 8; ++slot) {
        auto &row = g.SatTable[slot];
        row[1] = 2 + 3 * slot;
        row[2] = kColours[slot % 4];
        row[3] = 20 + slot * 1.5;
        row[4] = slot / 8.0 - 0.06;
        row[5] = (slot * 16) / 256.0;
    }
    g.SatLabelMode = 3;
    g.HeadingLineLength = 1.5f;
}

// shown: each redraw is put on the image, as when every one is painted; otherwise
// only the last is, as when messages come faster than the screen shows them.
void drawAt(benchmark::State &state, int side, bool shown)
{
    GPS_Main g{Platform{}};
    fillSatellites(g);
    PictureBox box;
    box.resize(side, side);
    int step = 0;
    for (auto _ : state) {
        // The heading moves with every navigation message that triggers a redraw.
        g.HeadingFraction = (step++ % 360) / 360.0;
        DrawSkyPlot(g, box);
        if (shown)
            benchmark::DoNotOptimize(box.image().constBits());
    }
    benchmark::DoNotOptimize(box.image().constBits());
    state.counters["side_px"] = side;
}

void BM_DrawSkyPlot_DesignSize(benchmark::State &state)
{
    QWidget probe;
    drawAt(state, twipsToPixels(3450, &probe), true);
}
BENCHMARK(BM_DrawSkyPlot_DesignSize)->Unit(benchmark::kMicrosecond);

void BM_DrawSkyPlot_1000px(benchmark::State &state)
{
    drawAt(state, 1000, true);
}
BENCHMARK(BM_DrawSkyPlot_1000px)->Unit(benchmark::kMicrosecond);

void BM_DrawSkyPlot_DesignSize_NotShown(benchmark::State &state)
{
    QWidget probe;
    drawAt(state, twipsToPixels(3450, &probe), false);
}
BENCHMARK(BM_DrawSkyPlot_DesignSize_NotShown)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runGuiBenchmarks(argc, argv);
}
