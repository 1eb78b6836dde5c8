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

void Form::setLeft(int index, float value) {
    at(index).left = value;
    notify(index, Property::Geometry);
}

void Form::setTop(int index, float value) {
    at(index).top = value;
    notify(index, Property::Geometry);
}

void Form::setWidth(int index, float value) {
    at(index).width = value;
    notifyFitted(index, Property::Geometry);
}

void Form::setHeight(int index, float value) {
    at(index).height = value;
    notify(index, Property::Geometry);
}

void Form::setFontSize(int index, float points) {
    at(index).font.size = points;
    notifyFitted(index, Property::Font);
}

void Form::setForeColour(int index, Colour colour) {
    at(index).foreColour = colour;
    notify(index, Property::ForeColour);
}

void Form::setBackColour(int index, Colour colour) {
    at(index).backColour = colour;
    notify(index, Property::BackColour);
}

void Form::setText(int index, std::string text) {
    at(index).text = std::move(text);
    notifyFitted(index, Property::Text);
}

void Form::setFitter(Fitter fitter) {
    fitter_ = std::move(fitter);
    for (int i = 0; i < count(); ++i)
        if (controls_[static_cast<size_t>(i)].shrinkToFit) notifyFitted(i, Property::Text);
}

void Form::notifyFitted(int index, Property what) {
    Control& c = at(index);
    if (c.shrinkToFit && fitter_) {
        const float size = c.drawnFont().size;
        std::string text = c.drawnText();
        c.fitted = fitter_(c);
        if (what != Property::Font && c.drawnFont().size != size) notify(index, Property::Font);
        if (what != Property::Text && c.drawnText() != text) notify(index, Property::Text);
    }
    notify(index, what);
}

void Form::setPicture(int index, PictureRef picture) {
    at(index).picture = std::move(picture);
    notify(index, Property::Picture);
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

void Form::setVisible(int index, bool visible) {
    at(index).visible = visible;
    notify(index, Property::Visible);
}

void Form::setEnabled(int index, bool enabled) {
    at(index).enabled = enabled;
    notify(index, Property::Enabled);
}

void Form::takeEditedText(int index, std::string text) {
    at(index).text = std::move(text);
}

}  // namespace velmora
