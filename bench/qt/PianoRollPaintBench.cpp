// SPDX-License-Identifier: MIT
// One playhead step of the piano roll while a song plays (what the 25 ms play timer costs),
// for a 10-second and a 10-minute five-bank song fitted whole in the view.
#include <string>

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "app/qt/PianoRollView.h"
#include "output/SongMap.h"
#include "bench/RollSong.h"

namespace {

using namespace tavolin;

using bench::rollSongOf;

void playheadStep(benchmark::State& state) {
    qt::PianoRollView view;
    view.resize(1180, 240);
    view.show();
    view.setSong(rollSongOf(static_cast<int>(state.range(0))));
    QImage image(view.canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    uint64_t frame = 0;
    for (auto _ : state) {
        frame += 1200;  // 25 ms at 48 kHz
        view.setPlayhead(frame);
        QPainter p(&image);
        view.canvas()->render(&p);
    }
}
BENCHMARK(playheadStep)->Arg(10)->Arg(600)->ArgName("seconds")->Unit(benchmark::kMillisecond);

}  // namespace
