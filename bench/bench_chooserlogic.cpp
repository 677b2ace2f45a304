// How long the file list's pattern filter takes over a large folder, beside the
// regular-expression filter that QDir's name filters use, measured in one run.
#include "chooserlogic.h"

#include <QRegularExpression>
#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

QStringList folderNames()
{
    static const char *const extensions[] = {".txt", ".exe", ".dll", ".bin", "", ".tar.gz"};
    QStringList names;
    for (int i = 0; i < 10000; ++i)
        names.append(QStringLiteral("file_%1_name%2").arg(i).arg(QLatin1String(extensions[i % 6])));
    return names;
}

void BM_FilterNames(benchmark::State &state, const char *pattern)
{
    const QStringList names = folderNames();
    const QString p = QString::fromLatin1(pattern);
    for (auto _ : state)
        benchmark::DoNotOptimize(ChooserLogic::filterNames(names, p));
}

void BM_BaselineRegex(benchmark::State &state, const char *pattern)
{
    const QStringList names = folderNames();
    const QRegularExpression re(
        QRegularExpression::wildcardToRegularExpression(QString::fromLatin1(pattern)),
        QRegularExpression::CaseInsensitiveOption);
    for (auto _ : state) {
        QStringList kept;
        for (const QString &name : names) {
            if (re.match(name).hasMatch())
                kept.append(name);
        }
        benchmark::DoNotOptimize(kept);
    }
}

} // namespace

BENCHMARK_CAPTURE(BM_FilterNames, exe, "*.exe");
BENCHMARK_CAPTURE(BM_BaselineRegex, exe, "*.exe");
BENCHMARK_CAPTURE(BM_FilterNames, all, "*.*");
BENCHMARK_CAPTURE(BM_BaselineRegex, all, "*.*");
BENCHMARK_MAIN();
