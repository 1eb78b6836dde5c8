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
    notifyFitted(index, Property::Font);
}

void Form::setFitter(Fitter fitter) {
    fitter_ = std::move(fitter);
    for (int i = 0; i < count(); ++i)
        if (controls_[static_cast<size_t>(i)].shrinkToFit) notifyFitted(i, Property::Text);
}

void Form::notifyFitted(int index, Property what) {
    Control& c = at(index);
    const bool shapes =
        what == Property::Text || what == Property::Geometry || what == Property::Font;
    if (shapes && c.shrinkToFit && fitter_) {
        const float size = c.drawnFont().size;
        const std::string text = c.drawnText();
        c.fitted = fitter_(c);
        if (what != Property::Font && c.drawnFont().size != size) notify(index, Property::Font);
        if (what != Property::Text && c.drawnText() != text) notify(index, Property::Text);
    }
    notify(index, what);
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
