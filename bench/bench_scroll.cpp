// One thumb move of the scroll bar (the Value setter: placement, Change and
// the paint routine, which is the background picture plus four rectangles)
// against the full redraw that rebuilds the dithered background pixel by
// pixel. Scrolling must cost only the former.
#include "realvscroll.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

struct ShownBar
{
    QWidget host;
    RealvScroll *bar;
    ShownBar()
        : bar(new RealvScroll(&host))
    {
        host.resize(40, 310);
        bar->setGeometry(5, 5, 25, 299);
        bar->setValueMax(100000);
        bar->setValueLargeChange(1599);
        bar->setValueSmallChange(80);
        host.show();
        QCoreApplication::processEvents();
    }
};

void BM_ThumbMove(benchmark::State &state)
{
    ShownBar shown;
    int32_t value = 0;
    for (auto _ : state) {
        value = (value + 7919) % 100000;
        shown.bar->setValue(value);
    }
}
BENCHMARK(BM_ThumbMove);

// Baseline: what every move would cost if it redrew everything.
void BM_FullRedraw(benchmark::State &state)
{
    ShownBar shown;
    for (auto _ : state)
        shown.bar->Refresh();
}
BENCHMARK(BM_FullRedraw);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
