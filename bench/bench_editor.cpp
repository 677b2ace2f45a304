// The main window's costs, each beside its baseline in the same run:
// - a full page through the repaint, against 1600 separate labels updated one
//   by one (caption and background each, then the events processed);
// - one scroll step on a 1 GiB buffer against the same step on a 2 KB buffer;
// - one keystroke typed over the file in the character box.
// Runs on the offscreen platform with the window shown.
#include "cellgrid.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "mainmods.h"
#include "realvscroll.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

HexDisplay *window()
{
    static HexDisplay *w = [] {
        auto *hd = new HexDisplay;
        hd->show();
        QTest::qWaitForWindowExposed(hd);
        return hd;
    }();
    return w;
}

void fillBuffer(int64_t size)
{
    if (MainMods::ByteBuffer.size() == size)
        return;
    MainMods::ByteBuffer.allocate(size);
    uint8_t *p = MainMods::ByteBuffer.data();
    for (int64_t i = 0; i < size; i += 4096)
        p[i] = uint8_t(i >> 12); // touch every page once so faults stay out of the timing
    for (int64_t i = 0; i < std::min<int64_t>(size, 1 << 20); ++i)
        p[i] = uint8_t('A' + i % 50);
    window()->Realsc()->setValue(0);
    window()->GoNow();
}

void BM_PageRepaint(benchmark::State &state)
{
    HexDisplay *w = window();
    fillBuffer(1 << 20);
    int32_t v = 0;
    for (auto _ : state) {
        // A new view each time, so every cell really changes.
        v = (v + 1601) % 500000;
        w->Realsc()->setValue(v);
    }
}
BENCHMARK(BM_PageRepaint)->Unit(benchmark::kMicrosecond);

void BM_Baseline1600Labels(benchmark::State &state)
{
    QWidget host;
    host.resize(700, 360);
    std::vector<QLabel *> labels;
    labels.reserve(1600);
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(8.25);
    for (int i = 0; i < 1600; ++i) {
        auto *l = new QLabel(&host);
        l->setFont(f);
        l->setAutoFillBackground(true);
        l->setGeometry(GridGeometry::cellClientRect(i));
        labels.push_back(l);
    }
    host.show();
    QTest::qWaitForWindowExposed(&host);
    int round = 0;
    for (auto _ : state) {
        ++round;
        for (int i = 0; i < 1600; ++i) {
            labels[i]->setText(QString(QChar(char16_t('A' + (i + round) % 50))));
            QPalette pal = labels[i]->palette();
            pal.setColor(QPalette::Window, (i + round) % 2 ? QColor(128, 128, 255) : QColor(192, 192, 255));
            labels[i]->setPalette(pal);
        }
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_Baseline1600Labels)->Unit(benchmark::kMicrosecond);

// One scroll step (a row of 80 bytes, as a held arrow makes), including the
// thumb's repaint, the grid's repaint and its yield.
void BM_ScrollStep(benchmark::State &state)
{
    const int64_t size = state.range(0);
    fillBuffer(size);
    HexDisplay *w = window();
    const int32_t span = int32_t(std::min<int64_t>(size - 1, 1 << 20));
    int32_t v = 0;
    for (auto _ : state) {
        v += 80;
        if (v > span)
            v = 0;
        w->Realsc()->setValue(v);
    }
    state.SetLabel(size > (1 << 20) ? "1 GiB buffer" : "2 KB buffer");
}
BENCHMARK(BM_ScrollStep)->Arg(2048)->Arg(int64_t(1) << 30)->Unit(benchmark::kMicrosecond);

// One keystroke in the character box: the byte, its cell, the readouts.
void BM_TypeOverKeystroke(benchmark::State &state)
{
    fillBuffer(1 << 20);
    HexDisplay *w = window();
    QTest::mouseClick(w->ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(0).center());
    int n = 0;
    for (auto _ : state) {
        if (w->SelCell() >= 1599)
            QTest::mouseClick(w->ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(0).center());
        QTest::keyClick(w->Text1(2), char('a' + n++ % 26));
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_TypeOverKeystroke)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
