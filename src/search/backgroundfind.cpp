#include "backgroundfind.h"

#include <QMetaObject>
#include <QPointer>

#include <chrono>

BackgroundFind::BackgroundFind(QObject *parent)
    : QObject(parent)
{
}

BackgroundFind::~BackgroundFind()
{
    stop();
}

void BackgroundFind::stop()
{
    ++m_generation;
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    m_cancel = false;
}

void BackgroundFind::start(std::shared_ptr<const ByteSource> source, const QByteArray &needle, int64_t from,
                           bool caseMatch, int64_t chunkSize)
{
    stop();
    const uint64_t generation = m_generation;
    // Reports are queued to this object, so they run on its thread and are
    // dropped if it is gone; a stale generation means stop() came first.
    const auto report = [this, generation](auto call) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, call] {
                if (generation == m_generation)
                    call();
            },
            Qt::QueuedConnection);
    };
    m_thread = std::thread([this, source, needle, from, caseMatch, chunkSize, report] {
        const int64_t total = std::max<int64_t>(source->size() - from, 1);
        ChunkSearch::Options options;
        options.chunkSize = chunkSize;
        options.cancel = &m_cancel;
        // The window redraws its readout for each report, which takes time
        // from a fast search: a report when the percentage moves, and at
        // most ten a second.
        options.progress = [this, from, total, report, last = -1,
                            lastTime = std::chrono::steady_clock::time_point()](int64_t pos) mutable {
            const int percent = int(std::min<int64_t>(100, (pos - from) * 100 / total));
            const auto now = std::chrono::steady_clock::now();
            if (percent == last || now - lastTime < std::chrono::milliseconds(100))
                return;
            last = percent;
            lastTime = now;
            report([this, percent] { emit progressed(percent); });
        };
        const ChunkSearch::Result result =
            ChunkSearch::find(*source, reinterpret_cast<const uint8_t *>(needle.constData()), needle.size(),
                              from, caseMatch, options);
        report([this, result] {
            if (m_thread.joinable())
                m_thread.join();
            emit finished(int(result.status), qint64(result.index));
        });
    });
}
