// One playhead step of the piano roll while a song plays (what the 25 ms play timer costs),
// for a 10-second and a 10-minute five-bank song fitted whole in the view.
#include <string>

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "app/qt/PianoRollView.h"
#include "output/SongMap.h"

namespace {

using namespace tavolin;

// Five banks of sixteenth notes at tempo 120, `seconds` long.
std::shared_ptr<const output::SongMap> songOf(int seconds) {
    output::BuildInputs in;
    std::string bars = "L16[CDEFGAB>C<BAGFEDC R]";
    bars += std::to_string(seconds / 2);
    for (int b = 1; b <= 5; ++b) {
        std::string& text = in.tabTexts[static_cast<size_t>(b)];
        text = 'O';
        text += std::to_string(b + 1);
        text += bars;
    }
    return output::buildSongMap(in, false);
}

void playheadStep(benchmark::State& state) {
    qt::PianoRollView view;
    view.resize(1180, 240);
    view.show();
    view.setSong(songOf(static_cast<int>(state.range(0))));
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
