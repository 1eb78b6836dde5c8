// SPDX-License-Identifier: MIT
#include "board_feed.h"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>
#include <cstdio>

#include "backend/cover_shelf.h"

namespace velmora::web {
namespace {

namespace json = boost::json;

// "#rrggbb" for a colour kept as 0x00BBGGRR.
std::string cssColour(Colour colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", redOf(colour), greenOf(colour),
                  blueOf(colour));
    return text;
}

const char* kindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return "label";
        case ControlKind::TextField:
            return "field";
        case ControlKind::Picture:
            return "picture";
        default:
            return nullptr;  // nothing the board shows
    }
}

json::object controlJson(int id, const Control& c) {
    json::object o;
    o["id"] = id;
    o["name"] = c.name;
    o["kind"] = kindName(c.kind);
    o["left"] = c.left;
    o["top"] = c.top;
    o["width"] = c.width;
    o["height"] = c.height;
    o["visible"] = c.visible;
    o["back"] = cssColour(c.backColour);
    if (c.kind == ControlKind::Picture) {
        const auto* cover = dynamic_cast<const Cover*>(c.picture.get());
        o["picture"] = cover ? "/cover/" + cover->name() : std::string();
    } else {
        o["text"] = c.text;
        o["font"] = c.font.name;
        o["size"] = c.font.size;
        o["weight"] = c.font.weight;
        o["fore"] = cssColour(c.foreColour);
        o["fit"] = c.shrinkToFit;
    }
    return o;
}

// One Server-Sent Event; JSON holds no line break, so the data is one line.
std::string event(std::string_view name, const json::object& data) {
    std::string text = "event: ";
    text.append(name).append("\ndata: ").append(json::serialize(data)).append("\n\n");
    return text;
}

}  // namespace

void BoardFeed::attach(const Form* form) {
    form_ = form;
    dirty_.clear();
    if (form_) send(snapshot());
}

void BoardFeed::changed(int control, Property) {
    if (!form_) return;
    if (control < 0)
        backChanged_ = true;
    else if (kindName((*form_)[control].kind))
        dirty_.insert(control);
    else
        return;
    if (flushPosted_) return;
    flushPosted_ = true;
    post_([this, alive = alive_] {
        if (*alive) flush();
    });
}

void BoardFeed::flush() {
    flushPosted_ = false;
    if (!form_ || (dirty_.empty() && !backChanged_)) return;
    json::object data;
    if (backChanged_) data["back"] = cssColour(form_->backColour());
    json::array controls;
    for (int id : dirty_) controls.push_back(controlJson(id, (*form_)[id]));
    data["controls"] = std::move(controls);
    dirty_.clear();
    backChanged_ = false;
    send(event("change", data));
}

void BoardFeed::setLink(bool up) {
    if (up == linkUp_) return;
    linkUp_ = up;
    json::object data;
    data["link"] = up;
    send(event("link", data));
}

std::string BoardFeed::snapshot() const {
    json::object data;
    data["link"] = linkUp_;
    json::array controls;
    if (form_) {
        data["back"] = cssColour(form_->backColour());
        for (int id = 0; id < form_->count(); ++id)
            if (kindName((*form_)[id].kind)) controls.push_back(controlJson(id, (*form_)[id]));
    }
    data["controls"] = std::move(controls);
    return event("board", data);
}

void BoardFeed::send(std::string event) {
    if (sink_) sink_->broadcast(std::make_shared<const std::string>(std::move(event)));
}

}  // namespace velmora::web
