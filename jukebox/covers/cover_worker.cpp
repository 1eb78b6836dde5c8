// SPDX-License-Identifier: MIT
#include "covers/cover_worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <asio/post.hpp>

namespace velmora::jukebox {

namespace {

// However many lanes there are, no more jobs than this wait: the oldest go first.
constexpr std::size_t kMostWaiting = 16;

}  // namespace

struct CoverWorker::Shared {
    struct Job {
        std::string lane;
        std::string key;
        Work work;
    };

    explicit Shared(asio::io_context& context) : io(context) {}

    asio::io_context& io;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> waiting;
    bool closed = false;
    // What takes a result to the owner's thread; set once, before the thread starts.
    std::function<void(std::string, std::optional<std::string>)> deliver;
};

CoverWorker::CoverWorker(asio::io_context& io, Done done) : shared_(std::make_shared<Shared>(io)) {
    shared_->deliver = [&io, alive = alive_.watch(), done = std::move(done)](
                           std::string key, std::optional<std::string> result) {
        asio::post(io, [alive, done, key = std::move(key), result = std::move(result)]() mutable {
            if (alive.alive()) done(key, std::move(result));
        });
    };
    std::thread(run, shared_).detach();
}

CoverWorker::~CoverWorker() {
    const std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    shared_->waiting.clear();
    shared_->wake.notify_one();
}

std::vector<std::string> CoverWorker::submit(const std::string& lane, std::string key, Work work) {
    std::vector<std::string> dropped;
    const std::lock_guard lock(shared_->mutex);
    auto& waiting = shared_->waiting;
    for (auto it = waiting.begin(); it != waiting.end();) {
        if (it->lane != lane) {
            ++it;
            continue;
        }
        dropped.push_back(std::move(it->key));
        it = waiting.erase(it);
    }
    if (waiting.size() >= kMostWaiting) {
        dropped.push_back(std::move(waiting.front().key));
        waiting.pop_front();
    }
    waiting.push_back({lane, std::move(key), std::move(work)});
    shared_->wake.notify_one();
    return dropped;
}

void CoverWorker::run(std::shared_ptr<Shared> shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->closed || !shared->waiting.empty(); });
        if (shared->closed) return;
        Shared::Job job = std::move(shared->waiting.front());
        shared->waiting.pop_front();
        lock.unlock();
        std::optional<std::string> result;
        try {
            result = job.work();
        } catch (const std::exception&) {
            // A picture too large for memory, a folder that cannot be read: no cover.
        }
        job.work = nullptr;  // what it holds goes on this thread, not the owner's
        lock.lock();
        // Under the lock: once the owner has closed, nothing is posted to an io_context that may
        // be gone by then.
        if (shared->closed) return;
        shared->deliver(std::move(job.key), std::move(result));
    }
}

}  // namespace velmora::jukebox
