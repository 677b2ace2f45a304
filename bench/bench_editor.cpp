// The main window's costs, each beside its baseline in the same run:
// - a full page through the repaint, against 1600 separate labels updated one
//   by one (caption and background each, then the events processed); the
//   repaint again at a device pixel ratio of 2, in a child process of the
//   same run, since a process keeps one ratio;
// - one scroll step on a 1 GiB buffer against the same step on a 2 KB buffer;
// - one keystroke typed over the file in the character box.
// Runs on the offscreen platform with the window shown.
#include "benchsize.h"
#include "cellgrid.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "mainmods.h"
#include "realvscroll.h"

#include <QApplication>
#include <QGridLayout>
#include <QProcess>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
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
    // The window first: made, it loads its own start-up buffer.
    HexDisplay *w = window();
    if (MainMods::ByteBuffer.size() == size)
        return;
    DocumentFile &p = MainMods::ByteBuffer;
    p.allocate(size);
    for (int64_t i = 0; i < size; i += 4096)
        p[i] = uint8_t(i >> 12); // touch every page once so faults stay out of the timing
    for (int64_t i = 0; i < std::min<int64_t>(size, 1 << 20); ++i)
        p[i] = uint8_t('A' + i % 50);
    w->Realsc()->setValue(0);
    w->GoNow();
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
    state.SetLabel(QStringLiteral("pixel ratio %1").arg(w->devicePixelRatioF()).toStdString());
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

// One tick of a held Down arrow on the scroll bar (a line step of 80 bytes),
// run by hand so that the 10 ms wait between ticks stays out of the timing.
void BM_HeldDownArrowTick(benchmark::State &state)
{
    fillBuffer(int64_t(1) << 30);
    HexDisplay *w = window();
    RealvScroll *bar = w->Realsc();
    QTimer *timer = bar->findChild<QTimer *>();
    if (!timer) {
        benchFailed(state, "the scroll bar has no timer");
        return;
    }
    bar->setFocus();
    QTest::keyPress(bar, Qt::Key_Down);
    timer->stop();
    for (auto _ : state) {
        if (bar->Value() >= bar->ValueMax() - 80)
            bar->setValue(0);
        QMetaObject::invokeMethod(timer, "timeout");
    }
    state.counters["final_value"] = bar->Value();
    QTest::keyRelease(bar, Qt::Key_Down);
}
BENCHMARK(BM_HeldDownArrowTick)->Unit(benchmark::kMicrosecond);

// One drag step: the pointer moves while the left button holds the thumb.
void BM_DragStep(benchmark::State &state)
{
    fillBuffer(int64_t(1) << 30);
    HexDisplay *w = window();
    RealvScroll *bar = w->Realsc();
    bar->setValue(0);
    const QPointF grip(12, 20); // inside the thumb at the top
    QMouseEvent press(QEvent::MouseButtonPress, grip, bar->mapToGlobal(grip), Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(bar, &press);
    int y = 20;
    for (auto _ : state) {
        y = y >= 270 ? 20 : y + 7;
        const QPointF at(12, y);
        QMouseEvent move(QEvent::MouseMove, at, bar->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(bar, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(12, y), bar->mapToGlobal(QPointF(12, y)), Qt::LeftButton,
                        Qt::NoButton, {});
    QCoreApplication::sendEvent(bar, &release);
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMicrosecond);

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
    const bool child = qEnvironmentVariableIsSet("QT_SCALE_FACTOR");
    const QString self = QCoreApplication::applicationFilePath();
    QStringList childArgs; // the same options, for the repaint only
    for (int i = 1; i < argc; ++i)
        if (!QByteArray(argv[i]).startsWith("--benchmark_filter"))
            childArgs << QString::fromLocal8Bit(argv[i]);
    childArgs << QStringLiteral("--benchmark_filter=BM_PageRepaint");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (child)
        return benchExitCode();
    // The page repaint at twice the pixels, beside the figure above.
    QProcess twice;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    twice.setProcessEnvironment(env);
    twice.setProcessChannelMode(QProcess::ForwardedChannels);
    twice.start(self, childArgs);
    if (!twice.waitForFinished(-1) || twice.exitCode() != 0)
        return 1;
    return benchExitCode();
}
