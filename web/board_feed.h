// SPDX-License-Identifier: MIT
// What the board shows, as events for the pages' streams (Server-Sent Events). A page that opens
// gets the whole board; then every change the core makes reaches all pages at once, gathered per
// turn of the loop so that a burst of changes (a new track) is one event. Texts are carried as
// JSON strings: the page sets them as text, never as markup. The hidden log of messages never
// leaves the program.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/form.h"

namespace velmora::web {

// Where the events go: every open page.
class PageSink {
  public:
    virtual ~PageSink() = default;
    virtual void broadcast(std::shared_ptr<const std::string> event) = 0;
};

class BoardFeed final : public FormObserver {
  public:
    using Post = std::function<void(std::function<void()>)>;

    // post runs a task after the current event, on the loop.
    explicit BoardFeed(Post post) : post_(std::move(post)) {}

    void setSink(PageSink* sink) { sink_ = sink; }
    // The board's form, or null when the board is gone.
    void attach(const Form* form);
    void changed(int control, Property what) override;
    // The jukebox came or went.
    void setLink(bool up);

    // The "board" event: everything a page needs to draw the board now.
    std::string snapshot() const;

  private:
    void flush();
    void send(std::string event);

    Post post_;
    PageSink* sink_ = nullptr;
    const Form* form_ = nullptr;
    std::set<int> dirty_;
    bool backChanged_ = false;
    bool flushPosted_ = false;
    bool linkUp_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  public:
    ~BoardFeed() override { *alive_ = false; }
};

}  // namespace velmora::web
