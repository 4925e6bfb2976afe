#include "frame_pipeline.h"

#include "frame_table.h"
#include "job_messages.h"
#include "picture_geometry.h"

#include <QThread>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// The frames of an animation prepared, and encoded when they share no palette chosen from all of
// them, on other threads while the next ones decode: as each frame comes, the one picture's
// steps, in order, over every core.
class FramePipeline
{
public:
    FramePipeline(const PictureJob &job, bool keepAlpha)
        : m_job(job)
        , m_keepAlpha(keepAlpha)
        , m_encodeEach(!framesShareAChosenPalette(*job.format, job.encoding))
        , m_eachShown(job.preview)
    {
        const int helpers = qMax(1, QThread::idealThreadCount() - 1);
        try {
            for (int i = 0; i < helpers; ++i)
                m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            // Out of threads (a process or user limit): the helpers started do the work, or, if
            // none did, finish() does it on the calling thread.
        }
    }
    // A job that stops early leaves the frames still waiting undone.
    ~FramePipeline()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_waiting.clear();
            m_done = true;
        }
        m_wake.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }
    FramePipeline(const FramePipeline &) = delete;
    FramePipeline &operator=(const FramePipeline &) = delete;

    // The frames come whole and of one size: the first one tells whether the options fit them,
    // and what shaping all of them would take when the decoder counted them (`frames`), before
    // any is shaped; otherwise the frames are counted as they come. `fullSize`: the picture's own
    // size, when it was decoded smaller.
    void add(QImage &&frame, QSize fullSize, int frames)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_next == 0)
            m_size = fullSize.isValid() ? fullSize : frame.size();
        if (m_problem.isEmpty() && (m_next == 0 || frames == 0))
            m_problem = geometryProblem(m_size, m_job.encoding.display, frames > 0 ? frames : m_next + 1);
        if (m_problem.isEmpty())
            m_waiting.push_back({m_next++, std::move(frame), fullSize});
        m_wake.notify_one();
    }

    // Once every frame has come: waits for them all, then encodes them when they share a palette.
    // Returns why they cannot be encoded, in French, or an empty text.
    QString finish()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_done)
                return m_problem;
            m_done = true;
        }
        m_wake.notify_all();
        if (m_threads.empty())
            work();
        for (std::thread &thread : m_threads)
            thread.join();
        m_threads.clear();
        if (m_problem.isEmpty() && !m_encodeEach) {
            const EncodingOptions common = frameOptions(*m_job.format, m_prepared, m_job.encoding);
            for (int i = 0; i < m_prepared.size(); ++i) {
                m_encoded[i] = encodeFrame(*m_job.format, std::move(m_prepared[i]), common, i, m_eachShown);
                m_prepared[i] = PreparedPicture();
            }
        }
        return m_problem;
    }

    QVector<EncodedPicture> takeEncoded() { return std::move(m_encoded); }

private:
    struct Waiting
    {
        int index;
        QImage frame;
        QSize fullSize;
    };

    void work()
    {
        for (;;) {
            Waiting next;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_done || !m_waiting.empty(); });
                if (m_waiting.empty())
                    return;
                next = std::move(m_waiting.front());
                m_waiting.pop_front();
                if (!m_problem.isEmpty())
                    continue;
            }
            PreparedPicture prepared;
            QString problem;
            EncodedPicture encoded;
            try {
                prepared = preparePicture(std::move(next.frame), m_job.encoding.display, m_keepAlpha,
                                          next.fullSize);
                problem = m_job.format->sizeProblem ? m_job.format->sizeProblem(prepared, m_job.encoding)
                                                    : QString();
                if (problem.isEmpty() && m_encodeEach) {
                    encoded = encodeFrame(*m_job.format, std::move(prepared), m_job.encoding, next.index,
                                          m_eachShown);
                    prepared = PreparedPicture();
                }
            } catch (const std::bad_alloc &) {
                problem = systemErrorText(ENOMEM);
                prepared = PreparedPicture();
                encoded = EncodedPicture();
            }
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_problem.isEmpty())
                m_problem = problem;
            if (m_encoded.size() <= next.index) {
                m_encoded.resize(next.index + 1);
                m_prepared.resize(next.index + 1);
            }
            m_encoded[next.index] = std::move(encoded);
            m_prepared[next.index] = std::move(prepared);
        }
    }

    const PictureJob &m_job;
    const bool m_keepAlpha;
    const bool m_encodeEach;
    const bool m_eachShown; // each frame's preview is written
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Waiting> m_waiting;
    int m_next = 0;
    QSize m_size; // the frames' own
    bool m_done = false;
    QString m_problem;
    QVector<PreparedPicture> m_prepared;
    QVector<EncodedPicture> m_encoded;
    std::vector<std::thread> m_threads;
};

} // namespace

std::optional<PictureOutcome> decodeAndEncodeFrames(const PictureJob &job, const ConversionObserver &observer,
                                                    EncodedPicture *encoded, QVector<PictureRows> *previews)
{
    FramePipeline pipeline(job, keepsAlpha(job.format, job.encoding));
    int handed = 0;
    const DecodedAnimation animation
        = decodeAnimation(job.picturePath, job.encoding.display, job.frames, job.interrupted,
                          [&](QImage &&frame, QSize fullSize, int frames) {
                              pipeline.add(std::move(frame), fullSize, frames);
                              if (observer.progress)
                                  observer.progress(++handed, frames);
                          });
    if (const auto problem
        = decodingProblem(job, animation.status, animation.systemError, animation.frameCount))
        return problem;
    QString problem = animation.problem.isEmpty() ? pipeline.finish() : animation.problem;
    if (problem.isEmpty() && job.format->framesProblem)
        problem = job.format->framesProblem(animation.delaysMs.size(), job.encoding);
    if (!problem.isEmpty())
        return failedOutcome(problem);
    QVector<EncodedPicture> frames = pipeline.takeEncoded();
    for (const EncodedPicture &frame : frames) {
        if (job.preview)
            *previews << (frame.drawnShown.isNull() ? PictureRows(frame.shown) : frame.drawnShown);
    }
    *encoded = assembleFrames(*job.format, std::move(frames), animation.delaysMs, job.encoding);
    return std::nullopt;
}
