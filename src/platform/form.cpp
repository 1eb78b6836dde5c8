// SPDX-License-Identifier: MIT
#include "platform/form.h"

#include <utility>

namespace velmora {

int Form::add(Control control) {
    controls_.push_back(std::move(control));
    return count() - 1;
}

int Form::find(const std::string& wanted) const {
    for (int i = 0; i < count(); ++i)
        if (controls_[static_cast<size_t>(i)].name == wanted) return i;
    return -1;
}

void Form::setBackColour(Colour colour) {
    backColour_ = colour;
    notify(-1, Property::BackColour);
}

void Form::setFontSize(int index, float points) {
    at(index).font.size = points;
    notify(index, Property::Font);
}

void Form::addItem(int index, std::string item) {
    at(index).items.push_back(std::move(item));
    notify(index, Property::Items);
}

void Form::removeItem(int index, int item) {
    auto& items = at(index).items;
    if (item < 0 || item >= static_cast<int>(items.size()))
        throw Failure(ErrorCode::InvalidProcedureCall,
                      "Invalid list index " + std::to_string(item));
    items.erase(items.begin() + item);
    notify(index, Property::Items);
}

void Form::takeEditedText(int index, std::string text) {
    at(index).text = std::move(text);
}

}  // namespace velmora
