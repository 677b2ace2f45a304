#pragma once
// A search beside the window: runs ChunkSearch on its own thread and reports
// back on the thread that started it, through queued calls, so the window
// keeps answering while a large file is read. One search at a time: a new
// start or stop() cancels the running one and waits for its thread, and
// nothing more is reported for a search once it was stopped.
#include "bytesource.h"
#include "chunksearch.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <memory>
#include <thread>

class BackgroundFind : public QObject
{
    Q_OBJECT
public:
    explicit BackgroundFind(QObject *parent = nullptr);
    ~BackgroundFind() override;

    // `source` is shared so that a load meanwhile cannot free it under the search.
    void start(std::shared_ptr<const ByteSource> source, const QByteArray &needle, int64_t from,
               bool caseMatch, int64_t chunkSize = ChunkSearch::kDefaultChunk);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

signals:
    // How far the search has come, 0..100 percent of the bytes it has to read.
    void progressed(int percent);
    // status is a ChunkSearch::Result::Status; index is the match when found.
    void finished(int status, qint64 index);

private:
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    uint64_t m_generation = 0; // the search whose reports are still wanted
};
